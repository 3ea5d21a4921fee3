#pragma once

#include <optional>
#include <string>

// The line settings as the serial control takes them: "baud,parity,data
// bits,stop bits", for example "9600,E,8,1".
struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baud = 9600;
    Parity parity = Parity::Even;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    // Nothing when the text is not four valid fields; parity letters in either case.
    static std::optional<LineSettings> parse(const std::string& text);
};
