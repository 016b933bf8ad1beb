// The library's application object: it supplies a QApplication when the process has none,
// and it owns the library's windows and data modules until they go or it destroys them.
#include "framework/ui/application.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

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

// Before, message boxes and the file and print dialogs answered "OK", "Cancel", "Save" in
// a Chinese program.
TEST(Application, StandardButtonsSpeakChinese) {
    ui::Application& app = ui::Application::instance();
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                       QStringLiteral("/qtbase_zh_CN.qm")))
        GTEST_SKIP() << "Qt's translations are not installed (Debian qt6-translations-l10n)";
    EXPECT_TRUE(app.installedQtTranslation());
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
}

TEST(Application, TitleIsKeptForMessageCaptions) {
    ui::Application& app = ui::Application::instance();
    app.SetTitle(QStringLiteral("华东公司--出口盈亏表"));
    EXPECT_EQ(app.Title(), QStringLiteral("华东公司--出口盈亏表"));
}

}  // namespace
