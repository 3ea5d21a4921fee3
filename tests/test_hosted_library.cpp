// The site's 32-bit libraries, run by grafcet-host32.exe under the 64-bit
// program: the three ways a 32-bit build names its entry points, the 64-bit
// library still in process, and each way the host can fail.
#include "GrafcetLibrary.h"
#include "HostedLibrary.h"
#include "LibraryPlace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

QString besideTests(const char* name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

// The host inherits the script from the environment of its start.
std::unique_ptr<Automate> openScripted(const char* library, const char* script)
{
    qputenv("GRAFCET_SCRIPT", script);
    std::unique_ptr<Automate> automate = openInHost(besideTests(library), QCoreApplication::applicationDirPath());
    qunsetenv("GRAFCET_SCRIPT");
    return automate;
}

// Short limits, so that a host that stops answering fails within a second.
constexpr HostedLibrary::TimeLimits Quick{20000, 20000, 1000};

} // namespace

TEST(HostedLibrary, AnswersEachNameFormAsInProcess)
{
    for (const char* library : {"grafcet32-msvc.dll", "grafcet32-mingw.dll", "grafcet32-plain.dll"}) {
        SCOPED_TRACE(library);
        const std::unique_ptr<Automate> automate = openScripted(library, "2147483647,-2147483648,0,-2");
        ASSERT_NE(dynamic_cast<HostedLibrary*>(automate.get()), nullptr) << "a 32-bit library runs in the host";
        automate->init_grafcet();
        for (std::int32_t expected : {INT32_MAX, INT32_MIN, 0, -2, -2})
            EXPECT_EQ(automate->VerifCardOut(5), expected);

        // What one card-out check costs through the host.
        std::vector<qint64> costs;
        for (int i = 0; i < 500; ++i) {
            QElapsedTimer call;
            call.start();
            automate->VerifCardOut(5);
            costs.push_back(call.nsecsElapsed() / 1000);
        }
        std::sort(costs.begin(), costs.end());
        std::printf("%s: one VerifCardOut through the host: median %lld us, worst %lld us over %zu calls\n", library,
                    costs[costs.size() / 2], costs.back(), costs.size());
        EXPECT_LT(costs.back(), HostedLibrary::DefaultLimits.callMs * 1000 / 2) << "far from the time-out";
    }
    // The 64-bit stand-in stays in the program's process.
    EXPECT_EQ(openInHost(besideTests("grafcet.dll"), QCoreApplication::applicationDirPath()), nullptr);
    GrafcetLibrary inProcess(besideTests("grafcet.dll"));
    inProcess.init_grafcet();
    EXPECT_EQ(inProcess.VerifCardOut(5), -2);
}

TEST(HostedLibrary, FailuresNameTheLibraryAndTheCause)
{
    QTemporaryDir dir;
    const QString brokenPath = dir.filePath("grafcet32-broken.dll");
    ASSERT_TRUE(QFile::copy(besideTests("grafcet32-mingw.dll"), brokenPath));
    QFile broken(brokenPath);
    ASSERT_TRUE(broken.resize(1024)) << "its PE header says i386, the rest is gone";

    struct Case {
        const char* host;
        const char* library;
        const char* script;
        int callsBeforeFailure; // -1: the load fails
        const char* says;
        int atLeastMs;
    };
    const Case cases[] = {
        {"no-such-host.exe", "grafcet32-mingw.dll", "", -1, "no-such-host.exe, and that cannot start", 0},
        {"grafcet-host32.exe", "", "", -1, "it is a 32-bit library that does not load", 0},
        {"grafcet-host32.exe", "grafcet32-noverif.dll", "", -1, "it has no entry point VerifCardOut", 0},
        {"grafcet-host32.exe", "grafcet32-plain.dll", "7,exit", 1, "ended (exit code 3) during VerifCardOut", 0},
        {"grafcet-host32.exe", "grafcet32-msvc.dll", "7,hang", 1, "gave no answer within 1 s, and was stopped", 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        qputenv("GRAFCET_SCRIPT", c.script);
        QElapsedTimer took;
        took.start();
        try {
            const QString library = *c.library ? besideTests(c.library) : brokenPath;
            HostedLibrary hosted(besideTests(c.host), library, Quick);
            ASSERT_GE(c.callsBeforeFailure, 0) << "it loaded";
            hosted.init_grafcet();
            for (int call = 0; call < c.callsBeforeFailure; ++call)
                EXPECT_EQ(hosted.VerifCardOut(5), 7);
            took.start();
            try {
                hosted.VerifCardOut(5);
                ADD_FAILURE() << "the call answered";
            } catch (const AutomateError& error) {
                EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
                EXPECT_NE(std::string(error.what()).find("No card is dispensed"), std::string::npos);
            }
            EXPECT_THROW(hosted.VerifCardOut(5), AutomateError) << "a failed host answers no more";
        } catch (const AutomateError& error) {
            EXPECT_EQ(c.callsBeforeFailure, -1) << error.what();
            EXPECT_NE(std::string(error.what()).find(*c.library ? c.library : "grafcet32-broken.dll"),
                      std::string::npos)
                << error.what();
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
        }
        qunsetenv("GRAFCET_SCRIPT");
        EXPECT_GE(took.elapsed(), c.atLeastMs);
        EXPECT_LT(took.elapsed(), c.atLeastMs + 10000);
    }
}
