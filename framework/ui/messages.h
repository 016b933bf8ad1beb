// The one presenter of the library's message boxes and the error box, replaceable in tests
// so that a test records what the user would have read instead of blocking on a modal box.
#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace ui {

enum class BoxKind { Message, Error };

struct Shown {
    BoxKind kind;
    QString caption;
    QString text;
};

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // caption is the application title; Message: no icon, one OK; Error: error icon, one OK.
    virtual void show(BoxKind kind, const QString& caption, const QString& text) = 0;
};

// The library's own message: fixed text, application title as caption, no icon, one OK.
void ShowMessage(const QString& text);
// The standard error box.
void ShowError(const QString& text);

// Replaces the presenter (nullptr restores the real modal boxes); returns the previous one.
MessagePresenter* setMessagePresenter(MessagePresenter* presenter);

// A presenter that records instead of showing (tests).
class RecordingPresenter : public MessagePresenter {
public:
    void show(BoxKind kind, const QString& caption, const QString& text) override {
        shown.push_back({kind, caption, text});
        if (onShow)
            onShow(shown.back());
    }
    std::vector<Shown> shown;
    std::function<void(const Shown&)> onShow;
};

}  // namespace ui
