// Reading a parameter list into login settings. Values are taken as they stand: the host
// name, for one, carries the station text and the time exactly as the caller built it.
#include "framework/db/drivers/freetds/loginsettings.h"

namespace db::tds {

namespace {

// A number from a parameter value; `fallback` when the text is no whole number or lies
// outside [lo, hi].
int numberOr(const QStringList& lines, const QString& key, int fallback, int lo, int hi) {
    bool found = false;
    const QString text = paramValue(lines, key, &found).trimmed();
    if (!found || text.isEmpty())
        return fallback;
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi)
        return fallback;
    return v;
}

}  // namespace

QString paramValue(const QStringList& lines, const QString& key, bool* found) {
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (QStringView(line).left(eq).compare(key, Qt::CaseInsensitive) == 0) {
            if (found)
                *found = true;
            return line.mid(eq + 1);
        }
    }
    if (found)
        *found = false;
    return QString();
}

LoginSettings loginSettingsFromLines(const QStringList& lines) {
    LoginSettings s;
    s.server = paramValue(lines, QStringLiteral("SERVER NAME")).trimmed();
    s.database = paramValue(lines, QStringLiteral("DATABASE NAME")).trimmed();
    s.user = paramValue(lines, QStringLiteral("USER NAME"));
    s.password = paramValue(lines, QStringLiteral("PASSWORD"));
    s.hostName = paramValue(lines, QStringLiteral("HOST NAME"));
    s.applicationName = paramValue(lines, QStringLiteral("APPLICATION NAME"));
    // The server accepts packets of 512 to 32767 bytes; anything else keeps the default
    // rather than failing the login over a tuning value.
    s.packetSize = numberOr(lines, QStringLiteral("TDS PACKET SIZE"), s.packetSize, 512, 32767);
    // A negative or zero limit means "wait as long as it takes".
    s.maxQueryTime =
        numberOr(lines, QStringLiteral("MAX QUERY TIME"), s.maxQueryTime, -2147483647, 2147483647);
    if (s.maxQueryTime < 0)
        s.maxQueryTime = 0;
    s.loginTime = numberOr(lines, QStringLiteral("CONNECT TIMEOUT"), s.loginTime, 1, 86400);
    return s;
}

}  // namespace db::tds
