// Fonts of the product: 宋体 with a substitution list to installed CJK fonts, 9 pt for most
// text and 10.5 pt in input boxes; and the preferred input method recorded on controls.
#pragma once

#include <QFont>

class QWidget;

namespace ui {

QFont songti(double pointSize);  // 宋体 at the given size (9 or 10.5), GB2312 look
inline QFont font9() { return songti(9); }
inline QFont font105() { return songti(10.5); }

// The input method a text control asks for, "中文 (简体) - 微软拼音", kept as the dynamic
// property "preferredInputMethod" (there is nothing to switch on Linux).
void setPreferredInputMethod(QWidget* w);
inline constexpr const char* kInputMethodProperty = "preferredInputMethod";

}  // namespace ui
