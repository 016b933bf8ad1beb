// Login settings of a network connection, read from a connection's key=value parameter list.
// Pure mapping without any network or library call, so the way a list is read (first line
// wins, keys in any letter case, defaults for missing keys) is checked on its own.
#pragma once

#include <QString>
#include <QStringList>

namespace db::tds {

struct LoginSettings {
    QString server;           // SERVER NAME: host, host:port, host\instance or a configured name
    QString database;         // DATABASE NAME; empty: the login's default database
    QString user;             // USER NAME
    QString password;         // PASSWORD
    QString hostName;         // HOST NAME the server records; empty: the machine's own name
    QString applicationName;  // APPLICATION NAME the server records
    int packetSize = 4096;    // TDS PACKET SIZE in bytes
    int maxQueryTime = 300;   // MAX QUERY TIME in seconds; 0: no limit
    int loginTime = 60;       // CONNECT TIMEOUT in seconds, for reaching the server and logging in
};

// Reads the keys this back end honours; all other keys are accepted and ignored.
LoginSettings loginSettingsFromLines(const QStringList& lines);

// Value of the first line whose key matches `key` without regard to letter case.
// `found` reports whether any line had that key (an empty value still counts).
QString paramValue(const QStringList& lines, const QString& key, bool* found = nullptr);

}  // namespace db::tds
