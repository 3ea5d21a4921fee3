#include "Report.h"

#include "Protocol.h"
#include "WireTrace.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// Times in JSON to a tenth of a millisecond, as in the trace.
double tenths(double ms)
{
    return std::round(ms * 10) / 10;
}

void printJson(const QJsonObject& object)
{
    std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

QJsonValue codeName(CodeReponse code)
{
    const char* name = Protocol::replyName(code);
    return name ? QJsonValue(QString::fromLatin1(name)) : QJsonValue();
}

} // namespace

std::string replyMeaning(CodeReponse code, const std::string& bytes)
{
    if (const char* name = Protocol::replyName(code))
        return name;
    if (bytes.empty())
        return "no reply within 1 s";
    return "no reply code in " + wire::hex(bytes);
}

Report::Report(Style style, bool steps)
    : style(style),
      steps(steps)
{}

double Report::elapsedMs() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void Report::traceLine(wire::Direction direction, const std::string& bytes, const std::string& meaning)
{
    std::fputs(wire::line({std::chrono::steady_clock::now() - start, direction, bytes, meaning}).c_str(), stdout);
    std::fflush(stdout);
}

void Report::step(const std::string& text)
{
    if (style == Style::Trace)
        traceLine(wire::Direction::Event, "", text);
    else if (style == Style::Plain && steps) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
}

void Report::sent(char command, const std::string& bytes)
{
    sentMs = elapsedMs();
    sentBytes = bytes;
    if (style == Style::Trace)
        traceLine(wire::Direction::ToDispenser, bytes, Protocol::requestName(command));
    else
        step(std::string("request ") + Protocol::requestName(command));
}

void Report::received(char command, const std::string& bytes, CodeReponse code)
{
    const double ms = elapsedMs();
    if (style == Style::Json) {
        printJson({{"request", Protocol::requestName(command)},
                   {"sent", QString::fromStdString(sentBytes.empty() ? "" : wire::hex(sentBytes))},
                   {"sent_ms", tenths(sentMs)},
                   {"reply", QString::fromStdString(wire::hex(bytes))},
                   {"reply_ms", tenths(ms)},
                   {"code", code},
                   {"name", codeName(code)}});
    } else if (style == Style::Trace) {
        traceLine(wire::Direction::FromDispenser, bytes, replyMeaning(code, bytes));
    } else {
        char waited[32];
        std::snprintf(waited, sizeof waited, " after %.0f ms", ms - sentMs);
        step("reply   " + replyMeaning(code, bytes) + (bytes.empty() ? "" : " (" + wire::hex(bytes) + ")") + waited);
    }
}

void Report::flushed(const std::string& bytes)
{
    if (style == Style::Trace)
        traceLine(wire::Direction::FromDispenser, bytes, "stale, flushed at the opening");
    else if (style == Style::Json)
        printJson({{"flushed", QString::fromStdString(wire::hex(bytes))}, {"at_ms", tenths(elapsedMs())}});
    else
        step("flushed " + wire::hex(bytes) + " (stale bytes at the opening)");
}

void Report::paused(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "pause %.2f s", seconds);
    if (style == Style::Json)
        printJson({{"pause_s", seconds}, {"at_ms", tenths(elapsedMs())}});
    else
        step(text);
}

void Report::closed()
{
    step("port closed");
}

void Report::reply(CodeReponse code, const std::string& bytes)
{
    if (style == Style::Plain)
        std::printf("%s\n", replyMeaning(code, bytes).c_str());
}

void Report::dispensed(bool cardOutSent, CodeReponse cardOutCode, const std::string& cardOutReply)
{
    if (style == Style::Json) {
        printJson({{"card_out_sent", cardOutSent},
                   {"card_out_code", cardOutSent ? QJsonValue(cardOutCode) : QJsonValue()},
                   {"card_out_name", codeName(cardOutCode)}});
        return;
    }
    const std::string text = cardOutSent
                                 ? "card-out sent; the dispenser answered " + replyMeaning(cardOutCode, cardOutReply)
                                 : std::string("no card-out sent");
    step(text);
}
