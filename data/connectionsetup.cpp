// Connection set-up shared by both data modules. The login lines always come from the
// library's copy of the host record, which start-up has already set to "sa" and "".
#include "data/connectionsetup.h"

#include "framework/db/database.h"
#include "framework/text/text.h"

#include <QLocale>
#include <QRegularExpression>

namespace data {

namespace {

std::function<QTime()>& clockHook() {
    static std::function<QTime()> clock;
    return clock;
}

QString& timeFormatHook() {
    static QString format;
    return format;
}

QString gbk(const TShortString& s) {
    return text::fromGbk(s.bytes());
}

}  // namespace

QStringList standardDesignParams(const QString& applicationName, int blobsToCache, int blobSize) {
    return {
        QStringLiteral("DATABASE NAME=Calvesteri"),
        QStringLiteral("SERVER NAME=MISSERVER"),
        QStringLiteral("USER NAME=sa"),
        QStringLiteral("PASSWORD="),
        QStringLiteral("HOST NAME="),
        QStringLiteral("APPLICATION NAME=") + applicationName,
        QStringLiteral("OPEN MODE=READ/WRITE"),
        QStringLiteral("SCHEMA CACHE SIZE=8"),
        QStringLiteral("BLOB EDIT LOGGING="),
        QStringLiteral("LANGDRIVER="),
        QStringLiteral("SQLQRYMODE="),
        QStringLiteral("SQLPASSTHRU MODE=SHARED AUTOCOMMIT"),
        QStringLiteral("DATE MODE=0"),
        QStringLiteral("SCHEMA CACHE TIME=-1"),
        QStringLiteral("MAX QUERY TIME=300"),
        QStringLiteral("MAX ROWS=-1"),
        QStringLiteral("BATCH COUNT=200"),
        QStringLiteral("ENABLE SCHEMA CACHE=FALSE"),
        QStringLiteral("SCHEMA CACHE DIR="),
        QStringLiteral("NATIONAL LANG NAME="),
        QStringLiteral("ENABLE BCD=FALSE"),
        QStringLiteral("TDS PACKET SIZE=4096"),
        QStringLiteral("BLOBS TO CACHE=%1").arg(blobsToCache),
        QStringLiteral("BLOB SIZE=%1").arg(blobSize),
    };
}

QStringList pubdictDesignParams() {
    return {
        QStringLiteral("DATABASE NAME=Pubdict"),
        QStringLiteral("SERVER NAME=MISSERVER"),
        QStringLiteral("USER NAME=sa"),
        QStringLiteral("OPEN MODE=READ/WRITE"),
        QStringLiteral("SCHEMA CACHE SIZE=8"),
        QStringLiteral("BLOB EDIT LOGGING="),
        QStringLiteral("LANGDRIVER="),
        QStringLiteral("SQLQRYMODE="),
        QStringLiteral("SQLPASSTHRU MODE=SHARED AUTOCOMMIT"),
        QStringLiteral("DATE MODE=1"),
        QStringLiteral("SCHEMA CACHE TIME=-1"),
        QStringLiteral("MAX QUERY TIME=300"),
        QStringLiteral("MAX ROWS=-1"),
        QStringLiteral("BATCH COUNT=200"),
        QStringLiteral("ENABLE SCHEMA CACHE=TRUE"),
        QStringLiteral("SCHEMA CACHE DIR="),
        QStringLiteral("HOST NAME="),
        QStringLiteral("APPLICATION NAME="),
        QStringLiteral("NATIONAL LANG NAME="),
        QStringLiteral("ENABLE BCD=TRUE"),
        QStringLiteral("TDS PACKET SIZE=4096"),
        QStringLiteral("BLOBS TO CACHE=64"),
        QStringLiteral("BLOB SIZE=32"),
        QStringLiteral("PASSWORD="),
    };
}

QString hostName(const TDllParams& params, const QString& suffix) {
    const std::string station = text::gbkPrefix(params.StationName.bytes(), 13);
    return text::fromGbk(station) + QLatin1Char(',') + gbk(params.UserId) + suffix;
}

QString timeTextOf(const QTime& time, const QString& format) {
    // Qt's long format may carry the time zone ("HH:mm:ss t", "t HH:mm:ss"); the desktop's
    // long time format that the host name follows has none, so it is dropped first.
    QString f = format;
    f.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
    return QLocale::system().toString(time, f.trimmed()).left(5);
}

QString timeText() {
    const QTime now = clockHook() ? clockHook()() : QTime::currentTime();
    const QString format = timeFormatHook().isEmpty()
                               ? QLocale::system().timeFormat(QLocale::LongFormat)
                               : timeFormatHook();
    return timeTextOf(now, format);
}

void setClock(std::function<QTime()> clock) {
    clockHook() = std::move(clock);
}

void setTimeFormat(const QString& format) {
    timeFormatHook() = format;
}

void rewriteLoginLines(db::Database& database, const QString& databaseName, const QString& host) {
    db::ParamList& p = database.Params();
    // The first five lines go whatever they hold; a shorter list simply ends up empty.
    for (int i = 0; i < 5 && p.Count() > 0; ++i) p.Delete(0);
    p.Insert(0, QStringLiteral("DATABASE NAME=") + databaseName);
    p.Insert(0, QStringLiteral("SERVER NAME=") + gbk(DllParams.ServerName));
    p.Insert(0, QStringLiteral("USER NAME=") + gbk(DllParams.DbUserName));
    p.Insert(0, QStringLiteral("PASSWORD=") + gbk(DllParams.DbPassword));
    p.Insert(0, QStringLiteral("HOST NAME=") + host);
}

void setUpConnection(db::Database& database, const QString& databaseName, const QString& host) {
    database.Close();
    rewriteLoginLines(database, databaseName, host);
    database.Open();
}

QString moduleBaseNameOf(const QString& path) {
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    const QString file = path.mid(slash + 1);
    const qsizetype dot = file.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : file.left(dot);
}

}  // namespace data
