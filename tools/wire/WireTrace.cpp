#include "WireTrace.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace wire {

namespace {

constexpr std::size_t HexColumn = 14;

char arrowOf(Direction direction)
{
    switch (direction) {
    case Direction::ToDispenser: return '>';
    case Direction::FromDispenser: return '<';
    case Direction::Event: break;
    }
    return ' ';
}

bool isHexPair(const std::string& text, std::size_t at)
{
    return at + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[at])) &&
           std::isxdigit(static_cast<unsigned char>(text[at + 1]));
}

} // namespace

std::string hex(const std::string& bytes)
{
    std::string out;
    char cell[4];
    for (unsigned char b : bytes) {
        std::snprintf(cell, sizeof cell, out.empty() ? "%02x" : " %02x", b);
        out += cell;
    }
    return out;
}

std::string line(const Record& record)
{
    const double ms = std::chrono::duration<double, std::milli>(record.at).count();
    const std::string shown = hex(record.bytes);
    char head[32];
    std::snprintf(head, sizeof head, "%10.1f %c ", ms, arrowOf(record.direction));
    std::string out = head + shown;
    if (shown.size() < HexColumn)
        out.append(HexColumn - shown.size(), ' ');
    return out + " " + record.meaning + "\n";
}

std::optional<Record> parse(const std::string& text)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    const double ms = std::strtod(begin, &end);
    std::size_t at = static_cast<std::size_t>(end - begin);
    if (end == begin || at + 3 > text.size() || text[at] != ' ' || text[at + 2] != ' ')
        return std::nullopt;
    Record record;
    record.at = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double, std::milli>(ms));
    switch (text[at + 1]) {
    case '>': record.direction = Direction::ToDispenser; break;
    case '<': record.direction = Direction::FromDispenser; break;
    case ' ': record.direction = Direction::Event; break;
    default: return std::nullopt;
    }
    const std::size_t field = at + 3;
    at = field;
    while (isHexPair(text, at)) {
        record.bytes += static_cast<char>(std::strtol(text.substr(at, 2).c_str(), nullptr, 16));
        at += 2;
        if (at < text.size() && text[at] == ' ' && isHexPair(text, at + 1))
            ++at;
        else
            break;
    }
    at = std::max(at, field + HexColumn) + 1;
    std::string meaning = at < text.size() ? text.substr(at) : std::string();
    while (!meaning.empty() && (meaning.back() == '\n' || meaning.back() == '\r'))
        meaning.pop_back();
    record.meaning = meaning;
    return record;
}

} // namespace wire
