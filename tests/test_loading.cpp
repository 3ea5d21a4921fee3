#include "GrafcetLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void expectRefused(const QString& path, const std::string& says)
{
    try {
        openAutomate(path, QFileInfo(path).path());
        ADD_FAILURE() << "loaded " << path.toStdString();
    } catch (const AutomateError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find(path.toStdString()), std::string::npos) << text;
        EXPECT_NE(text.find(says), std::string::npos) << text;
    }
}

QString copyInto(const QTemporaryDir& dir, const QString& from, const QString& name)
{
    QString to = dir.filePath(name);
    QFile::remove(to);
    EXPECT_TRUE(QFile::copy(from, to)) << from.toStdString();
    return to;
}

struct ProgramRun {
    int exitCode;
    QString errors;
    bool ranUntilKilled;
};

// Runs a copy of the program, offscreen, for at most `ms` milliseconds.
ProgramRun runProgram(const QString& program, const QString& workDir, const QStringList& environment, int ms)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const QString& pair : environment)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.start(program, {});
    const bool ended = process.waitForFinished(ms);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError()), !ended};
}

} // namespace

TEST(Loading, TheStandInLoadsAndAnswers)
{
    GrafcetLibrary library(STANDIN_LIBRARY);
    library.init_grafcet();
    EXPECT_EQ(library.VerifCardOut(5), -2);
}

TEST(Loading, RefusesWhatIsNotACompleteLibrary)
{
    QTemporaryDir dir;
    QFile text(dir.filePath("libgrafcet.so"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a library\n");
    text.close();

    expectRefused(dir.filePath("missing.so"), "no such file");
    expectRefused(dir.filePath("libgrafcet.so"), "not a loadable library");
    expectRefused(copyInto(dir, NO_VERIF_LIBRARY, "noverif.so"), "no entry point VerifCardOut");
    expectRefused(copyInto(dir, NO_INIT_LIBRARY, "noinit.so"), "no entry point init_grafcet");
    // Bound at load: a lazily bound library would crash at its first VerifCardOut.
    expectRefused(copyInto(dir, UNRESOLVED_LIBRARY, "unresolved.so"), "grafcet_symbol_nobody_defines");
    expectRefused("libgrafcet.so", "not absolute");
}

TEST(Loading, RefusesALibraryOthersMayWrite)
{
    QTemporaryDir dir;
    const QString library = copyInto(dir, STANDIN_LIBRARY, "libgrafcet.so");
    for (mode_t mode : {0664, 0646}) {
        chmod(library.toLocal8Bit().constData(), mode);
        expectRefused(library, "may be written by others");
    }
    chmod(library.toLocal8Bit().constData(), 0644);
    chmod(dir.path().toLocal8Bit().constData(), 0777);
    expectRefused(library, "its folder");
    chmod(dir.path().toLocal8Bit().constData(), 0755);
    EXPECT_NO_THROW(openAutomate(library, dir.path())) << "under /tmp: a sticky folder others may write is no danger";

    // A link that leads through a folder others may write, or a link found in one.
    QTemporaryDir open;
    chmod(open.path().toLocal8Bit().constData(), 0777);
    const QString inOpen = copyInto(open, STANDIN_LIBRARY, "libgrafcet.so");
    QFile::link(inOpen, dir.filePath("to-open.so"));
    expectRefused(dir.filePath("to-open.so"), "its folder " + open.path().toStdString());
    QFile::link(library, open.filePath("to-sound.so"));
    expectRefused(open.filePath("to-sound.so"), "its folder " + open.path().toStdString());

    // A step that belongs to someone else.
    if (getuid() == 0) {
        ASSERT_EQ(chown(dir.path().toLocal8Bit().constData(), 65534, 65534), 0);
        expectRefused(library, "belongs to user 65534");
    }
}

TEST(Loading, ProgramWithoutItsLibraryEndsWithStatusOne)
{
    QTemporaryDir dir;
    const QString program = copyInto(dir, OPERATOR_PROGRAM, "cvd-operator");
    copyInto(dir, NO_VERIF_LIBRARY, "libgrafcet.so");
    const ProgramRun run = runProgram(program, dir.path(), {}, 10000);
    EXPECT_FALSE(run.ranUntilKilled) << "the window must not be served";
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(dir.filePath("libgrafcet.so"))) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("VerifCardOut")) << run.errors.toStdString();
}

// A libgrafcet.so in the current directory, or reached through an empty
// element of LD_LIBRARY_PATH, is never loaded: only the one beside the program.
TEST(Loading, DecoysAreNeverLoaded)
{
    QTemporaryDir programDir, workDir;
    const QString program = copyInto(programDir, OPERATOR_PROGRAM, "cvd-operator");
    copyInto(workDir, DECOY_LIBRARY, "libgrafcet.so");

    // Without its own library the program must fail rather than take the decoy.
    const ProgramRun alone = runProgram(program, workDir.path(), {"LD_LIBRARY_PATH=:" + workDir.path()}, 10000);
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_FALSE(QFile::exists(workDir.filePath("decoy-was-loaded")));

    copyInto(programDir, STANDIN_LIBRARY, "libgrafcet.so");
    const ProgramRun withOwn = runProgram(program, workDir.path(), {"LD_LIBRARY_PATH=:" + workDir.path()}, 1500);
    EXPECT_TRUE(withOwn.ranUntilKilled) << withOwn.errors.toStdString();
    EXPECT_FALSE(QFile::exists(workDir.filePath("decoy-was-loaded")));
}
