// Loaded with LD_PRELOAD into a test run of a program: records every
// terminal setting the program hands to the kernel (tcsetattr, and ioctl
// TCSETS*), and the first write to a terminal it has set, one line each in
// the file named by TERMIOS_SPY_LOG. A pseudo-terminal drops the parity flag
// at once, so what the program asked for is seen here, not on the terminal.
// With TERMIOS_SPY_REFUSE_WATCH set, an epoll set refuses every terminal the
// program has set, as the kernel does when it runs out of memory.
#include <dlfcn.h>
#include <termios.h>
#include <unistd.h>

#include <sys/epoll.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

std::set<int>& setTerminals()
{
    static std::set<int> fds;
    return fds;
}

void note(const char* text)
{
    const char* path = std::getenv("TERMIOS_SPY_LOG");
    if (!path)
        return;
    if (std::FILE* log = std::fopen(path, "a")) {
        std::fputs(text, log);
        std::fclose(log);
    }
}

// The first four fields are laid out alike in the C library's termios and
// in the kernel's termios and termios2.
void noteSettings(int fd, tcflag_t iflag, tcflag_t oflag, tcflag_t cflag, tcflag_t lflag)
{
    setTerminals().insert(fd);
    const bool raw = !(lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(oflag & OPOST) &&
                     !(iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP | BRKINT));
    char line[160];
    std::snprintf(line, sizeof line, "set baud9600=%d cs8=%d parenb=%d parodd=%d cstopb=%d crtscts=%d raw=%d\n",
                  (cflag & CBAUD) == B9600, (cflag & CSIZE) == CS8, !!(cflag & PARENB), !!(cflag & PARODD),
                  !!(cflag & CSTOPB), !!(cflag & CRTSCTS), raw);
    note(line);
}

template <typename Fn>
Fn next(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int tcsetattr(int fd, int when, const termios* t)
{
    noteSettings(fd, t->c_iflag, t->c_oflag, t->c_cflag, t->c_lflag);
    static auto real = next<int (*)(int, int, const termios*)>("tcsetattr");
    return real(fd, when, t);
}

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (request == TCSETS || request == TCSETSW || request == TCSETSF) {
        const auto* t = static_cast<const tcflag_t*>(argument);
        noteSettings(fd, t[0], t[1], t[2], t[3]);
    }
    static auto real = next<int (*)(int, unsigned long, void*)>("ioctl");
    return real(fd, request, argument);
}

extern "C" ssize_t write(int fd, const void* bytes, size_t count)
{
    if (setTerminals().erase(fd) != 0)
        note("write\n");
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return real(fd, bytes, count);
}

extern "C" int epoll_ctl(int set, int op, int fd, epoll_event* event)
{
    if (op == EPOLL_CTL_ADD && std::getenv("TERMIOS_SPY_REFUSE_WATCH") && setTerminals().count(fd) != 0) {
        errno = ENOMEM;
        return -1;
    }
    static auto real = next<int (*)(int, int, int, epoll_event*)>("epoll_ctl");
    return real(set, op, fd, event);
}
