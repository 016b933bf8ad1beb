// The splash window and its logo. The logo is painted in code (a gradient panel with the
// product name) and shown unscaled from its top-left corner in a slightly smaller picture
// control, so its right and bottom edges are cut off as the layout intends.
#include "plugin/frmsplish.h"

#include "framework/ui/fonts.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QScreen>

TFrmsplish* Frmsplish = nullptr;

QImage splashLogo() {
    QImage logo(241, 105, QImage::Format_RGB888);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 241, 105);
    sky.setColorAt(0.0, QColor(16, 58, 112));
    sky.setColorAt(0.55, QColor(38, 110, 168));
    sky.setColorAt(1.0, QColor(196, 222, 240));
    p.fillRect(logo.rect(), sky);

    // A rising line of bars: trade figures growing over the year.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        const int h = 12 + i * 7;
        p.setBrush(QColor(255, 255, 255, 40 + i * 18));
        p.drawRect(150 + i * 14, 98 - h, 10, h);
    }
    p.setPen(QPen(QColor(250, 200, 60), 2));
    p.drawLine(148, 86, 236, 30);

    QFont title = ui::songti(20);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(QRect(13, 17, 200, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("出口盈亏表"));
    p.setPen(Qt::white);
    p.drawText(QRect(12, 16, 200, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("出口盈亏表"));

    QFont sub = ui::songti(8);
    p.setFont(sub);
    p.setPen(QColor(230, 240, 250));
    p.drawText(QRect(14, 58, 200, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Export Profit & Loss"));
    p.end();
    return logo;
}

TFrmsplish::TFrmsplish(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Frmsplish"));
    setFixedSize(254, 140);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    QFont f = ui::songti(9);
    f.setPixelSize(12);
    setFont(f);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 237, 103);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setScaledContents(false);
    Image1->setPixmap(QPixmap::fromImage(splashLogo()));

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(0, 0, 254, 3);
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Raised);
    Bevel1->setLineWidth(1);

    Bevel2 = new QFrame(this);
    Bevel2->setObjectName(QStringLiteral("Bevel2"));
    Bevel2->setGeometry(0, 118, 249, 3);
    Bevel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel2->setLineWidth(1);

    Label1 = new QLabel(QStringLiteral("程序执行中，请稍侯......"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(14, 126);
    Label1->adjustSize();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}
