// The library's application object: it supplies a QApplication when the process has none,
// and it owns the library's windows and data modules until they go or it destroys them.
#include "framework/ui/application.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(Application, CreatesAWidgetApplicationWhenTheProcessHasNone) {
    ui::Application& app = ui::Application::instance();
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    EXPECT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
    EXPECT_TRUE(app.ownsApplication());
    EXPECT_EQ(&ui::Application::instance(), &app);
}

TEST(Application, DestroyAllFreesAdoptedWindowsAndOwnedModules) {
    ui::Application& app = ui::Application::instance();
    QPointer<QWidget> window = new QWidget;
    QPointer<QWidget> alreadyGone = new QWidget;
    QPointer<QObject> module = new QObject(&app);
    app.adoptWindow(window);
    app.adoptWindow(window);  // adopting twice must not free twice
    app.adoptWindow(alreadyGone);
    delete alreadyGone.data();  // a window that destroyed itself on close

    app.destroyAll();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(module.isNull());
    EXPECT_TRUE(app.children().isEmpty());
}

TEST(Application, TitleIsKeptForMessageCaptions) {
    ui::Application& app = ui::Application::instance();
    app.SetTitle(QStringLiteral("华东公司--出口盈亏表"));
    EXPECT_EQ(app.Title(), QStringLiteral("华东公司--出口盈亏表"));
}

}  // namespace
