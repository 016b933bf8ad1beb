// How the data modules prepare their connections: the design parameter lists, the host
// name a connection shows the server (station, user, a per-connection suffix and the time),
// the five-line login set-up, and the library file's base name for the financial connection.
#pragma once

#include "plugin/dllparams.h"

#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>

namespace db {
class Database;
}

namespace data {

// The design list shared by the business, kernel and financial connections: the five set-up
// keys first, then the driver settings from APPLICATION NAME on.
QStringList standardDesignParams(const QString& applicationName, int blobsToCache, int blobSize);
// The public-dictionary connection's own design list (no login lines of its own at the top
// beyond DATABASE/SERVER/USER NAME, and trailing empty HOST NAME= and PASSWORD= lines).
QStringList pubdictDesignParams();

// StationName cut to 13 bytes (never half a character), ",", UserId, then the suffix.
QString hostName(const TDllParams& params, const QString& suffix);

// The current time in the long time format, cut to five characters ("09:41", or "9:41:"
// with a one-digit-hour format).
QString timeText();
QString timeTextOf(const QTime& time, const QString& format);
// Test hooks: the clock and the time format (an empty format means the system locale's).
void setClock(std::function<QTime()> clock);
void setTimeFormat(const QString& format);

// Close; delete the first line five times; insert DATABASE NAME, SERVER NAME, USER NAME,
// PASSWORD and HOST NAME lines each at the top; open. The login comes from DllParams.
void setUpConnection(db::Database& database, const QString& databaseName, const QString& host);
// Steps 2 and 3 alone, for the parameter list of a closed connection.
void rewriteLoginLines(db::Database& database, const QString& databaseName, const QString& host);

// The file name after the last '/' or '\\', cut before its first '.'; empty without a '.'.
QString moduleBaseNameOf(const QString& path);

}  // namespace data
