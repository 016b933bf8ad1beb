// 打印 of the statement's 19,000 rows (656 pages) from the preview until the job is in a print
// queue, each iteration beside our PDF writer alone on the same pages, and the same pages
// through Qt's print engine into the same queue, as printing went before. The queue is a
// cupsd of the benchmark's own (tests/support); its jobs are held, so that no filter shares
// the machine with what is timed.
#include "cupsfixture.h"
#include "framework/report/pdfwriter.h"
#include "framework/report/preview.h"
#include "framework/ui/application.h"
#include "framework/ui/messages.h"
#include "report/tfrmexportprn.h"
#include "syntheticresult.h"
#include "ui/frmmain.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QPainter>
#include <QPrintEngine>
#include <QPrinter>

#include <memory>

namespace {

constexpr int kRows = 19000;

struct Setup {
    testsupport::CupsFixture cups;
    report::PreparedReport pages;
};

std::unique_ptr<Setup> g_setup;  // made on first use; stopped before the application goes

Setup& setup() {
    if (!g_setup) {
        g_setup = std::make_unique<Setup>();
        if (g_setup->cups.running())
            g_setup->cups.addFileQueue(QStringLiteral("bench"));
        bench::SyntheticResult rows(kRows);
        rows.AfterOpen = &Tfrmmain::StoredProc1AfterOpen;
        rows.Open();
        TfrmExportPrn form(&rows);
        form.QuickRep1->Prepare();
        g_setup->pages = form.QuickRep1->prepared();
    }
    return *g_setup;
}

// The queue's printer as the dialog leaves it, with the jobs held (the dialog's 保留作业).
std::unique_ptr<QPrinter> heldPrinter() {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setPrinterName(QStringLiteral("bench"));
    printer->printEngine()->setProperty(
        QPrintEngine::PrintEnginePropertyKey(0xfe00),
        QStringList{QStringLiteral("job-hold-until"), QStringLiteral("indefinite")});
    return printer;
}

void clearQueue(Setup& s) {
    s.cups.run(QStringLiteral("cancel"), {QStringLiteral("-a"), QStringLiteral("-x")});
}

void BM_PrintToQueue(benchmark::State& state) {
    Setup& s = setup();
    if (!s.cups.running()) {
        state.SkipWithError(s.cups.skipReason().toStdString().c_str());
        return;
    }
    report::Preview preview(s.pages);
    preview.setDocumentName(QStringLiteral("出口盈亏表 bench"));
    const std::unique_ptr<QPrinter> printer = heldPrinter();
    double writerMs = 0, printMs = 0;
    qint64 bytes = 0;
    for (auto _ : state) {
        QByteArray pdf;
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QElapsedTimer clock;
        clock.start();
        report::writePdf(s.pages, buffer, {QStringLiteral("出口盈亏表"), QStringLiteral("bench")});
        const double writer = clock.nsecsElapsed() / 1e6;
        bytes = pdf.size();
        clock.restart();
        preview.print(*printer);
        const double print = clock.nsecsElapsed() / 1e6;
        if (!preview.printStatus().startsWith(QStringLiteral("打印作业"))) {
            state.SkipWithError(preview.printStatus().toStdString().c_str());
            return;
        }
        state.SetIterationTime(print / 1000);
        writerMs += writer;
        printMs += print;
        state.PauseTiming();
        clearQueue(s);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["pages"] = s.pages.pageCount();
    state.counters["MB"] = bytes / 1e6;
    state.counters["writer_ms"] = writerMs / n;
    state.counters["print/writer"] = printMs / writerMs;
}

// Before: Qt's engine paints every page for the spooler and hands its own PDF to CUPS.
void BM_PrintQtEngine(benchmark::State& state) {
    Setup& s = setup();
    if (!s.cups.running()) {
        state.SkipWithError(s.cups.skipReason().toStdString().c_str());
        return;
    }
    for (auto _ : state) {
        const std::unique_ptr<QPrinter> printer = heldPrinter();
        printer->setFullPage(true);
        printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                           QMarginsF(), QPageLayout::Millimeter));
        QPainter painter(printer.get());
        for (int p = 0; p < s.pages.pageCount(); ++p) {
            if (p > 0)
                printer->newPage();
            s.pages.paintPage(painter, p);
        }
        painter.end();
        state.PauseTiming();
        clearQueue(s);
        state.ResumeTiming();
    }
    state.counters["pages"] = s.pages.pageCount();
}

BENCHMARK(BM_PrintToQueue)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_PrintQtEngine)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::Application::instance();
    ui::RecordingPresenter quiet;  // a held job needs no word to the user, but no box either
    ui::setMessagePresenter(&quiet);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_setup.reset();
    ui::setMessagePresenter(nullptr);
    return 0;
}
