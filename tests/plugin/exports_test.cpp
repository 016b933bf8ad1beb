// The built plug-in as a host sees it: loaded with dlopen into a process that already runs
// its own QApplication, driven only through the three exported functions. Message boxes the
// plug-in opens are answered by a watcher timer, which records their text.
#include "plugin/dllparams.h"
#include "startupserver.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QTimer>
#include <functional>
#include <stdexcept>

namespace {

using startuptest::StartUpServer;

int g_argc = 1;
char g_arg0[] = "plugin_exports_tests";
char* g_argv[] = {g_arg0, nullptr};

struct Entry {
    void (*main)(const void*) = nullptr;
    unsigned char (*onScreen)() = nullptr;
    void (*bringToFront)() = nullptr;
};

void* g_handle = nullptr;
Entry g_entry;

void flush() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

QWidget* topLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// Answers the plug-in's message boxes and runs one action inside the next modal loop.
class Watcher {
public:
    Watcher() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start();
    }
    QStringList boxes;
    std::function<void(QWidget*)> insideModal;

private:
    void look() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                boxes << box->text();
                box->done(QMessageBox::Ok);
                return;
            }
        }
        if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && insideModal) {
            auto action = std::move(insideModal);
            insideModal = nullptr;
            action(modal);
        }
    }
    QTimer m_timer;
};

template <typename Fn>
Fn entry(const char* name) {
    return reinterpret_cast<Fn>(dlsym(g_handle, name));
}

class Exports : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The host's own application comes first; the plug-in must use it.
        if (QCoreApplication::instance() == nullptr)
            new QApplication(g_argc, g_argv);
        if (g_handle != nullptr)
            return;
        g_handle = dlopen(EXPORTPNL_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ASSERT_NE(g_handle, nullptr) << dlerror();
        g_entry.main = entry<void (*)(const void*)>("dllmain");
        g_entry.onScreen = entry<unsigned char (*)()>("dllonscreen");
        g_entry.bringToFront = entry<void (*)()>("dllbringtofront");
    }
    void TearDown() override {
        if (QWidget* w = topLevel(QStringLiteral("frmmain")))
            w->close();
        flush();
    }
    QWidget* open() {
        const TDllParams record = fixture.record();
        g_entry.main(&record);
        return topLevel(QStringLiteral("frmmain"));
    }
    StartUpServer fixture;
    Watcher watcher;
};

TEST_F(Exports, OnlyTheThreeEntryPointsAreExported) {
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"),
                                    QStringLiteral(EXPORTPNL_PLUGIN_FILE)});
    ASSERT_TRUE(nm.waitForFinished(30000));
    QStringList names;
    for (const QString& line :
         QString::fromUtf8(nm.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() == 3)
            names << parts[2];
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("dllbringtofront"), QStringLiteral("dllmain"),
                                  QStringLiteral("dllonscreen")}));
    EXPECT_EQ(dlsym(g_handle, "DllParams"), nullptr);
    EXPECT_EQ(dlsym(g_handle, "OnScreenFlag"), nullptr);
}

TEST_F(Exports, OnScreenFollowsTheWindowAndAReopenedWindowWorks) {
    EXPECT_EQ(g_entry.onScreen(), 0);
    QPointer<QWidget> first = open();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(g_entry.onScreen(), 1);
    EXPECT_EQ(topLevel(QStringLiteral("Frmsplish")), nullptr);

    first->close();
    flush();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(g_entry.onScreen(), 0);

    QPointer<QWidget> second = open();
    ASSERT_FALSE(second.isNull());
    EXPECT_EQ(g_entry.onScreen(), 1);
    // A statistics run over the new connections fills the status bar from the server.
    auto* rows = second->findChild<QLabel*>(QStringLiteral("SBarPanel1"));
    ASSERT_NE(rows, nullptr);
    rows->setText(QString());
    second->findChild<QAbstractButton*>(QStringLiteral("btnView"))->click();
    EXPECT_EQ(rows->text(), QStringLiteral("共有%1笔数据").arg(fixture.rowCount()));
    EXPECT_EQ(watcher.boxes, QStringList());
}

TEST_F(Exports, FailedStartUpReachesTheHostAndLeavesNothingBehind) {
    TDllParams record = fixture.record();
    record.MiskernelDbName.assign(QStringLiteral("NoKernel"));
    std::string error;
    try {
        g_entry.main(&record);
    } catch (const std::exception& e) {
        error = e.what();
    }
    EXPECT_NE(error.find("NoKernel"), std::string::npos) << error;
    EXPECT_EQ(g_entry.onScreen(), 0);
    EXPECT_EQ(topLevel(QStringLiteral("Frmsplish")), nullptr);
    ASSERT_NE(open(), nullptr);  // nothing of the failed call is in the way
    EXPECT_EQ(g_entry.onScreen(), 1);
}

int visibleWindows(const QString& name) {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += w->objectName() == name && w->isVisible();
    return n;
}

// Before, the splash was painted by running the event queue, so a host timer fired inside
// dllmain; a dllmain started from it opened the window and the outer call then failed with
// "Duplicate database name". Now the host's timers wait and a queued call is refused.
TEST_F(Exports, CallsFromEventsDuringTheStartUpLeaveItIntact) {
    const TDllParams record = fixture.record();
    bool outerReturned = false;
    bool timerRan = false;
    bool timerRanInside = false;
    QTimer hostTimer;
    hostTimer.setSingleShot(true);
    hostTimer.setInterval(0);
    QObject::connect(&hostTimer, &QTimer::timeout, [&] {
        timerRan = true;
        timerRanInside = !outerReturned;
        // The host's calling order.
        if (g_entry.onScreen())
            g_entry.bringToFront();
        else
            g_entry.main(&record);
    });
    std::string queuedError = "not refused";
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            try {
                g_entry.main(&record);
            } catch (const std::exception& e) {
                queuedError = e.what();
            }
        },
        Qt::QueuedConnection);
    hostTimer.start();

    std::string outerError;
    try {
        g_entry.main(&record);
    } catch (const std::exception& e) {
        outerError = e.what();
    }
    outerReturned = true;
    EXPECT_EQ(outerError, "");
    EXPECT_EQ(g_entry.onScreen(), 1);
    EXPECT_EQ(queuedError, "dllmain cannot run while the statement window is being opened");
    flush();
    EXPECT_TRUE(timerRan);
    EXPECT_FALSE(timerRanInside);
    EXPECT_EQ(visibleWindows(QStringLiteral("frmmain")), 1);
    EXPECT_EQ(visibleWindows(QStringLiteral("Frmsplish")), 0);
    EXPECT_EQ(watcher.boxes, QStringList());
}

TEST_F(Exports, BringToFrontActivatesTheWindow) {
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    QWidget other;
    other.setObjectName(QStringLiteral("hostWindow"));
    other.show();
    other.activateWindow();
    flush();
    ASSERT_EQ(QApplication::activeWindow(), &other);

    EXPECT_NO_THROW(g_entry.bringToFront());
    flush();
    EXPECT_EQ(QApplication::activeWindow(), window);
}

TEST_F(Exports, BringToFrontFailsWhileAModalDialogIsOpen) {
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    std::string error = "no failure";
    bool sawDialog = false;
    watcher.insideModal = [&](QWidget* modal) {
        sawDialog = true;
        try {
            g_entry.bringToFront();
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    };
    window->findChild<QAbstractButton*>(QStringLiteral("btnQuery"))->click();  // the find dialog
    ASSERT_TRUE(sawDialog);
    EXPECT_EQ(error, "Cannot focus a disabled or invisible window");
    flush();
    EXPECT_NO_THROW(g_entry.bringToFront());
}

}  // namespace
