// The connection registry "Default", named connections and their parameter lists.
// A name is held by one connection at a time (case-insensitively); closing a connection
// closes the datasets that name it first.
#include "framework/db/database.h"

#include "framework/db/dataset.h"
#include "framework/db/drivers/driver.h"
#include "framework/text/errors.h"

namespace db {

void ParamList::Delete(int index) {
    if (index < 0 || index >= m_lines.size())
        throw EInvalidOperation(QStringLiteral("List index out of bounds (%1)").arg(index));
    m_lines.removeAt(index);
}

void ParamList::Insert(int index, const QString& line) {
    if (index < 0 || index > m_lines.size())
        throw EInvalidOperation(QStringLiteral("List index out of bounds (%1)").arg(index));
    m_lines.insert(index, line);
}

QString ParamList::Values(const QString& key, bool* found) const {
    for (const QString& line : m_lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (QStringView(line).left(eq).compare(key, Qt::CaseInsensitive) == 0) {
            if (found != nullptr)
                *found = true;
            return line.mid(eq + 1);
        }
    }
    if (found != nullptr)
        *found = false;
    return QString();
}

QString ParamList::valueOr(const QString& key, const QString& fallback) const {
    bool found = false;
    const QString v = Values(key, &found);
    return found ? v : fallback;
}

Session& Session::Default() {
    // Never destroyed: connections owned by long-lived objects unregister during exit.
    static Session* session = new Session;
    return *session;
}

Database* Session::FindDatabase(const QString& name) const {
    if (name.isEmpty())
        return nullptr;
    for (Database* d : m_databases) {
        if (d->DatabaseName().compare(name, Qt::CaseInsensitive) == 0)
            return d;
    }
    return nullptr;
}

void Session::check(const QString& name, const Database* except) const {
    const Database* other = FindDatabase(name);
    if (other != nullptr && other != except)
        throw EDatabaseError(QStringLiteral("Duplicate database name '%1'").arg(name));
}

void Session::add(Database* db) {
    check(db->DatabaseName(), db);
    m_databases.push_back(db);
}

void Session::remove(Database* db) {
    std::erase(m_databases, db);
}

void Session::removeDataSet(DataSet* ds) {
    std::erase(m_dataSets, ds);
}

Database::Database(const QString& connectionName, QObject* parent) : QObject(parent) {
    Session::Default().check(connectionName, this);
    m_name = connectionName;
    Session::Default().add(this);
}

Database::~Database() {
    try {
        Close();
    } catch (...) {
        // A destructor must not throw; the connection is gone either way.
    }
    Session::Default().remove(this);
}

void Database::SetDatabaseName(const QString& name) {
    if (name == m_name)
        return;
    if (Connected())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open database"));
    Session::Default().check(name, this);
    m_name = name;
}

void Database::Open() {
    if (Connected())
        return;
    m_connection.reset();  // a connection that lost its link is replaced, not reused
    m_connection = openDriverConnection(m_params);
}

bool Database::Connected() const { return m_connection && m_connection->isOpen(); }

void Database::Close() {
    if (!m_connection)
        return;
    const std::vector<DataSet*> sets = Session::Default().dataSets();
    for (DataSet* ds : sets) {
        if (ds->Active() && ds->database() == this)
            ds->Close();
    }
    m_connection.reset();
}

DriverConnection& Database::connection() {
    if (!m_connection)
        throw EDatabaseError(QStringLiteral("Database '%1' is not connected").arg(m_name));
    return *m_connection;
}

}  // namespace db
