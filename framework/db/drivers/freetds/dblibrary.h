// The client library's process-wide state, owned in one place: it is set up when the first
// network connection opens and torn down when the last one closes. Its error and message
// handlers are global, so each report is routed by connection handle to that connection's
// ServerReport; a login in progress (no handle registered yet) gets the reports of its own.
#pragma once

#include <QString>
#include <QStringList>

struct tds_dblib_dbprocess;

namespace db::tds {

// What the handlers heard during one call on one connection.
struct ServerReport {
    QStringList serverErrors;  // server messages of severity above 10, in arrival order
    QStringList clientErrors;  // the client library's own errors (network, protocol)
    int firstCode = 0;         // number of the first error of either kind
    bool timedOut = false;     // a login or statement time limit ran out

    bool failed() const { return !serverErrors.isEmpty() || !clientErrors.isEmpty() || timedOut; }
    QString text() const;  // server errors first; else the client library's
    void clear() { *this = ServerReport(); }
};

class DbLibrary {
public:
    // Counted use of the library: the first acquire initialises it and installs the
    // handlers, the last release removes them and frees everything. EDatabaseError when the
    // library cannot be initialised.
    static void acquire();
    static void release();
    static int users();

    static void attach(tds_dblib_dbprocess* proc, ServerReport* report);
    static void detach(tds_dblib_dbprocess* proc);

    // While alive, reports for a connection handle that is not attached (the one being
    // logged in) go to `report`.
    class LoginScope {
    public:
        explicit LoginScope(ServerReport* report);
        ~LoginScope();
        LoginScope(const LoginScope&) = delete;
        LoginScope& operator=(const LoginScope&) = delete;

    private:
        ServerReport* m_previous;
    };

    // The handlers, public so tests can feed them the way the library would.
    static int errorHandler(tds_dblib_dbprocess* proc, int severity, int dberr, int oserr,
                            char* dberrstr, char* oserrstr);
    static int messageHandler(tds_dblib_dbprocess* proc, int msgno, int msgstate, int severity,
                              char* msgtext, char* srvname, char* procname, int line);
};

}  // namespace db::tds
