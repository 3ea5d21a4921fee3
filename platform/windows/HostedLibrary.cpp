#include "HostedLibrary.h"

#include "HostProtocol.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <string>

namespace {

[[noreturn]] void refuse(const QString& path, const QString& why)
{
    throw AutomateError(QStringLiteral("Cannot load the automaton library %1: %2").arg(path, why).toStdString());
}

QString systemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    QString message = length ? QString::fromWCharArray(text, static_cast<int>(length)).trimmed() : QString();
    LocalFree(text);
    if (message.endsWith(QLatin1Char('.')))
        message.chop(1);
    return message.isEmpty() ? QStringLiteral("system error %1").arg(code)
                             : QStringLiteral("%1, system error %2").arg(message).arg(code);
}

QString exitCodeText(DWORD code)
{
    // Codes from the system (a crash, a kill) read as status values.
    return code >= 0xC0000000u ? QStringLiteral("0x") + QString::number(code, 16).toUpper() : QString::number(code);
}

// One instance, local only, its name unique to this process.
std::wstring pipeName()
{
    static std::atomic<int> made{0};
    return QStringLiteral("\\\\.\\pipe\\cvd-operator-grafcet-host-%1-%2")
        .arg(GetCurrentProcessId())
        .arg(++made)
        .toStdWString();
}

DWORD remainingMs(const QDeadlineTimer& deadline)
{
    return static_cast<DWORD>(deadline.remainingTime());
}

} // namespace

HostedLibrary::HostedLibrary(const QString& hostPath, const QString& libraryPath, TimeLimits limits)
    : libraryPath(libraryPath),
      limits(limits)
{
    try {
        start(hostPath);
    } catch (...) {
        release();
        throw;
    }
}

HostedLibrary::~HostedLibrary()
{
    release();
}

void HostedLibrary::release()
{
    // The host sees its input end and leaves; the job ends it if it does not.
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
    if (process && !broken)
        WaitForSingleObject(process, 1000);
    for (HANDLE* owned : {&process, &job, &transferred}) {
        if (*owned)
            CloseHandle(*owned);
        *owned = nullptr;
    }
}

void HostedLibrary::start(const QString& hostPath)
{
    const QString host = QDir::toNativeSeparators(hostPath);
    const auto cannotStart = [&](DWORD error) {
        refuse(libraryPath, QStringLiteral("it is a 32-bit library, which runs in %1, and that cannot start (%2). "
                                           "Reinstall cvd-operator.")
                                .arg(host, systemMessage(error)));
    };

    // The job ends the host with its last handle, which is this program's:
    // however this program ends, the host does not outlive it.
    job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION ending{};
    ending.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &ending, sizeof ending))
        cannotStart(GetLastError());

    const std::wstring name = pipeName();
    pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 4096,
                            0, nullptr);
    transferred = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (pipe == INVALID_HANDLE_VALUE || !transferred)
        cannotStart(GetLastError());
    // The host's end, the only handle it inherits: its standard input and output.
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE hostEnd =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0, nullptr);
    if (hostEnd == INVALID_HANDLE_VALUE)
        cannotStart(GetLastError());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hostEnd;
    startup.hStdOutput = hostEnd;
    PROCESS_INFORMATION started{};
    const std::wstring program = host.toStdWString();
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = QDir::toNativeSeparators(QFileInfo(hostPath).absolutePath()).toStdWString();
    // Suspended until it is in the job, so that no moment of it runs outside.
    const BOOL created =
        CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                       nullptr, folder.c_str(), &startup, &started);
    const DWORD createError = GetLastError();
    CloseHandle(hostEnd);
    if (!created)
        cannotStart(createError);
    process = started.hProcess;
    if (!AssignProcessToJobObject(job, process)) {
        const DWORD error = GetLastError();
        TerminateProcess(process, 1);
        CloseHandle(started.hThread);
        cannotStart(error);
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);

    const QString path = QDir::toNativeSeparators(QFileInfo(libraryPath).absoluteFilePath());
    const HostPath length{static_cast<uint32_t>(path.size())};
    QByteArray named(reinterpret_cast<const char*>(&length), sizeof length);
    named.append(reinterpret_cast<const char*>(path.utf16()), path.size() * 2);
    HostAnswer loaded{};
    const QDeadlineTimer deadline(limits.loadMs);
    if (!transfer(true, named.data(), static_cast<DWORD>(named.size()), deadline, limits.loadMs) ||
        !transfer(false, &loaded, sizeof loaded, deadline, limits.loadMs))
        refuse(libraryPath, QStringLiteral("it is a 32-bit library, and %1, which runs it, %2.").arg(host, failure));

    if (loaded.status == HOST_LOADED)
        return;
    const auto noEntry = [](const char* entry, int argumentBytes) {
        return QStringLiteral("it has no entry point %1 (nor _%1@%2 or %1@%2).")
            .arg(QLatin1String(entry))
            .arg(argumentBytes);
    };
    switch (loaded.status) {
    case HOST_NOT_LOADABLE:
        refuse(libraryPath, QStringLiteral("it is a 32-bit library that does not load (%1).")
                                .arg(systemMessage(static_cast<DWORD>(loaded.value))));
    case HOST_NO_INIT_GRAFCET: refuse(libraryPath, noEntry("init_grafcet", 0));
    case HOST_NO_VERIF_CARD_OUT: refuse(libraryPath, noEntry("VerifCardOut", 4));
    default:
        refuse(libraryPath,
               QStringLiteral("%1, which runs it, said what it never says (%2).").arg(host).arg(loaded.status));
    }
}

void HostedLibrary::init_grafcet()
{
    call(HOST_CALL_INIT_GRAFCET, 0, "init_grafcet", limits.initMs);
}

std::int32_t HostedLibrary::VerifCardOut(std::int32_t value)
{
    return call(HOST_CALL_VERIF_CARD_OUT, value, "VerifCardOut", limits.callMs);
}

std::int32_t HostedLibrary::call(std::int32_t call, std::int32_t argument, const char* name, int limitMs)
{
    if (broken)
        failDuring(name);
    HostRequest request{call, argument};
    HostAnswer answer{};
    const QDeadlineTimer deadline(limitMs);
    if (!transfer(true, &request, sizeof request, deadline, limitMs) ||
        !transfer(false, &answer, sizeof answer, deadline, limitMs))
        failDuring(name);
    if (answer.status != HOST_DONE) {
        failure = QStringLiteral("answered out of turn");
        failDuring(name);
    }
    return answer.value;
}

bool HostedLibrary::transfer(bool sending, void* bytes, DWORD size, const QDeadlineTimer& deadline, int limitMs)
{
    auto* at = static_cast<char*>(bytes);
    while (size > 0) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = transferred;
        ResetEvent(transferred);
        BOOL done =
            sending ? WriteFile(pipe, at, size, nullptr, &overlapped) : ReadFile(pipe, at, size, nullptr, &overlapped);
        DWORD woke = WAIT_OBJECT_0;
        if (!done && GetLastError() == ERROR_IO_PENDING) {
            const HANDLE either[] = {transferred, process};
            woke = WaitForMultipleObjects(2, either, FALSE, remainingMs(deadline));
            if (woke != WAIT_OBJECT_0)
                CancelIoEx(pipe, &overlapped);
            done = TRUE;
        }
        DWORD moved = 0;
        if (done)
            done = GetOverlappedResult(pipe, &overlapped, &moved, TRUE);
        if (!done && woke == WAIT_TIMEOUT) {
            // It stopped answering: it is ours to end.
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            failure = QStringLiteral("gave no answer within %1 s, and was stopped").arg(limitMs / 1000.0);
            return false;
        }
        if (!done) {
            // A host that ends breaks the pipe; its exit code says how it ended.
            const DWORD error = GetLastError();
            DWORD code = STILL_ACTIVE;
            if (WaitForSingleObject(process, 2000) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code))
                failure = QStringLiteral("ended (exit code %1)").arg(exitCodeText(code));
            else
                failure = QStringLiteral("broke the pipe to it (%1)").arg(systemMessage(error));
            return false;
        }
        at += moved;
        size -= moved;
    }
    return true;
}

void HostedLibrary::failDuring(const char* name)
{
    broken = true;
    throw AutomateError(QStringLiteral("The automaton library %1 failed: grafcet-host32.exe, which runs it, %2 during "
                                       "%3. No card is dispensed after this. Restart the program; if it happens "
                                       "again, have the library checked.")
                            .arg(libraryPath, failure, QLatin1String(name))
                            .toStdString());
}
