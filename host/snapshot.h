// Headless run of mis-host: opens the statement, saves a picture of the window and the
// report as PDF, closes the window. Used by the README's demo and by tests.
#pragma once

#include "host/pluginlibrary.h"

#include <QString>

namespace host {

// Returns the process exit code: 0 when window.png and report.pdf were written and the
// window closed again; 1 otherwise (the reason on stderr).
int runSnapshot(PluginLibrary& library, const TDllParams& record, const QString& outDir);

}  // namespace host
