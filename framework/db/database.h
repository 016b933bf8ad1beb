// Named connections ("Database") in the one session "Default". A connection name is unique
// case-insensitively; its parameter list is an ordered list of key=value lines, read the way
// the driver reads it: case-insensitive keys, first line wins, missing key -> default.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace db {

class DriverConnection;
class Database;
class DataSet;

// Ordered key=value lines.
class ParamList {
public:
    int Count() const { return static_cast<int>(m_lines.size()); }
    const QString& operator[](int i) const { return m_lines.at(i); }
    void Delete(int index);
    void Insert(int index, const QString& line);
    void Add(const QString& line) { m_lines.append(line); }
    void Clear() { m_lines.clear(); }
    // Value of the first line whose key matches case-insensitively; `found` tells if any did.
    QString Values(const QString& key, bool* found = nullptr) const;
    QString valueOr(const QString& key, const QString& fallback) const;
    const QStringList& lines() const { return m_lines; }
    void setLines(const QStringList& l) { m_lines = l; }

private:
    QStringList m_lines;
};

class Session {
public:
    static Session& Default();  // the session named "Default"
    QString SessionName() const { return QStringLiteral("Default"); }
    Database* FindDatabase(const QString& name) const;  // case-insensitive
    const std::vector<Database*>& databases() const { return m_databases; }

    // Every dataset, so a connection can close the datasets that name it.
    const std::vector<DataSet*>& dataSets() const { return m_dataSets; }

private:
    friend class Database;
    friend class DataSet;
    void add(Database* db);  // "Duplicate database name '%s'"
    void remove(Database* db);
    void check(const QString& name, const Database* except) const;
    void addDataSet(DataSet* ds) { m_dataSets.push_back(ds); }
    void removeDataSet(DataSet* ds);
    std::vector<Database*> m_databases;
    std::vector<DataSet*> m_dataSets;
};

class Database : public QObject {
    Q_OBJECT

public:
    // Registers `connectionName` (may be empty: unregistered until named).
    explicit Database(const QString& connectionName = QString(), QObject* parent = nullptr);
    ~Database() override;  // closes and unregisters

    const QString& DatabaseName() const { return m_name; }
    void SetDatabaseName(const QString& name);  // checks the registry first
    QString DriverName() const { return QStringLiteral("MSSQL"); }
    bool LoginPrompt() const { return false; }
    ParamList& Params() { return m_params; }
    const ParamList& Params() const { return m_params; }

    void Open();   // EDatabaseError naming the server or database on failure
    void Close();  // closes its datasets first
    bool Connected() const;  // false also after the back end lost its link

    DriverConnection& connection();  // EDatabaseError when closed

private:
    QString m_name;
    ParamList m_params;
    std::unique_ptr<DriverConnection> m_connection;
};

using TDatabase = Database;

}  // namespace db
