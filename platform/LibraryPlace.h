#pragma once

#include <QString>

// Where the site keeps its own automaton library: a folder that no
// installation, upgrade or removal of the program writes.
QString siteLibraryFolder();

// Why the library at `path` must not be loaded: someone other than the
// administrators or the user running the program may replace the file, or a
// folder on the way to it. Empty when the library is safe to load.
QString unsafeLibraryReason(const QString& path);
