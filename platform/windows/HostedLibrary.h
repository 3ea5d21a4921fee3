#pragma once

#include "Automate.h"

#include <QDeadlineTimer>
#include <QString>

#include <windows.h>

// A 32-bit automaton library, which the 64-bit program cannot load, run by
// grafcet-host32.exe: the host loads it and answers each call over a pipe.
// The host lives in a job that ends with this object or with the program,
// however the program ends. A host that dies or stops answering fails the call
// with an AutomateError, and every call after it.
class HostedLibrary final : public Automate {
public:
    struct TimeLimits {
        int loadMs;
        int initMs;
        int callMs;
    };
    // The host's start and the library's own initialisation may wait on the
    // system (a new program scanned before it runs, a slow disk); a card-out
    // check is the automaton's own arithmetic, answered in a few milliseconds
    // through the pipe, and the window stands still while it runs.
    static constexpr TimeLimits DefaultLimits{20000, 20000, 5000};

    HostedLibrary(const QString& hostPath, const QString& libraryPath, TimeLimits limits = DefaultLimits);
    ~HostedLibrary() override;
    HostedLibrary(const HostedLibrary&) = delete;
    HostedLibrary& operator=(const HostedLibrary&) = delete;

    void init_grafcet() override;
    std::int32_t VerifCardOut(std::int32_t value) override;

private:
    void start(const QString& hostPath);
    std::int32_t call(std::int32_t call, std::int32_t argument, const char* name, int limitMs);
    // Sends or receives on the pipe before the deadline, the end of a limit of
    // `limitMs`; false if the host ended or the time ran out, with the reason
    // in `failure`.
    bool transfer(bool sending, void* bytes, DWORD size, const QDeadlineTimer& deadline, int limitMs);
    void release();
    [[noreturn]] void failDuring(const char* name);

    const QString libraryPath;
    const TimeLimits limits;
    HANDLE job = nullptr;
    HANDLE process = nullptr;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE transferred = nullptr;
    QString failure;
    bool broken = false;
};
