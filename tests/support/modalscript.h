// A user's answers to the modal dialogs a command opens, given before the command runs: each
// step waits until a dialog of its class is the active modal window (another than the one the
// step before acted on), then acts on it with keys to the focused widget. The dialogs run
// their own event loops; the script's timer runs inside them. A step that never found its
// dialog leaves the script unfinished, and a dialog left open is closed at the time limit so
// that a test fails instead of hanging; a script should live only while its command runs.
#pragma once

#include "keyboard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

namespace testsupport {

class ModalScript {
public:
    using Act = std::function<void(QWidget* dialog)>;

    ModalScript() {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
        m_clock.start();
    }
    // Acts on the next active modal dialog that inherits `className`.
    ModalScript& then(const char* className, Act act) {
        m_steps.push_back({className, std::move(act)});
        return *this;
    }
    bool finished() const { return m_steps.empty(); }
    // The class of the step still waiting ("" when finished), for a failure's message.
    QString waitingFor() const {
        return m_steps.empty() ? QString() : QString::fromLatin1(m_steps.front().className);
    }

private:
    struct Step {
        const char* className;
        Act act;
    };
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        // A dialog waiting for a step that never comes, or one that did not take the last
        // step's keys, or that the last step opened unforeseen, is closed at the time limit.
        if (modal && m_clock.elapsed() > 10000) {
            modal->close();
            return;
        }
        if (m_steps.empty())
            return;
        if (!modal || !modal->isVisible() || modal == m_last ||
            !modal->inherits(m_steps.front().className))
            return;
        // Run from the event queue, not from this timer: a step's keys may open the next
        // dialog, whose event loop must see this timer fire again, and a timer never fires
        // inside its own handler.
        Act act = std::move(m_steps.front().act);
        m_steps.pop_front();
        m_last = modal;
        m_clock.restart();
        QMetaObject::invokeMethod(
            &m_timer,
            [act = std::move(act), dialog = QPointer<QWidget>(modal)] {
                if (dialog)
                    act(dialog);
            },
            Qt::QueuedConnection);
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    std::deque<Step> m_steps;
    QPointer<QWidget> m_last;
};

// A file dialog's completer may bring its list up late, over the next dialog, where it would
// take the keys meant for that dialog; a user's click there closes it.
inline void closePopups() {
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

// The file dialog's name box.
inline QLineEdit* fileNameBox(QWidget* dialog) {
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// Types `name` into the file dialog's name box, over what it proposed, and presses Enter.
inline void typeFileName(QWidget* dialog, const QString& name) {
    closePopups();
    focusOn(fileNameBox(dialog));
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(static_cast<QWidget*>(nullptr), name);
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return);
}

inline ModalScript::Act typing(const QString& name) {
    return [name](QWidget* dialog) { typeFileName(dialog, name); };
}

// A key pressed in the dialog, to whatever in it has the focus: Escape, a button's letter.
inline ModalScript::Act pressing(Qt::Key key) {
    return [key](QWidget* dialog) {
        closePopups();
        dialog->activateWindow();
        (void)QTest::qWaitForWindowActive(dialog);
        QTest::keyClick(static_cast<QWidget*>(nullptr), key);
    };
}

}  // namespace testsupport
