#include "ReplyText.h"

#include "Protocol.h"

QString replyText(CodeReponse re)
{
    const char* name = Protocol::replyName(re);
    return name ? QString::fromLatin1(name) : QString::number(re);
}
