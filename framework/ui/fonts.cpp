// The product's font 宋体, mapped once to whichever CJK font is installed, and the
// preferred input method recorded on text controls.
#include "framework/ui/fonts.h"

#include <QStringList>
#include <QVariant>
#include <QWidget>

namespace ui {
namespace {

const QString kSongti = QStringLiteral("宋体");

void installSubstitutions() {
    static const bool done = [] {
        const QStringList fallbacks = {
            QStringLiteral("SimSun"),          QStringLiteral("AR PL UMing CN"),
            QStringLiteral("AR PL UMing"),     QStringLiteral("AR PL SungtiL GB"),
            QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Serif CJK SC"),
            QStringLiteral("Noto Sans CJK SC"),    QStringLiteral("Source Han Serif SC")};
        QFont::insertSubstitutions(kSongti, fallbacks);
        return true;
    }();
    (void)done;
}

}  // namespace

QFont songti(double pointSize) {
    installSubstitutions();
    QFont f(kSongti);
    f.setPointSizeF(pointSize);
    return f;
}

void setPreferredInputMethod(QWidget* w) {
    if (w != nullptr)
        w->setProperty(kInputMethodProperty, QStringLiteral("中文 (简体) - 微软拼音"));
}

}  // namespace ui
