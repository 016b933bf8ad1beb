// The progress box of a long job (an export, a PDF, a saved report, a print): window-modal
// over its parent, shown only once the job has run for a while, with 取消. The job asks
// step() as it goes and stops when it answers false; the box goes with the object.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace ui {

class JobProgress {
public:
    JobProgress(QWidget* parent, const QString& label, int total);
    ~JobProgress();
    JobProgress(const JobProgress&) = delete;
    JobProgress& operator=(const JobProgress&) = delete;

    // `done` of the total so far; false once the user has cancelled.
    bool step(int done);
    // step() as a callback for the writers.
    std::function<bool(int)> callback();

    // How long a job runs before its box shows (400 ms; tests make it 0).
    static void setShowAfterMs(int ms);

private:
    std::unique_ptr<QProgressDialog> m_dialog;
    int m_total;
};

}  // namespace ui
