// The splash window's layout and its logo: sizes and places as the window is drawn, the
// logo cut off at the picture control's edges rather than scaled into it.
#include "framework/ui/application.h"
#include "plugin/frmsplish.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

TEST(Splash, LogoIsAnOwn24BitPicture) {
    ui::Application::instance();
    const QImage logo = splashLogo();
    EXPECT_EQ(logo.size(), QSize(241, 105));
    EXPECT_EQ(logo.depth(), 24);
    EXPECT_NE(logo.pixel(0, 0), logo.pixel(240, 104));  // a gradient, not a flat fill
}

TEST(Splash, ComponentsSitWhereTheLayoutPutsThem) {
    ui::Application::instance();
    TFrmsplish splash;
    EXPECT_EQ(splash.objectName(), QStringLiteral("Frmsplish"));
    EXPECT_EQ(splash.size(), QSize(254, 140));
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.palette().color(QPalette::Window), splash.palette().color(QPalette::Button));

    const struct {
        const char* name;
        QRect geometry;
    } placed[] = {
        {"Image1", QRect(8, 8, 237, 103)},
        {"Bevel1", QRect(0, 0, 254, 3)},
        {"Bevel2", QRect(0, 118, 249, 3)},
    };
    for (const auto& p : placed) {
        const QWidget* w = splash.findChild<QWidget*>(QLatin1String(p.name));
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->geometry(), p.geometry) << p.name;
    }
    EXPECT_EQ(splash.Bevel2->frameShadow(), QFrame::Sunken);

    const QLabel* label = splash.findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), QPoint(14, 126));
    EXPECT_EQ(label->text(), QStringLiteral("程序执行中，请稍侯......"));
    EXPECT_LE(label->geometry().bottom(), 139);
    EXPECT_EQ(label->font().pixelSize(), 12);

    // Drawn unscaled from the top-left: the picture keeps its 241 x 105 size and is clipped.
    EXPECT_FALSE(splash.Image1->hasScaledContents());
    EXPECT_EQ(splash.Image1->pixmap().size(), QSize(241, 105));
    EXPECT_TRUE(splash.Image1->alignment().testFlag(Qt::AlignLeft));
    EXPECT_TRUE(splash.Image1->alignment().testFlag(Qt::AlignTop));
}

}  // namespace
