// The print run of the statement: fills the report form's captions from the last
// statistics run, picks the profit field, counts the pages and shows the preview, returning
// when the user closes it. One print run at a time.
#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

namespace db {
class DataSet;
}
namespace report {
class Preview;
}
class TfrmExportPrn;

// The report-form slot: the form of the print run under way, nullptr otherwise.
extern TfrmExportPrn* frmExportPrn;

// result: the main window's statistics result; the texts and queryOption are those of the
// run that opened it; year/month/day: the server's date. Errors propagate to the caller's
// event boundary after the controls are enabled again and the form is released. While a
// run's preview is open, a further call brings that preview to the front and returns.
void RunPrint(db::DataSet* result, const QString& viewObjectText, const QString& periodText,
              int queryOption, quint16 year, quint16 month, quint16 day);

// True while a print run (and so its preview) is under way.
bool PrintRunActive();

// Called with the preview window once it is up (headless hosts export a PDF and close it).
void setPreviewHook(std::function<void(report::Preview&)> hook);
