#pragma once

#include "Types.h"

#include <QString>

// The text that the result field shows for a reply code: its name, or the
// value in decimal.
QString replyText(CodeReponse re);
