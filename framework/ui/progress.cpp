#include "framework/ui/progress.h"

#include "framework/ui/application.h"

#include <QProgressDialog>

namespace ui {

namespace {

int showAfterMs = 400;

}  // namespace

void JobProgress::setShowAfterMs(int ms) {
    showAfterMs = ms;
}

JobProgress::JobProgress(QWidget* parent, const QString& label, int total)
    : m_dialog(std::make_unique<QProgressDialog>(label, QStringLiteral("取消"), 0,
                                                 std::max(total, 1), parent)),
      m_total(std::max(total, 1)) {
    m_dialog->setObjectName(QStringLiteral("progressBox"));
    m_dialog->setWindowTitle(Application::instance().Title());
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(showAfterMs);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    m_dialog->setValue(0);
}

JobProgress::~JobProgress() = default;

bool JobProgress::step(int done) {
    // setValue lets a window-modal box take the user's click on 取消.
    m_dialog->setValue(std::min(done, m_total));
    return !m_dialog->wasCanceled();
}

std::function<bool(int)> JobProgress::callback() {
    return [this](int done) { return step(done); };
}

}  // namespace ui
