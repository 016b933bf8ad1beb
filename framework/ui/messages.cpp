// The library's message boxes and error box, shown through one replaceable presenter.
// The real presenter opens a modal box captioned with the application title.
#include "framework/ui/messages.h"

#include "framework/ui/application.h"

#include <QApplication>
#include <QMessageBox>

namespace ui {
namespace {

class ModalPresenter : public MessagePresenter {
public:
    void show(BoxKind kind, const QString& caption, const QString& text) override {
        QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                        caption, text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }
};

ModalPresenter g_modal;
MessagePresenter* g_presenter = nullptr;

MessagePresenter& presenter() { return g_presenter != nullptr ? *g_presenter : g_modal; }

}  // namespace

void ShowMessage(const QString& text) {
    presenter().show(BoxKind::Message, Application::instance().Title(), text);
}

void ShowError(const QString& text) {
    presenter().show(BoxKind::Error, Application::instance().Title(), text);
}

MessagePresenter* setMessagePresenter(MessagePresenter* p) {
    MessagePresenter* previous = g_presenter;
    g_presenter = p;
    return previous;
}

}  // namespace ui
