#include "Operator.h"
#include "PortDevices.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return runCvdOperator(app, portDevices());
}
