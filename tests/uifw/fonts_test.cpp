// The product font resolves to an installed CJK font that holds Chinese characters, at the
// two sizes the windows use; text controls carry the preferred input method.
#include "framework/ui/fonts.h"
#include "framework/ui/application.h"

#include <gtest/gtest.h>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>

namespace {

TEST(Fonts, SongtiAtTheTwoWindowSizesDrawsChinese) {
    ui::Application::instance();
    const struct {
        QFont font;
        double points;
    } cases[] = {{ui::font9(), 9.0}, {ui::font105(), 10.5}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.font.family(), QStringLiteral("宋体"));
        EXPECT_DOUBLE_EQ(c.font.pointSizeF(), c.points);
        const QFontMetrics metrics(c.font);
        for (const QChar ch : QStringLiteral("出口盈亏表查看从到"))
            EXPECT_TRUE(metrics.inFont(ch)) << "no glyph for " << QString(ch).toStdString();
    }
}

TEST(Fonts, SubstitutesAnInstalledCjkFamily) {
    ui::Application::instance();
    const QFont f = ui::font9();
    // Qt keeps substitute names in lower case.
    const QStringList subs = QFont::substitutes(QStringLiteral("宋体"));
    EXPECT_TRUE(subs.contains(QStringLiteral("AR PL UMing CN"), Qt::CaseInsensitive));
    EXPECT_TRUE(subs.contains(QStringLiteral("WenQuanYi Micro Hei"), Qt::CaseInsensitive));
    EXPECT_TRUE(subs.contains(QStringLiteral("Noto Sans CJK SC"), Qt::CaseInsensitive));
    const QString resolved = QFontInfo(f).family();
    EXPECT_TRUE(subs.contains(resolved, Qt::CaseInsensitive) || resolved == QStringLiteral("宋体"))
        << resolved.toStdString();
}

TEST(Fonts, TextControlRecordsThePreferredInputMethod) {
    ui::Application::instance();
    QLineEdit edit;
    EXPECT_FALSE(edit.property(ui::kInputMethodProperty).isValid());
    ui::setPreferredInputMethod(&edit);
    EXPECT_EQ(edit.property(ui::kInputMethodProperty).toString(),
              QStringLiteral("中文 (简体) - 微软拼音"));
    ui::setPreferredInputMethod(nullptr);  // nothing to record on
}

}  // namespace
