#pragma once

#include <QStringList>

// The serial device of each port number, fixed when the program is built:
// port N is entry N.
QStringList portDevices();
