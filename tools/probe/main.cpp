// cvd-probe: asks a card dispenser from a terminal, with the operator
// program's own link (requests, reply wait, dispense sequence) and its own
// automaton-library checks. Qt Core and SerialPort only: no display needed.

#include "Clock.h"
#include "GrafcetLibrary.h"
#include "LiaisonCVD.h"
#include "MainWindow.h"
#include "PortDevices.h"
#include "ProbeComm.h"
#include "QtWindowEvents.h"
#include "Report.h"
#include "SerialError.h"
#include "SerialPortControl.h"
#include "StopSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <optional>

namespace {

enum Status { Decoded = 0, Failed = 1, Usage = 2, NoReply = 3 };

const char* const Description = R"(Asks a card dispenser on a serial line, as the operator program does.

Commands:
  status, reset, card-out   one request, exactly as the window's CVD buttons:
                            open the port, flush it, send the request, wait up
                            to 1 s, print the decoded reply, close the port.
  dispense                  one dispense attempt, the same sequence as one
                            attempt of a dispense button, each step printed as
                            it happens. It consults no automaton library
                            (VerifCardOut is not called).
  library                   the automaton library the operator program
                            installed beside this command would load, and
                            whether it passes the program's checks. Calls
                            neither entry point.

Exit status: 0 a reply code was decoded (or the dispense sequence ran),
3 no reply or an undecodable one, 1 an error of the line or the library,
2 a usage error, 130 or 143 stopped by Ctrl-C or SIGTERM (port closed).)";

class ProbeWindow final : public MainWindow {
public:
    explicit ProbeWindow(MSComm& control)
        : control(control)
    {}
    MSComm* MSComm1() override { return &control; }
    // The reset reply is already told as it was read.
    void AffRep(CodeReponse) override {}

private:
    MSComm& control;
};

// The pauses of the sequence end at once on Ctrl-C or SIGTERM.
class StoppableEvents final : public WindowEvents {
public:
    void processPending() override
    {
        events.processPending();
        StopSignals::throwIfStopped();
    }
    void waitForEvents(Duration limit) override { events.waitForEvents(limit); }

private:
    QtWindowEvents events;
};

int usageError(const QString& text)
{
    std::fprintf(stderr, "cvd-probe: %s\nTry 'cvd-probe --help'.\n", qUtf8Printable(text));
    return Usage;
}

int library()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString path = GrafcetLibrary::locate(programDir);
    std::printf("library: %s\n", qUtf8Printable(path));
    try {
        openAutomate(path, programDir);
    } catch (const AutomateError& error) {
        std::printf("refused: %s\n", error.what());
        return Failed;
    }
    std::printf("passes the program's checks, and has both entry points (init_grafcet, VerifCardOut)\n");
    return Decoded;
}

int ask(const QString& command, const QStringList& devices, std::int16_t port, Report::Style style)
try {
    StopSignals stop;
    SerialPortControl control(devices);
    Report report(style, command == QLatin1String("dispense"));
    ProbeComm probe(control, report);
    ProbeWindow window(probe);
    SteadyClock clock;
    StoppableEvents events;
    LiaisonCVD liaison(window, clock, events);
    liaison.NumPort = port;
    try {
        if (command == QLatin1String("dispense")) {
            liaison.DistribueCarte();
            report.dispensed(probe.cardOutSent, probe.lastCode, probe.lastReply);
            return Decoded;
        }
        const CodeReponse code = command == QLatin1String("status")  ? liaison.CVDStatut()
                                 : command == QLatin1String("reset") ? liaison.CVDReset()
                                                                     : liaison.CVDCardOut();
        liaison.FermePort();
        report.reply(code, probe.lastReply);
        StopSignals::throwIfStopped();
        return code != 0 ? Decoded : NoReply;
    } catch (const Interrupted& stopped) {
        if (control.portOpen())
            control.setPortOpen(false);
        std::fprintf(stderr, "cvd-probe: stopped; no further request sent, port closed\n");
        return 128 + stopped.signal;
    } catch (const SerialError& error) {
        std::fprintf(stderr, "cvd-probe: error: %s\n", error.what());
        return Failed;
    }
} catch (const std::exception& error) {
    // What the probe could not set up: its signal pipe, its timers, its watch on the line.
    std::fprintf(stderr, "cvd-probe: error: %s\n", error.what());
    return Failed;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cvd-probe"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CVD_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const auto help = parser.addHelpOption();
    const auto version = parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("The operator program's port N: device N of %1.").arg(portDevices().join(QStringLiteral(", "))),
        QStringLiteral("N"));
    const QCommandLineOption deviceOption(QStringLiteral("device"), QStringLiteral("Any serial device."),
                                          QStringLiteral("PATH"));
    const QCommandLineOption traceOption(
        QStringLiteral("trace"), QStringLiteral("Print every frame: ms since start, direction, hex bytes, meaning."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON object per line."));
    parser.addOptions({portOption, deviceOption, traceOption, jsonOption});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("status, reset, card-out, dispense or library"));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::printf("%s", qUtf8Printable(parser.helpText()));
        return Decoded;
    }
    if (parser.isSet(version)) {
        std::printf("cvd-probe %s\n", CVD_VERSION);
        return Decoded;
    }
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return usageError(QStringLiteral("give one command: status, reset, card-out, dispense or library."));
    const QString& command = args[0];
    if (command == QLatin1String("library"))
        return library();
    if (!QStringList{"status", "reset", "card-out", "dispense"}.contains(command))
        return usageError(QStringLiteral("unknown command '%1'.").arg(command));
    if (parser.isSet(portOption) == parser.isSet(deviceOption))
        return usageError(QStringLiteral("name the dispenser with either --port N or --device PATH."));
    if (parser.isSet(traceOption) && parser.isSet(jsonOption))
        return usageError(QStringLiteral("--trace and --json do not go together."));
    const Report::Style style = parser.isSet(jsonOption)    ? Report::Style::Json
                                : parser.isSet(traceOption) ? Report::Style::Trace
                                                            : Report::Style::Plain;
    if (parser.isSet(deviceOption))
        return ask(command, {parser.value(deviceOption)}, 1, style);
    bool ok = false;
    const int port = parser.value(portOption).toInt(&ok);
    if (!ok || port < 1 || port > portDevices().size())
        return usageError(QStringLiteral("--port takes a port number, 1 to %1.").arg(portDevices().size()));
    return ask(command, portDevices(), static_cast<std::int16_t>(port), style);
}
