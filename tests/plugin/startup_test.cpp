// The start-up behind dllmain, linked in directly so the test can watch it from inside: an
// event filter on the application object sees each data module the moment it is created
// (its ChildAdded event), and one on the splash sees it shown and painted. At each of those
// moments the test notes which connections are open and whether the splash is on screen.
#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/db/database.h"
#include "framework/text/errors.h"
#include "framework/ui/application.h"
#include "framework/ui/messages.h"
#include "plugin/dllparams.h"
#include "plugin/frmsplish.h"
#include "plugin/startup.h"
#include "startupserver.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

using startuptest::StartUpServer;

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QStringList openConnections() {
    QStringList names;
    for (db::Database* d : db::Session::Default().databases())
        if (d->Connected())
            names << d->DatabaseName();
    names.sort();
    return names;
}

QStringList registeredConnections() {
    QStringList names;
    for (db::Database* d : db::Session::Default().databases())
        names << d->DatabaseName();
    return names;
}

QWidget* visibleTopLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::instance();
        m_previous = ui::setMessagePresenter(&presenter);
    }
    void TearDown() override {
        if (QWidget* w = visibleTopLevel(QStringLiteral("frmmain")))
            w->close();
        flushDeletes();
        ui::Application::instance().destroyAll();
        frmData = nullptr;
        fm_YYCWData = nullptr;
        ui::setMessagePresenter(m_previous);
        DllParams = TDllParams{};
        OnScreenFlag = 0;
    }
    QStringList errors() const {
        QStringList out;
        for (const ui::Shown& s : presenter.shown)
            out << s.text;
        return out;
    }
    ui::RecordingPresenter presenter;
    StartUpServer fixture;

private:
    ui::MessagePresenter* m_previous = nullptr;
};

// What the start-up looked like at one moment.
struct Moment {
    QString what;
    bool splashVisible;
    QStringList connections;
};

class StartUpWatcher : public QObject {
public:
    std::vector<Moment> moments;
    bool splashPaintedBeforeModules = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &ui::Application::instance() && event->type() == QEvent::ChildAdded)
            note(QStringLiteral("module created"));
        if (watched->objectName() == QLatin1String("Frmsplish") && event->type() == QEvent::Paint &&
            moments.empty())
            splashPaintedBeforeModules = true;
        if (watched->objectName() == QLatin1String("frmmain") && event->type() == QEvent::ChildAdded &&
            !m_windowNoted) {
            m_windowNoted = true;
            note(QStringLiteral("main window built"));
        }
        return false;
    }

private:
    void note(const QString& what) {
        moments.push_back({what, Frmsplish != nullptr && visibleTopLevel(QStringLiteral("Frmsplish")) != nullptr,
                           openConnections()});
    }
    bool m_windowNoted = false;
};

TEST_F(StartUp, SplashStaysUpWhileTheConnectionsOpenAndGoesOnceTheWindowExists) {
    StartUpWatcher watcher;
    qApp->installEventFilter(&watcher);
    const TDllParams record = fixture.record();
    plugin::StartUp(&record);
    qApp->removeEventFilter(&watcher);

    EXPECT_TRUE(watcher.splashPaintedBeforeModules);
    ASSERT_EQ(watcher.moments.size(), 3u);
    const QString yycw = QStringLiteral("DBYW_") + fm_YYCWData->GetModuleBaseName();
    // TfrmData is created before any connection opens; Tfm_YYCWData after its three opened;
    // the main window after all four; the splash on screen at every one of these moments.
    EXPECT_EQ(watcher.moments[0].connections, QStringList());
    QStringList three = {QStringLiteral("DB_Calvesteri"), QStringLiteral("DBEXP_Miskernel"),
                         QStringLiteral("zzPubdict_ex")};
    three.sort();
    EXPECT_EQ(watcher.moments[1].connections, three);
    QStringList four = three + QStringList{yycw};
    four.sort();
    EXPECT_EQ(watcher.moments[2].what, QStringLiteral("main window built"));
    EXPECT_EQ(watcher.moments[2].connections, four);
    for (const Moment& m : watcher.moments)
        EXPECT_TRUE(m.splashVisible) << m.what.toStdString();

    EXPECT_EQ(visibleTopLevel(QStringLiteral("Frmsplish")), nullptr);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_NE(w->objectName(), QStringLiteral("Frmsplish"));
    ASSERT_NE(frmmain, nullptr);
    EXPECT_TRUE(frmmain->isVisible());
    EXPECT_TRUE(frmmain->isMaximized());
    EXPECT_EQ(plugin::OnScreen(), 1);
    EXPECT_EQ(frmmain->windowTitle(), QStringLiteral("测试公司--出口盈亏表"));
    EXPECT_EQ(errors(), QStringList());
}

TEST_F(StartUp, RecordIsCopiedOnceAndAdjusted) {
    TDllParams record = fixture.record();
    record.ModuleRights.assign(QStringLiteral(" ****CW "));
    plugin::StartUp(&record);
    record.UserId.assign(QStringLiteral("9999"));  // the host's record is not kept
    EXPECT_EQ(DllParams.UserId.bytes(), "0012");
    EXPECT_EQ(DllParams.Rights.bytes(), " ****CW ");
    EXPECT_EQ(DllParams.DbUserName.bytes(), "sa");
    EXPECT_EQ(DllParams.DbPassword.bytes(), "");
}

TEST_F(StartUp, ErrorInTheWindowsCreationIsShownAndTheWindowStillOpens) {
    fixture.server.addProcedure(startuptest::kBusiness, "StatCalvesteri", "select * from no_such_table");
    const TDllParams record = fixture.record();
    EXPECT_NO_THROW(plugin::StartUp(&record));
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].kind, ui::BoxKind::Error);
    EXPECT_TRUE(presenter.shown[0].text.contains(QStringLiteral("no_such_table")));
    EXPECT_EQ(presenter.shown[0].caption, QStringLiteral("测试公司--出口盈亏表"));
    ASSERT_NE(visibleTopLevel(QStringLiteral("frmmain")), nullptr);
    EXPECT_EQ(plugin::OnScreen(), 1);
    EXPECT_EQ(visibleTopLevel(QStringLiteral("Frmsplish")), nullptr);
}

// Before: a failed connection left the splash on screen and the modules of the failed call
// holding their connection names, so every later dllmain failed with a duplicate name.
TEST_F(StartUp, FailedConnectionUndoesTheStartUpAndALaterOneSucceeds) {
    struct Failure {
        const char* name;
        std::function<void(TDllParams&)> spoil;
        QString errorPart;
    };
    std::unique_ptr<db::Database> squatter;
    const Failure failures[] = {
        {"business database missing (step 4)",
         [](TDllParams& p) { p.BusinessDbName.assign(QStringLiteral("Nowhere")); }, QStringLiteral("Nowhere")},
        {"dictionary database missing (step 4, after two opened)",
         [](TDllParams& p) { p.PubdictDbName.assign(QStringLiteral("NoDict")); }, QStringLiteral("NoDict")},
        {"financial connection name taken (step 5)",
         [&squatter](TDllParams&) {
             Tfm_YYCWData probe(nullptr);
             squatter = std::make_unique<db::Database>(QStringLiteral("DBYW_") + probe.GetModuleBaseName());
         },
         QStringLiteral("Duplicate database name 'DBYW_")},
    };
    for (const Failure& f : failures) {
        TDllParams record = fixture.record();
        f.spoil(record);
        try {
            plugin::StartUp(&record);
            ADD_FAILURE() << f.name << ": start-up succeeded";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.message().contains(f.errorPart)) << f.name << ": " << e.what();
        }
        squatter.reset();
        EXPECT_EQ(visibleTopLevel(QStringLiteral("Frmsplish")), nullptr) << f.name;
        EXPECT_EQ(registeredConnections(), QStringList()) << f.name;
        EXPECT_TRUE(ui::Application::instance().children().isEmpty()) << f.name;
        EXPECT_EQ(frmData, nullptr) << f.name;
        EXPECT_EQ(fm_YYCWData, nullptr) << f.name;
        EXPECT_EQ(plugin::OnScreen(), 0) << f.name;
        EXPECT_EQ(visibleTopLevel(QStringLiteral("frmmain")), nullptr) << f.name;
    }

    const TDllParams good = fixture.record();
    ASSERT_NO_THROW(plugin::StartUp(&good));
    EXPECT_EQ(plugin::OnScreen(), 1);
    EXPECT_EQ(openConnections().size(), 4);
    EXPECT_EQ(errors(), QStringList());
}

// Before: a second dllmain while the window was up overwrote the open window's DllParams
// and left a second splash on screen.
TEST_F(StartUp, SecondStartUpWhileOpenFailsWithoutDisturbingTheOpenWindow) {
    const TDllParams first = fixture.record();
    plugin::StartUp(&first);
    QPointer<QWidget> window = frmmain;
    TfrmData* const data = frmData;

    TDllParams second = fixture.record();
    second.UserId.assign(QStringLiteral("0099"));
    second.ViewKind.assign(QStringLiteral("D"));
    try {
        plugin::StartUp(&second);
        ADD_FAILURE() << "second start-up succeeded";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Duplicate database name 'DB_Calvesteri'"));
    }
    EXPECT_EQ(DllParams.UserId.bytes(), "0012");
    EXPECT_EQ(DllParams.ViewKind.bytes(), "C");
    EXPECT_EQ(visibleTopLevel(QStringLiteral("Frmsplish")), nullptr);
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(frmData, data);
    EXPECT_EQ(openConnections().size(), 4);
    EXPECT_EQ(plugin::OnScreen(), 1);
}

TEST_F(StartUp, ClosingTheWindowEndsItsUseAndAllowsANewStartUp) {
    const TDllParams record = fixture.record();
    plugin::StartUp(&record);
    QPointer<QWidget> first = frmmain;
    first->close();
    flushDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(plugin::OnScreen(), 0);
    EXPECT_EQ(registeredConnections(), QStringList());
    EXPECT_THROW(plugin::BringToFront(), EInvalidOperation);

    plugin::StartUp(&record);
    EXPECT_EQ(plugin::OnScreen(), 1);
    EXPECT_EQ(openConnections().size(), 4);
    EXPECT_NO_THROW(plugin::BringToFront());
}

}  // namespace
