#pragma once

#include <QString>

#include <memory>

class Automate;

// Where the site keeps its own automaton library: a folder that no
// installation, upgrade or removal of the program writes.
QString siteLibraryFolder();

// Why the library at `path` must not be loaded: someone other than the
// administrators or the user running the program may replace the file, or a
// folder on the way to it. Empty when the library is safe to load.
QString unsafeLibraryReason(const QString& path);

// The library at `path` run outside the program's process, by a host program
// beside it, where the program cannot load it itself (a 32-bit library under
// the 64-bit Windows program). Null when the program loads it itself.
std::unique_ptr<Automate> openInHost(const QString& path, const QString& programDir);
