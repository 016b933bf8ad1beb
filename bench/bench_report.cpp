// The statement's report where a user waits for it: laying 10,000 and 100,000 rows out (and
// 10,000 rows of a large company's figures, many printed smaller to fit), beside
// the limit of recording the same primitives (texts, fonts, rectangles, lines) into a
// QPicture per page; the print run's second layout; the time from 打印 to the first page
// painted; the prepared pages' size in memory and in the saved file; and PDF export.
#include "framework/report/pageview.h"
#include "framework/report/preview.h"
#include "framework/ui/application.h"
#include "report/printrun.h"
#include "report/tfrmexportprn.h"
#include "syntheticresult.h"
#include "ui/frmmain.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>

#include <map>
#include <memory>

namespace {

using bench::SyntheticResult;

// One result per size, opened once: the benchmarks time the report, not the rows.
SyntheticResult& result(int rows) {
    static std::map<int, std::unique_ptr<SyntheticResult>> results;
    auto& slot = results[rows];
    if (!slot) {
        slot = std::make_unique<SyntheticResult>(rows);
        slot->AfterOpen = &Tfrmmain::StoredProc1AfterOpen;  // money as the window shows it
        slot->Open();
    }
    return *slot;
}

report::PreparedReport prepared(int rows) {
    TfrmExportPrn form(&result(rows));
    form.QuickRep1->Prepare();
    return form.QuickRep1->prepared();
}

// A large company's figures: many too wide for their column at 9 pt, printed smaller.
void BM_LayoutLargeFigures(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)), true);
    ds.AfterOpen = &Tfrmmain::StoredProc1AfterOpen;
    ds.Open();
    TfrmExportPrn form(&ds);
    for (auto _ : state) form.QuickRep1->Prepare();
    int fitted = 0;
    const report::PreparedReport& rep = form.QuickRep1->prepared();
    for (const report::DrawOp& op : rep.page(0))
        fitted += op.kind == report::DrawOp::Kind::Text && op.font.pointSizeF() < 9;
    state.counters["smaller on page 1"] = fitted;
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Layout(benchmark::State& state) {
    SyntheticResult& ds = result(static_cast<int>(state.range(0)));
    TfrmExportPrn form(&ds);
    for (auto _ : state) form.QuickRep1->Prepare();
    state.counters["pages"] = form.QuickRep1->PageCount();
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

// The limit: the primitives of every page, known beforehand, recorded with QPainter into a
// QPicture per page. No dataset, no formatting, no measuring.
struct Primitive {
    report::DrawOp::Kind kind;
    QRectF rect;
    QString text;
    int font = -1;  // index into the fonts
    int flags = 0;
    bool opaque = false;
    double pen = 0;
    QColor fill;
};

void BM_LayoutLimitQPicture(benchmark::State& state) {
    const report::PreparedReport rep = prepared(static_cast<int>(state.range(0)));
    std::vector<QFont> fonts;
    std::vector<std::vector<Primitive>> pages(static_cast<std::size_t>(rep.pageCount()));
    for (int p = 0; p < rep.pageCount(); ++p) {
        for (const report::DrawOp& op : rep.page(p)) {
            Primitive prim{op.kind, op.rect, op.text, -1, 0, op.opaque, op.penWidth, op.fill};
            if (op.kind == report::DrawOp::Kind::Text) {
                auto it = std::find(fonts.begin(), fonts.end(), op.font);
                if (it == fonts.end())
                    it = fonts.insert(fonts.end(), op.font);
                prim.font = static_cast<int>(it - fonts.begin());
                prim.flags = int(op.align == report::TextAlign::Right    ? Qt::AlignRight
                                 : op.align == report::TextAlign::Center ? Qt::AlignHCenter
                                                                         : Qt::AlignLeft) |
                             Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine;
            }
            pages[static_cast<std::size_t>(p)].push_back(std::move(prim));
        }
    }
    for (auto _ : state) {
        for (const auto& page : pages) {
            QPicture picture;
            QPainter painter(&picture);
            int font = -1;
            for (const Primitive& prim : page) {
                switch (prim.kind) {
                    case report::DrawOp::Kind::Text:
                        if (prim.opaque)
                            painter.fillRect(prim.rect, Qt::white);
                        if (prim.font != font)
                            painter.setFont(fonts[static_cast<std::size_t>(font = prim.font)]);
                        painter.drawText(prim.rect, prim.flags, prim.text);
                        break;
                    case report::DrawOp::Kind::Rect:
                        painter.setPen(prim.pen > 0 ? QPen(Qt::black, prim.pen) : QPen(Qt::NoPen));
                        painter.setBrush(prim.fill.isValid() ? QBrush(prim.fill) : QBrush());
                        painter.drawRect(prim.rect);
                        break;
                    case report::DrawOp::Kind::Line:
                        painter.setPen(QPen(Qt::black, prim.pen));
                        painter.drawLine(prim.rect.topLeft(), prim.rect.bottomLeft());
                        break;
                }
            }
            painter.end();
            benchmark::DoNotOptimize(picture.size());
        }
    }
    state.counters["pages"] = rep.pageCount();
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

// The floor: the texts of every detail row (each field's display text, as the report
// shows it) recorded into one UTF-8 buffer with their ends and each row's origin, without
// measuring or placing them (the benchmark's time); the layout of the same rows is timed
// in the same iterations (layout_ms) and given as a multiple of it.
void BM_LayoutFloor(benchmark::State& state) {
    SyntheticResult& ds = result(static_cast<int>(state.range(0)));
    TfrmExportPrn form(&ds);
    std::vector<const db::Field*> fields;
    for (const report::Element* e : form.DetailBand1->elements()) {
        if (const auto* t = dynamic_cast<const report::DBText*>(e))
            fields.push_back(ds.FieldByName(t->DataField()));
    }
    double floorMs = 0;
    double layoutMs = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        std::string texts;
        std::vector<std::uint32_t> ends;
        std::vector<double> origins;
        for (int r = 0; r < ds.RecordCount(); ++r) {
            origins.push_back(r * 5.56);
            for (const db::Field* f : fields) {
                texts += f->DisplayTextAt(r).toStdString();
                ends.push_back(static_cast<std::uint32_t>(texts.size()));
            }
        }
        benchmark::DoNotOptimize(texts.data());
        const double floor = static_cast<double>(t.nsecsElapsed()) / 1e6;
        state.SetIterationTime(floor / 1000);
        floorMs += floor;
        t.start();
        form.QuickRep1->Prepare();
        layoutMs += static_cast<double>(t.nsecsElapsed()) / 1e6;
    }
    state.counters["layout_ms"] = layoutMs / static_cast<double>(state.iterations());
    state.counters["layout/floor"] = layoutMs / floorMs;
}

// What the print run does between its first layout and the preview: the page count goes
// into every footer.
void BM_SecondLayout(benchmark::State& state) {
    TfrmExportPrn form(&result(static_cast<int>(state.range(0))));
    form.QuickRep1->Prepare();
    for (auto _ : state) {
        form.qrlPagecount->SetCaption(QString::number(form.QuickRep1->PageCount()));
        form.QuickRep1->Relayout();
    }
}

// From 打印 to the first page painted in the preview, through the real print run; the
// counter gives it as a share of one layout of the same rows, timed in the same run.
void BM_PrintToFirstPage(benchmark::State& state) {
    SyntheticResult& ds = result(static_cast<int>(state.range(0)));
    double layoutMs = 0;
    {
        TfrmExportPrn form(&ds);
        QElapsedTimer t;
        t.start();
        form.QuickRep1->Prepare();
        layoutMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    }
    double firstPageMs = 0;
    QElapsedTimer t;
    setPreviewHook([&](report::Preview& preview) {
        (void)preview.grab();  // paints the window with its first page
        firstPageMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
        preview.close();
    });
    for (auto _ : state) {
        t.start();
        RunPrint(&ds, QStringLiteral("全公司"), QStringLiteral("2024年01月份至2024年12月份"), 0,
                 2024, 12, 31);
        state.SetIterationTime(firstPageMs / 1000.0);
    }
    setPreviewHook({});
    state.counters["layout_ms"] = layoutMs;
    state.counters["first/layout"] = firstPageMs / layoutMs;
}

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

// Prepared pages in memory and in the saved file, with the time to save and load them.
void BM_PreparedSize(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    const std::size_t before = heapInUse();
    auto form = std::make_unique<TfrmExportPrn>(&result(rows));
    form->QuickRep1->Prepare();
    const std::size_t after = heapInUse();
    const report::PreparedReport& rep = form->QuickRep1->prepared();
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statement.pnlr"));
    for (auto _ : state) {
        rep.save(path);
        benchmark::DoNotOptimize(report::PreparedReport::load(path).pageCount());
    }
    const double pages = rep.pageCount();
    state.counters["pages"] = pages;
    state.counters["KB/page memory"] = static_cast<double>(after - before) / 1024.0 / pages;
    state.counters["KB/page file"] = static_cast<double>(QFileInfo(path).size()) / 1024.0 / pages;
}

void BM_PdfExport(benchmark::State& state) {
    report::Preview preview(prepared(static_cast<int>(state.range(0))));
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statement.pdf"));
    for (auto _ : state) preview.exportPdf(path);
    state.counters["pages"] = preview.pageCount();
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(preview.pageCount()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_Layout)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutLargeFigures)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutLimitQPicture)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutFloor)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SecondLayout)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintToFirstPage)->Arg(19000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreparedSize)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PdfExport)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::Application::instance();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
