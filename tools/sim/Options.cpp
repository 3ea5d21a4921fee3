#include "Options.h"

#include <limits>

#include <cerrno>
#include <cstdlib>

const char* const Usage = "Usage: cvd-sim --link PATH [options]\n"
                          "A simulated card dispenser on a pseudo-terminal. It answers the dispenser's\n"
                          "requests (status 01 37, reset 01 40, card-out 01 42) and prints a wire trace.\n"
                          "\n"
                          "  --link PATH          make a symbolic link to the pseudo-terminal at PATH (required)\n"
                          "  --cards N            cards in stock (default 10)\n"
                          "  --state S            start state: ready, busy, empty or error (default ready)\n"
                          "  --reply-delay MS     time from a request to its reply (default 5)\n"
                          "  --reset-busy MS      how long a reset keeps it Busy (default 2000)\n"
                          "  --cardout-busy MS    how long a card-out keeps it Busy (default 500)\n"
                          "  --fault F            spoil every reply, for tests (MS: 0 to 3600000):\n"
                          "                         silent       never answer\n"
                          "                         late:MS      answer MS later than usual\n"
                          "                         one-byte     send only the first byte\n"
                          "                         extra-bytes  send two more bytes after the reply\n"
                          "                         garbage      send three garbage bytes instead\n"
                          "                         split:MS     send the second byte MS after the first\n"
                          "  --trace FILE         write the wire trace to FILE instead of standard output\n"
                          "  --help               show this text\n"
                          "\n"
                          "The trace has a line per frame: milliseconds since the start, '>' for a request\n"
                          "from the program or '<' for a reply to it, the bytes in hex, and their meaning.\n"
                          "It runs until SIGINT or SIGTERM, then removes its link.\n";

bool parseOptions(int argc, char** argv, Options& options, std::string& error, bool& help)
{
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            help = true;
            return true;
        }
        if (i + 1 >= argc) {
            error = "missing value after " + name;
            return false;
        }
        const char* value = argv[++i];
        long number = 0;
        if (name == "--link") {
            options.link = value;
        } else if (name == "--trace") {
            options.traceFile = value;
        } else if (name == "--state") {
            if (!Dispenser::parseState(value, options.dispenser.start)) {
                error = std::string("unknown state ") + value;
                return false;
            }
        } else if (name == "--fault") {
            if (!Fault::parse(value, options.fault)) {
                error = std::string("unknown fault ") + value;
                return false;
            }
        } else if (name == "--cards" || name == "--reply-delay" || name == "--reset-busy" || name == "--cardout-busy") {
            const bool cards = name == "--cards";
            const long most = cards ? std::numeric_limits<int>::max() : TimeOption::MaxMs;
            char* end = nullptr;
            errno = 0;
            number = std::strtol(value, &end, 10);
            if (*value == '\0' || *end != '\0' || errno != 0 || number < 0 || number > most) {
                error = name + " takes a whole number from 0 to " + std::to_string(most) +
                        (cards ? "" : " (milliseconds)") + ", not " + value;
                return false;
            }
            const std::chrono::milliseconds ms(number);
            if (name == "--cards")
                options.dispenser.cards = static_cast<int>(number);
            else if (name == "--reply-delay")
                options.replyDelay = ms;
            else if (name == "--reset-busy")
                options.dispenser.resetBusy = ms;
            else
                options.dispenser.cardOutBusy = ms;
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (options.link.empty()) {
        error = "--link PATH is required";
        return false;
    }
    return true;
}
