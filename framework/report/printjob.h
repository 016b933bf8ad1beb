// Printing prepared pages with the choices the print dialog left in a QPrinter: to a file,
// written by our PDF writer with the pages chosen; to a CUPS queue, our PDF handed to libcups
// with the choices as job options; through Qt's print engine only in a build without CUPS.
// A progress box with 取消 shows while pages are written and sent.
#pragma once

#include <QSizeF>
#include <QString>
#include <vector>

class QPrinter;
class QWidget;

namespace report {

class PreparedReport;
struct CupsJobOptions;

struct PrintOutcome {
    QString status;  // for the status bar: where the pages went
    QString notice;  // what the user must be told at once (a paused queue); empty: nothing
    int jobId = 0;   // the print system's job, 0 when none was made
};

// The pages (0-based, in order) that the printer's page range chooses of `pageCount`.
std::vector<int> chosenPages(const QPrinter& printer, int pageCount);

// Prints `pages` as the printer is set up. The progress box is a child of `parent`.
// EInvalidOperation with a text for the user when printing fails; EAbort when the user
// cancelled, and then nothing was printed and no job is left.
PrintOutcome printPages(const PreparedReport& pages, QPrinter& printer, const QString& jobName,
                        QWidget* parent);

// True where prints to a printer go to CUPS through our writer (the build has libcups).
bool printsThroughCups();

#ifdef EXPORTPNL_HAVE_CUPS
// The CUPS job template for the printer's choices over pages of `paperMm` (as printed).
CupsJobOptions jobOptionsFor(const QPrinter& printer, QSizeF paperMm, const QString& jobName);
#endif

}  // namespace report
