// mis-host's window over the built plug-in: what a user sees when the statement cannot
// start.
#include "host/hostwindow.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Before, the start-up error opened over the host's small window in the screen's top-left
// corner, and in English.
TEST(HostWindow, AStartUpErrorOpensCentredOnTheScreenInChinese) {
    int argc = 1;
    char name[] = "host_window_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString params = dir.filePath(QStringLiteral("host.ini"));
    {
        QFile f(params);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "[params]\nUserId=0012\nServerName=no/such/server\nBusinessDbName=Calvesteri\n"
            "MiskernelDbName=Miskernel\nPubdictDbName=Pubdict\nViewKind=C\n");
    }
    host::PluginLibrary library(QStringLiteral(EXPORTPNL_PLUGIN_PATH));
    host::HostWindow window(library, params);
    window.move(0, 0);
    window.show();

    QString text;
    QRect box;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<QMessageBox*>(w);
            if (shown && shown->isVisible()) {
                text = shown->text();
                box = shown->frameGeometry();
                shown->done(QMessageBox::Ok);
            }
        }
    });
    poll.start(10);
    window.openStatement();
    poll.stop();

    ASSERT_FALSE(box.isNull()) << "no start-up error was shown";
    const QPoint centre = window.screen()->availableGeometry().center();
    EXPECT_LE((box.center() - centre).manhattanLength(), 4)
        << box.center().x() << "," << box.center().y();
    EXPECT_TRUE(text.startsWith(QStringLiteral("无法连接服务器“"))) << text.toStdString();
}

}  // namespace
