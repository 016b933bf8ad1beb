// dllmain's steps in their fixed order. What a failed start-up created is undone here, so
// the host can simply try again: no splash left on screen, no connection name still held,
// and the DllParams of a window that is still open are not overwritten.
#include "plugin/startup.h"

#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/db/database.h"
#include "framework/text/errors.h"
#include "framework/ui/application.h"
#include "plugin/dllparams.h"
#include "plugin/frmsplish.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QPointer>
#include <cstring>
#include <memory>

namespace plugin {
namespace {

const QString kBusinessConnection = QStringLiteral("DB_Calvesteri");

// The main window of the last successful start-up; null once it has destroyed itself.
QPointer<QWidget> g_mainWindow;

// A start-up is under way: the exports may be reached again from an event it dispatches.
bool g_startingUp = false;

class StartingUp {
public:
    StartingUp() { g_startingUp = true; }
    ~StartingUp() { g_startingUp = false; }
    StartingUp(const StartingUp&) = delete;
    StartingUp& operator=(const StartingUp&) = delete;
};

void refuseWhileStartingUp(const char* entry) {
    if (g_startingUp)
        throw EInvalidOperation(
            QStringLiteral("%1 cannot run while the statement window is being opened")
                .arg(QLatin1String(entry)));
}

// Paints the splash by letting the event queue run once, with every timer event that is not
// the splash's own held back: a held-back timer stays armed and fires on its next turn in
// the host's loop, so no host code runs inside dllmain from a timer. Posted events cannot be
// held back that way; a call of an export they make is refused by the start-up guard.
class HostTimersHeld : public QObject {
public:
    explicit HostTimersHeld(QWidget* splash) : m_splash(splash) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~HostTimersHeld() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Timer)
            return false;
        for (QObject* o = watched; o != nullptr; o = o->parent()) {
            if (o == m_splash)
                return false;
        }
        return true;
    }

private:
    QWidget* m_splash;
};

// Undoes a start-up that did not complete: the modules this call created go (closing their
// connections and releasing their names), and the splash with them.
class StartUpRollback {
public:
    ~StartUpRollback() {
        if (m_committed)
            return;
        if (m_yycw) {
            delete m_yycw.data();
            fm_YYCWData = nullptr;
        }
        if (m_data) {
            delete m_data.data();
            frmData = nullptr;
        }
    }
    void created(TfrmData* d) { m_data = d; }
    void created(Tfm_YYCWData* d) { m_yycw = d; }
    void commit() { m_committed = true; }

private:
    QPointer<TfrmData> m_data;
    QPointer<Tfm_YYCWData> m_yycw;
    bool m_committed = false;
};

}  // namespace

void StartUp(const void* hostRecord) {
    refuseWhileStartingUp("dllmain");
    const StartingUp guard;

    // 1. The whole record is copied before anything else happens.
    TDllParams record;
    std::memcpy(&record, hostRecord, sizeof(TDllParams));

    ui::Application& app = ui::Application::instance();

    // 2. The splash must be on screen before the connections keep the thread busy.
    auto splash = std::make_unique<TFrmsplish>();
    Frmsplish = splash.get();
    app.adoptWindow(splash.get());
    {
        // Showing a splash window runs the event queue too while no loop is running.
        const HostTimersHeld held(splash.get());
        splash->show();
        splash->repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

    // A window that is still open holds the business connection's name; the new start-up
    // would fail on it in step 4 anyway, and must not overwrite that window's DllParams.
    if (db::Session::Default().FindDatabase(kBusinessConnection) != nullptr)
        throw EDatabaseError(
            QStringLiteral("Duplicate database name '%1'").arg(kBusinessConnection));

    // 3.
    TakeHostParams(&record);

    StartUpRollback rollback;
    // 4.
    auto* data = new TfrmData(&app);
    rollback.created(data);
    frmData = data;
    frmData->ConnectAll();
    // 5.
    auto* yycw = new Tfm_YYCWData(&app);
    rollback.created(yycw);
    fm_YYCWData = yycw;
    fm_YYCWData->ConnectYYCW();

    // 6. The creation handler runs inside the constructor; the global is set afterwards.
    auto* window = new Tfrmmain();
    app.adoptWindow(window);
    frmmain = window;
    g_mainWindow = window;
    rollback.commit();

    // 7.
    splash.reset();

    // 8.
    window->showMaximized();
}

std::uint8_t OnScreen() {
    return OnScreenFlag;
}

void BringToFront() {
    refuseWhileStartingUp("dllbringtofront");
    QWidget* window = g_mainWindow.data();
    if (window != nullptr)
        window->raise();
    // A modal dialog blocks the main window without disabling it.
    if (window == nullptr || !window->isVisible() || !window->isEnabled() ||
        QApplication::activeModalWidget() != nullptr)
        throw EInvalidOperation(QStringLiteral("Cannot focus a disabled or invisible window"));
    if (QApplication::activeWindow() != window)
        window->activateWindow();
}

}  // namespace plugin
