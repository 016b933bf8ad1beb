// Where a print goes is decided by the printer the dialog chose: 打印到文件 is our PDF of the
// chosen pages; a queue is our whole PDF handed to CUPS, which picks the pages, makes the
// copies and turns the landscape pages onto the paper as the job options ask. Qt's own
// engine paints the pages only in a build without libcups.
#include "framework/report/printjob.h"

#include "framework/report/pdfwriter.h"
#include "framework/report/prepared.h"
#include "framework/text/errors.h"
#include "framework/ui/application.h"

#include <QBuffer>
#include <QPageRanges>
#include <QPainter>
#include <QPrintEngine>
#include <QPrinter>
#include <QProgressDialog>
#include <algorithm>

#ifdef EXPORTPNL_HAVE_CUPS
#include "framework/report/cupsqueue.h"

#include <cups/cups.h>
#endif

namespace report {

namespace {

// The progress box as the exports show it: after 400 ms, with 取消. Steps in thousandths.
class Progress {
public:
    Progress(const QString& text, QWidget* parent)
        : m_box(text, QStringLiteral("取消"), 0, 1000, parent) {
        m_box.setWindowTitle(ui::Application::instance().Title());
        m_box.setWindowModality(Qt::WindowModal);
        m_box.setMinimumDuration(400);
        m_box.setAutoClose(false);
        m_box.setAutoReset(false);
        m_box.setValue(0);
    }
    // The part from `from` to `to` thousandths, `done` of `total` through it.
    bool step(int from, int to, qint64 done, qint64 total) {
        const qint64 at = from + (total > 0 ? (to - from) * done / total : to - from);
        if (at != m_box.value())
            m_box.setValue(static_cast<int>(at));
        return !m_box.wasCanceled();
    }
    void setText(const QString& text) { m_box.setLabelText(text); }

private:
    QProgressDialog m_box;
};

QPageLayout layoutFor(QSizeF paperMm) {
    const bool landscape = paperMm.width() > paperMm.height();
    const QSizeF portrait = landscape ? paperMm.transposed() : paperMm;
    return QPageLayout(QPageSize(portrait, QPageSize::Millimeter),
                       landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

PdfInfo infoFor(const QString& jobName) {
    return {jobName, QStringLiteral("exportpnl")};
}

PrintOutcome printToFile(const PreparedReport& rep, QPrinter& printer, const QString& jobName,
                         QWidget* parent) {
    const std::vector<int> pages = chosenPages(printer, rep.pageCount());
    if (pages.empty())
        throw EInvalidOperation(QStringLiteral("所选的页码范围内没有可打印的页。"));
    const QString path = printer.outputFileName();
    if (path.isEmpty())
        throw EInvalidOperation(QStringLiteral("没有选择打印机，也没有给出要打印到的文件。"));
    Progress progress(QStringLiteral("正在打印到文件…"), parent);
    PdfPages run{pages, [&](int done, int total) { return progress.step(0, 1000, done, total); }};
    writePdf(rep, path, infoFor(jobName), run);
    return {QStringLiteral("已打印到文件 %1（%2 页）。").arg(path).arg(pages.size()), {}, 0};
}

// Qt's engine: pages painted onto the printer, copies repeated where it makes none itself.
PrintOutcome paintWithQt(const PreparedReport& rep, QPrinter& printer, const QString& jobName,
                         QWidget* parent) {
    const std::vector<int> pages = chosenPages(printer, rep.pageCount());
    if (pages.empty())
        throw EInvalidOperation(QStringLiteral("所选的页码范围内没有可打印的页。"));
    printer.setFullPage(true);
    printer.setPageLayout(layoutFor(rep.paperSize()));
    printer.setDocName(jobName);
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    Progress progress(QStringLiteral("正在打印…"), parent);
    QPainter painter;
    if (!painter.begin(&printer))
        throw EInvalidOperation(
            QStringLiteral("无法在打印机“%1”上开始打印。").arg(printer.printerName()));
    const qint64 total = static_cast<qint64>(pages.size()) * copies;
    qint64 done = 0;
    for (int c = 0; c < copies; ++c) {
        for (int p : pages) {
            if (done > 0)
                printer.newPage();
            rep.paintPage(painter, p);
            if (!progress.step(0, 1000, ++done, total)) {
                printer.abort();
                throw EAbort();
            }
        }
    }
    painter.end();
    return {
        QStringLiteral("已送到打印机“%1”（%2 页）。").arg(printer.printerName()).arg(done), {}, 0};
}

#ifdef EXPORTPNL_HAVE_CUPS
PrintOutcome sendToCups(const PreparedReport& rep, const QPrinter& printer, const QString& jobName,
                        QWidget* parent) {
    const CupsJobOptions options = jobOptionsFor(printer, rep.paperSize(), jobName);
    const int chosen = static_cast<int>(chosenPages(printer, rep.pageCount()).size());
    if (chosen == 0)
        throw EInvalidOperation(QStringLiteral("所选的页码范围内没有可打印的页。"));
    CupsQueue queue(printer.printerName());
    // Asked before any page is written: a queue that is gone or refuses jobs is said at once.
    const CupsQueueState state = queue.state();
    if (!state.accepting)
        throw EInvalidOperation(CupsQueue::refusingText(queue.name(), state.message));

    Progress progress(QStringLiteral("正在准备打印…"), parent);
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        PdfPages run{{}, [&](int done, int total) { return progress.step(0, 700, done, total); }};
        writePdf(rep, buffer, infoFor(jobName), run);
    }
    progress.setText(QStringLiteral("正在送往打印机“%1”…").arg(queue.name()));
    const int job = queue.submit(pdf, options, [&](qint64 sent, qint64 total) {
        return progress.step(700, 1000, sent, total);
    });
    PrintOutcome out;
    out.jobId = job;
    out.status = QStringLiteral("打印作业 %1 已送到打印机“%2”（%3 页，%4 份）。")
                     .arg(job)
                     .arg(queue.name())
                     .arg(chosen)
                     .arg(options.copies);
    if (state.stopped) {
        out.notice =
            QStringLiteral("打印机“%1”已暂停，打印作业 %2 在队列中等待，打印机恢复后才会打印。")
                .arg(queue.name())
                .arg(job);
        if (!state.message.isEmpty())
            out.notice += QStringLiteral("（%1）").arg(state.message);
    }
    return out;
}
#endif

}  // namespace

std::vector<int> chosenPages(const QPrinter& printer, int pageCount) {
    std::vector<int> pages;
    const QPageRanges ranges = printer.pageRanges();
    const bool all = printer.printRange() != QPrinter::PageRange || ranges.isEmpty();
    for (int p = 1; p <= pageCount; ++p)
        if (all || ranges.contains(p))
            pages.push_back(p - 1);
    return pages;
}

bool printsThroughCups() {
#ifdef EXPORTPNL_HAVE_CUPS
    return true;
#else
    return false;
#endif
}

#ifdef EXPORTPNL_HAVE_CUPS
CupsJobOptions jobOptionsFor(const QPrinter& printer, QSizeF paperMm, const QString& jobName) {
    CupsJobOptions o;
    o.jobName = jobName;
    o.copies = std::max(1, printer.copyCount());
    o.collate = printer.collateCopies();
    if (printer.printRange() == QPrinter::PageRange && !printer.pageRanges().isEmpty())
        o.pageRanges = printer.pageRanges().toString();
    o.landscape = paperMm.width() > paperMm.height();
    const QSizeF portrait = o.landscape ? paperMm.transposed() : paperMm;
    // The paper of the layout by its PWG name (A4: iso_a4_210x297mm), in hundredths of a mm.
    if (pwg_media_t* media =
            pwgMediaForSize(qRound(portrait.width() * 100), qRound(portrait.height() * 100)))
        o.media = QString::fromLatin1(media->pwg);
    switch (printer.duplex()) {
        case QPrinter::DuplexNone:
            o.sides = QStringLiteral("one-sided");
            break;
        case QPrinter::DuplexLongSide:
        case QPrinter::DuplexAuto:
            o.sides = QStringLiteral("two-sided-long-edge");
            break;
        case QPrinter::DuplexShortSide:
            o.sides = QStringLiteral("two-sided-short-edge");
            break;
    }
    o.reverse = printer.pageOrder() == QPrinter::LastPageFirst;
    // The options Qt's dialog keeps for CUPS itself (page set, hold, banners, the queue's own
    // settings), in its print engine's property 0xfe00 as name, value, name, value. Paper and
    // orientation are the layout's, whatever the dialog's page set-up says.
    if (QPrintEngine* engine = printer.printEngine()) {
        const QStringList kept =
            engine->property(QPrintEngine::PrintEnginePropertyKey(0xfe00)).toStringList();
        static const QStringList layoutOwned = {
            QStringLiteral("media"), QStringLiteral("PageSize"), QStringLiteral("PageRegion"),
            QStringLiteral("orientation-requested"), QStringLiteral("landscape")};
        for (qsizetype i = 0; i + 1 < kept.size(); i += 2)
            if (!layoutOwned.contains(kept[i], Qt::CaseInsensitive))
                o.extra.emplace_back(kept[i].toUtf8(), kept[i + 1].toUtf8());
    }
    return o;
}
#endif

PrintOutcome printPages(const PreparedReport& pages, QPrinter& printer, const QString& jobName,
                        QWidget* parent) {
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return printToFile(pages, printer, jobName, parent);
#ifdef EXPORTPNL_HAVE_CUPS
    if (!printer.printerName().isEmpty())
        return sendToCups(pages, printer, jobName, parent);
#endif
    return paintWithQt(pages, printer, jobName, parent);
}

}  // namespace report
