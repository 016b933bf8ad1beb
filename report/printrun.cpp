// The print run: captions, profit binding, a first layout for the page count, a second
// with it, then the preview. Controls bound to the result stay disabled while the report
// walks it, and the form is released on every way out.
#include "report/printrun.h"

#include "framework/db/dataset.h"
#include "framework/report/preview.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"
#include "framework/ui/application.h"
#include "report/tfrmexportprn.h"

#include <QPointer>

TfrmExportPrn* frmExportPrn = nullptr;

namespace {

std::function<void(report::Preview&)> g_previewHook;
QPointer<report::Preview> g_openPreview;

// Holds the run's form in the slot; releases it however the run ends.
class FormSlot {
public:
    explicit FormSlot(db::DataSet* result)
        : m_form(new TfrmExportPrn(result, &ui::Application::instance())) {
        frmExportPrn = m_form.data();
    }
    ~FormSlot() {
        frmExportPrn = nullptr;
        g_openPreview = nullptr;
        delete m_form.data();  // may already be gone if the application was torn down
    }
    FormSlot(const FormSlot&) = delete;
    FormSlot& operator=(const FormSlot&) = delete;
    TfrmExportPrn* operator->() const { return m_form.data(); }

private:
    QPointer<TfrmExportPrn> m_form;
};

// Keeps the result's bound controls quiet while the report walks its rows.
class ControlsDisabled {
public:
    explicit ControlsDisabled(db::DataSet* ds) : m_ds(ds) { m_ds->DisableControls(); }
    ~ControlsDisabled() {
        if (m_ds)  // gone when the application was torn down under the preview
            m_ds->EnableControls();
    }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

private:
    QPointer<db::DataSet> m_ds;
};

}  // namespace

bool PrintRunActive() {
    return frmExportPrn != nullptr;
}

void setPreviewHook(std::function<void(report::Preview&)> hook) {
    g_previewHook = std::move(hook);
}

void RunPrint(db::DataSet* result, const QString& viewObjectText, const QString& periodText,
              int queryOption, quint16 year, quint16 month, quint16 day) {
    if (frmExportPrn) {
        // The one form slot is taken: the user gets the open preview instead of a second.
        if (g_openPreview) {
            g_openPreview->raise();
            g_openPreview->activateWindow();
        }
        return;
    }
    if (!result)
        throw EInvalidOperation(QStringLiteral("The report has no dataset"));

    FormSlot form(result);
    form->qrlDept->SetCaption(QStringLiteral("打印对象:") + viewObjectText);
    form->qrlDate->SetCaption(QStringLiteral("打印日期:%1/%2/%3").arg(year).arg(month).arg(day));
    // Fails with the dataset layer's error when the result is closed.
    const int rows = result->RecordCount();
    form->qrlCount->SetCaption(QStringLiteral("共有数据:%1笔").arg(rows));
    form->qrlMonth->SetCaption(QStringLiteral("【") + periodText + QStringLiteral("】"));

    // The option belongs to the run that opened this result, so field and total always
    // match the rows being printed.
    const bool all = queryOption == 0;
    form->qrdbt_lirun->SetDataField(all ? QStringLiteral("lirun") : QStringLiteral("lirun_true"));
    form->qrexpr_lirun->SetExpression(all ? QStringLiteral("sum(lirun)")
                                          : QStringLiteral("sum(lirun_true)"));

    {
        ControlsDisabled quiet(result);
        form->QuickRep1->Prepare();
        form->qrlPagecount->SetCaption(QString::number(form->QuickRep1->PageCount()));
        // Laid out again with the page count in every footer: only the footers change.
        form->QuickRep1->Relayout();
    }
    // The preview holds its own pages, so the controls follow the result again while it
    // is open: a statistics run meanwhile shows its rows in the grid and leaves the pages
    // (and what printing from them gives) as they are.
    // Saved reports and PDF files are named like the statement's exports; the print job after
    // the statement and its period.
    const QString fileBaseName =
        text::safeFileName(periodText.isEmpty() ? QStringLiteral("出口盈亏表")
                                                : QStringLiteral("出口盈亏表_") + periodText);
    form->QuickRep1->ShowPreview([&periodText, fileBaseName](report::Preview& preview) {
        preview.setFileBaseName(fileBaseName);
        g_openPreview = &preview;
        preview.setDocumentName(QStringLiteral("出口盈亏表 ") + periodText);
        if (g_previewHook)
            g_previewHook(preview);
    });
}
