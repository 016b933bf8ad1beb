// Routing of the client library's global handlers to the connection they concern.
// The handlers always answer "cancel": the library's default for some errors is to end
// the process, which a plug-in inside a host program must never do.
#include "framework/db/drivers/freetds/dblibrary.h"

#include "framework/db/drivers/freetds/tdsvalue.h"
#include "framework/text/errors.h"

#include <map>
#include <mutex>

#include <sybdb.h>
#include <sybfront.h>

namespace db::tds {

namespace {

struct Registry {
    std::mutex mutex;
    int users = 0;
    std::map<DBPROCESS*, ServerReport*> reports;
    EHANDLEFUNC previousErrorHandler = nullptr;
    MHANDLEFUNC previousMessageHandler = nullptr;
};

Registry& registry() {
    static Registry r;
    return r;
}

thread_local ServerReport* t_loginReport = nullptr;

ServerReport* route(DBPROCESS* proc) {
    if (proc) {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        const auto it = r.reports.find(proc);
        if (it != r.reports.end())
            return it->second;
    }
    return t_loginReport;
}

int errorThunk(DBPROCESS* proc, int severity, int dberr, int oserr, char* dberrstr,
               char* oserrstr) {
    return DbLibrary::errorHandler(proc, severity, dberr, oserr, dberrstr, oserrstr);
}

int messageThunk(DBPROCESS* proc, DBINT msgno, int msgstate, int severity, char* msgtext,
                 char* srvname, char* procname, int line) {
    return DbLibrary::messageHandler(proc, msgno, msgstate, severity, msgtext, srvname, procname,
                                     line);
}

// Our own wording for the errors a user meets when a server cannot be reached; the
// library's texts name the wrong kind of server.
QString clientErrorText(int dberr) {
    switch (dberr) {
        case SYBECONN:
        case SYBEFCON:
            return QStringLiteral("the server is unavailable or does not exist");
        case SYBEINTF:
            return QStringLiteral("server name not found in the client configuration");
        case SYBEUHST:
            return QStringLiteral("unknown host name");
        case SYBEREAD:
        case SYBEWRIT:
        case SYBESEOF:
            return QStringLiteral("the network connection to the server failed");
        default:
            return QString();
    }
}

}  // namespace

QString ServerReport::text() const {
    if (!serverErrors.isEmpty())
        return serverErrors.join(QLatin1Char('\n'));
    return clientErrors.join(QStringLiteral("; "));
}

void DbLibrary::acquire() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.users == 0) {
        if (dbinit() == FAIL)
            throw EDatabaseError(QStringLiteral("Cannot initialise the network database library"));
        r.previousErrorHandler = dberrhandle(errorThunk);
        r.previousMessageHandler = dbmsghandle(messageThunk);
    }
    ++r.users;
}

void DbLibrary::release() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.users == 0)
        return;
    if (--r.users == 0) {
        dberrhandle(r.previousErrorHandler);
        dbmsghandle(r.previousMessageHandler);
        r.previousErrorHandler = nullptr;
        r.previousMessageHandler = nullptr;
        r.reports.clear();
        dbexit();
    }
}

int DbLibrary::users() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.users;
}

void DbLibrary::attach(DBPROCESS* proc, ServerReport* report) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.reports[proc] = report;
}

void DbLibrary::detach(DBPROCESS* proc) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.reports.erase(proc);
}

DbLibrary::LoginScope::LoginScope(ServerReport* report) : m_previous(t_loginReport) {
    t_loginReport = report;
}

DbLibrary::LoginScope::~LoginScope() {
    t_loginReport = m_previous;
}

int DbLibrary::errorHandler(DBPROCESS* proc, int /*severity*/, int dberr, int oserr, char* dberrstr,
                            char* oserrstr) {
    ServerReport* report = route(proc);
    if (!report)
        return INT_CANCEL;
    // "Check messages from the server": the message handler has the server's own text.
    if (dberr == SYBESMSG)
        return INT_CANCEL;
    if (dberr == SYBETIME) {
        report->timedOut = true;
    } else {
        QString text = clientErrorText(dberr);
        if (text.isEmpty() && dberrstr)
            text = QString::fromLocal8Bit(dberrstr).trimmed();
        if (oserr > 0 && oserrstr && *oserrstr)
            text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(oserrstr).trimmed());
        if (text.isEmpty())
            text = QStringLiteral("Network database library error %1").arg(dberr);
        if (!report->clientErrors.contains(text))
            report->clientErrors << text;
    }
    if (report->firstCode == 0)
        report->firstCode = dberr;
    return INT_CANCEL;
}

int DbLibrary::messageHandler(DBPROCESS* proc, int msgno, int /*msgstate*/, int severity,
                              char* msgtext, char* /*srvname*/, char* /*procname*/, int /*line*/) {
    // Severity 10 and below are informational ("Changed database context ..."): dropped.
    if (severity <= 10)
        return 0;
    ServerReport* report = route(proc);
    if (!report)
        return 0;
    const int length = msgtext ? static_cast<int>(qstrlen(msgtext)) : 0;
    report->serverErrors << decodeText(msgtext, length).trimmed();
    if (report->firstCode == 0)
        report->firstCode = msgno;
    return 0;
}

}  // namespace db::tds
