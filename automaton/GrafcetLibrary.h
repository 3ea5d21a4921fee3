#pragma once

#include "Automate.h"

#include <QLibrary>
#include <QString>

#include <memory>

// The site's automaton library at `path`, once the file and every folder on
// the way to it are found safe: loaded in the program's process, or run by a
// host program where the program cannot load it (a 32-bit library under the
// 64-bit Windows program). Throws AutomateError, which says why not.
std::unique_ptr<Automate> openAutomate(const QString& path, const QString& programDir);

// The automaton library loaded in the program's process from one absolute
// path, every entry point resolved at load. It is never searched for: a
// library in the current directory or on LD_LIBRARY_PATH is not ours to run.
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
