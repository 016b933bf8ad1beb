// A small server and the data modules over it, as the start-up would build them, for the
// statement window's tests: a business database whose procedures record what they were
// sent, a kernel database with departments and users, and a company-settings table.
#pragma once

#include "framework/ui/messages.h"
#include "serverfixture.h"
#include "ui/frmmain.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

namespace windowtest {

// Database names on the fixture server.
inline constexpr const char* kBusiness = "Biz";
inline constexpr const char* kKernel = "Kern";
inline constexpr const char* kDict = "Dict";

// One result row of the statistics procedure; amounts are MONEY on the server.
struct ResultRow {
    QString invoiceno;
    QString tag;
    QString srUSD;  // SQL literal: a number or NULL
    QString cb = QStringLiteral("0");
    QString lirunTrue = QStringLiteral("0");
};

class WindowEnv {
public:
    WindowEnv();
    ~WindowEnv();

    testsupport::TempServer server;
    ui::RecordingPresenter presenter;

    // Fixture contents; call before connect().
    void setClock(const std::string& clock) { server.setClock(clock); }
    void setCompany(const QString& nameSimple);  // no call: corp_set stays empty
    void setCwYears(int minYear, int maxYear);   // no call: the procedure returns no row
    void setRows(const std::vector<ResultRow>& rows);
    // Replaces a procedure of the business database with one that fails.
    void breakProcedure(const std::string& name);
    void restoreProcedures();

    // Fills DllParams for the fixture and creates both data modules, connected.
    void connect(const QString& viewKind = QStringLiteral("C"), const QString& viewId = QString());
    // Creates the main window (its creation runs the first statistics).
    Tfrmmain* openWindow();
    // Closes the window (if still open) and lets Qt destroy it.
    void closeWindow();
    Tfrmmain* window() const { return m_window.data(); }

    // Rows of a log table in the business database, each row's columns joined by "|".
    QStringList log(const std::string& table) const;
    void clearLogs();

    // Texts the user would have read, in order.
    QStringList messages() const;
    QStringList errors() const;
    void clearMessages() { presenter.shown.clear(); }

private:
    QPointer<Tfrmmain> m_window;
    ui::MessagePresenter* m_previous = nullptr;
};

// Fills DllParams for a server folder and its three databases and creates both data
// modules, connected, as the start-up does.
void connectModules(const QString& folder, const QString& business, const QString& kernel,
                    const QString& dict, const QString& viewKind, const QString& viewId,
                    const QString& user = QStringLiteral("sa"), const QString& password = {});

// Runs pending deferred deletions (windows that were closed with delete-on-close).
void flushDeletes();

// Saves a test's picture of a window for a look at its layout: into the folder named by
// EXPORTPNL_TEST_PICTURES when set, otherwise into a temporary folder that goes again.
// Never a fixed name in the shared temporary folder: another user's file there fails the save.
bool savePicture(const QImage& image, const QString& fileName);

}  // namespace windowtest
