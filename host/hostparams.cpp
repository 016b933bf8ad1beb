// Reading and writing the host parameter file. A small INI reader of its own keeps values
// exactly as written (no list splitting, no escapes), which rights strings need.
#include "host/hostparams.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <stdexcept>

namespace host {
namespace {

struct FieldSlot {
    const char* key;
    TShortString TDllParams::*slot;
};

constexpr FieldSlot kFields[] = {
    {"UserId", &TDllParams::UserId},
    {"UserDept", &TDllParams::UserDept},
    {"ServerName", &TDllParams::ServerName},
    {"DbUserName", &TDllParams::DbUserName},
    {"DbPassword", &TDllParams::DbPassword},
    {"BusinessDbName", &TDllParams::BusinessDbName},
    {"PubdictDbName", &TDllParams::PubdictDbName},
    {"MiskernelDbName", &TDllParams::MiskernelDbName},
    {"Rights", &TDllParams::Rights},
    {"ModuleRights", &TDllParams::ModuleRights},
    {"ViewKind", &TDllParams::ViewKind},
    {"ViewId", &TDllParams::ViewId},
    {"OperationType", &TDllParams::OperationType},
    {"ViewDept", &TDllParams::ViewDept},
    {"StationName", &TDllParams::StationName},
};

QString resolveServer(const QString& value, const QString& baseDir) {
    if (value.isEmpty() || QDir::isAbsolutePath(value))
        return value;
    const QFileInfo folder(QDir(baseDir).filePath(value));
    return folder.isDir() ? folder.absoluteFilePath() : value;
}

}  // namespace

TDllParams parseParams(const QString& iniText, const QString& baseDir) {
    TDllParams record{};
    QString section;
    QString text = iniText;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString raw : lines) {
        if (raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = raw.indexOf(QLatin1Char('='));
        if (eq < 0 || section.compare(QLatin1String("params"), Qt::CaseInsensitive) != 0)
            continue;
        const QString key = raw.left(eq).trimmed();
        QString value = raw.mid(eq + 1);
        for (const FieldSlot& f : kFields) {
            if (key.compare(QLatin1String(f.key), Qt::CaseInsensitive) != 0)
                continue;
            // Values keep inner and trailing blanks (rights strings may rely on them); only
            // the blanks after '=' that INI writers put for looks are dropped.
            while (value.startsWith(QLatin1Char(' ')))
                value.remove(0, 1);
            if (f.slot == &TDllParams::ServerName)
                value = resolveServer(value, baseDir);
            (record.*(f.slot)).assign(value);
        }
    }
    return record;
}

TDllParams readParamsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot read the host parameter file '%1': %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
    return parseParams(QString::fromUtf8(file.readAll()), QFileInfo(path).absolutePath());
}

void writeDemoParams(const QString& path, const QString& serverDir) {
    const QFileInfo target(path);
    QDir().mkpath(target.absolutePath());
    const QString server = QDir(target.absolutePath()).relativeFilePath(QFileInfo(serverDir).absoluteFilePath());
    const QString text = QStringLiteral(
        "; Host parameters of the demo installation, read by mis-host.\n"
        "[params]\n"
        "UserId=0001\n"
        "UserDept=08\n"
        "ServerName=%1\n"
        "DbUserName=demo\n"
        "DbPassword=demo\n"
        "BusinessDbName=Calvesteri\n"
        "PubdictDbName=Pubdict\n"
        "MiskernelDbName=Miskernel\n"
        "Rights=****CR\n"
        "ModuleRights=\n"
        "ViewKind=C\n"
        "ViewId=\n"
        "OperationType=R\n"
        "ViewDept=\n"
        "StationName=DEMO-STATION\n")
                             .arg(server);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        throw std::runtime_error(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()).toStdString());
}

}  // namespace host
