#include "ReplyText.h"

#include "Protocol.h"

QString replyText(CodeReponse re)
{
    switch (re) {
    case Protocol::Empty: return QStringLiteral("Empty");
    case Protocol::Ready: return QStringLiteral("Ready");
    case Protocol::Busy: return QStringLiteral("Busy");
    case Protocol::Error: return QStringLiteral("Error");
    case Protocol::Nack: return QStringLiteral("NACK");
    case Protocol::Ack: return QStringLiteral("ACK");
    default: return QString::number(re);
    }
}
