#pragma once

#include "Automate.h"

#include <QLibrary>
#include <QString>

#include <stdexcept>

// A failure to load the automaton library; the text names the file and the cause.
class AutomateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The automaton library loaded from one absolute path, every entry point
// resolved at load. It is never searched for: a library in the current
// directory or on LD_LIBRARY_PATH is not ours to run.
class GrafcetLibrary final : public Automate {
public:
    explicit GrafcetLibrary(const QString& path);

    void init_grafcet() override;
    std::int32_t VerifCardOut(std::int32_t value) override;

    // The library beside the program (in a build tree), else the site's own
    // in its fixed folder (/usr/local/lib/cvd-operator, or
    // %ProgramData%\cvd-operator on Windows, which no installation touches),
    // else the stand-in of the installation, found from the program's folder.
    static QString locate(const QString& programDir);

private:
    using InitGrafcet = void (*)();
    using VerifCardOutFn = std::int32_t (*)(std::int32_t);

    QFunctionPointer resolve(const char* symbol);

    QLibrary library;
    InitGrafcet initGrafcet = nullptr;
    VerifCardOutFn verifCardOut = nullptr;
};
