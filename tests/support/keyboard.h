// Keys delivered the way a keyboard delivers them: the target's window is made active, the
// target given the focus, and every key sent to the focused window, which hands it to
// whatever widget has the focus (for an editable combo box that is the box, not its line
// edit). Tests of keyboard rules use these instead of sending keys to a chosen widget.
#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <initializer_list>

namespace testsupport {

// Shows and activates target's window and focuses target; returns the widget that then
// has the focus (a widget may pass it on to its focus proxy).
inline QWidget* focusOn(QWidget* target) {
    QWidget* window = target->window();
    window->show();
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window);
    target->setFocus(Qt::OtherFocusReason);
    return QApplication::focusWidget();
}

inline void pressKeys(QWidget* target, std::initializer_list<Qt::Key> keys,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    focusOn(target);
    for (Qt::Key k : keys) QTest::keyClick(static_cast<QWidget*>(nullptr), k, modifiers);
}

template <typename Keys>
void pressKeys(QWidget* target, const Keys& keys) {
    focusOn(target);
    for (Qt::Key k : keys) QTest::keyClick(static_cast<QWidget*>(nullptr), k);
}

inline void typeText(QWidget* target, const QString& text) {
    focusOn(target);
    QTest::keyClicks(static_cast<QWidget*>(nullptr), text);
}

}  // namespace testsupport
