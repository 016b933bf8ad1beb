// The host parameter file of mis-host: an INI file (UTF-8, section [params], one key per
// field of the host record) turned into the 7168-byte record the plug-in receives.
#pragma once

#include "plugin/dllparams.h"

#include <QString>

namespace host {

// Reads `path` into a record: values are converted to GBK and cut at 255 bytes; unknown
// keys are ignored. A relative ServerName that names an existing folder next to the file
// becomes that folder's absolute path (a network server name is left as it is).
// std::runtime_error when the file cannot be read.
TDllParams readParamsFile(const QString& path);

// Parses INI text; `baseDir` is the folder relative server folders are resolved from.
TDllParams parseParams(const QString& iniText, const QString& baseDir);

// Writes the demo installation's parameter file, with ServerName relative to the file.
void writeDemoParams(const QString& path, const QString& serverDir);

}  // namespace host
