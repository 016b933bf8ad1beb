// The statement's report where a user waits for it: laying 10,000 and 100,000 rows out (and
// 10,000 rows of a large company's figures, many printed smaller to fit), beside
// the limit of recording the same primitives (texts, fonts, rectangles, lines) into a
// QPicture per page and the floors of making the same detail texts; the print run's second layout;
// the time from 打印 to the first page painted; the prepared pages' size in memory and in the saved
// file; and PDF export.
#include "framework/report/pageview.h"
#include "framework/report/pdfwriter.h"
#include "framework/report/preview.h"
#include "framework/ui/application.h"
#include "report/printrun.h"
#include "report/tfrmexportprn.h"
#include "syntheticresult.h"
#include "ui/frmmain.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>

#include <charconv>
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

// The tight floor's formatting, a function of its own so that an instruction count can be
// taken of it alone (valgrind --toggle-collect='*tightFloorTexts*').
[[gnu::noinline]] void tightFloorTexts(const db::RowStore& store, const std::vector<int>& columns,
                                       std::string& texts, std::vector<std::uint32_t>& ends) {
    char buf[32];
    for (int r = 0; r < store.rowCount(); ++r) {
        for (const int c : columns) {
            if (store.isNull(r, c)) {
            } else if (store.columns()[static_cast<std::size_t>(c)].type ==
                       db::FieldType::Currency) {
                const std::int64_t v = store.integer(r, c);
                const std::uint64_t a = v < 0 ? 0 - static_cast<std::uint64_t>(v) : v;
                char* p = buf;
                if (v < 0)
                    *p++ = '-';
                p = std::to_chars(p, buf + sizeof buf, a / 10000).ptr;
                unsigned frac = static_cast<unsigned>(a % 10000);
                if (frac != 0) {
                    *p++ = '.';
                    for (unsigned div = 1000; frac != 0; div /= 10) {
                        *p++ = static_cast<char>('0' + frac / div);
                        frac %= div;
                    }
                }
                texts.append(buf, p);
            } else {
                texts.append(store.text(r, c));
            }
            ends.push_back(static_cast<std::uint32_t>(texts.size()));
        }
    }
}

// The tight floor: the same detail texts formatted straight into one buffer with
// std::to_chars (money from its 1/10000 units in the general format, texts copied from the
// row store), their ends recorded, no string made per cell; the layout of the same rows is
// timed in the same iterations and given as a multiple of it. The texts are checked once
// against the layout's own, so the floor does the same formatting and no less.
void BM_LayoutTightFloor(benchmark::State& state) {
    SyntheticResult& ds = result(static_cast<int>(state.range(0)));
    TfrmExportPrn form(&ds);
    const db::RowStore& store = ds.store();
    std::vector<int> columns;
    for (const report::Element* e : form.DetailBand1->elements()) {
        if (const auto* t = dynamic_cast<const report::DBText*>(e))
            columns.push_back(ds.FieldByName(t->DataField())->Index());
    }
    {
        std::string texts;
        std::vector<std::uint32_t> ends;
        tightFloorTexts(store, columns, texts, ends);
        form.QuickRep1->Prepare();
        std::string laidOut;
        const report::PreparedReport& rep = form.QuickRep1->prepared();
        for (int p = 0; p < rep.pageCount(); ++p)
            for (const report::DrawOp& op : rep.page(p))
                if (op.kind == report::DrawOp::Kind::Text)
                    laidOut += op.text.toStdString();
        // Every floor text appears in the layout's texts, in order.
        std::size_t at = 0;
        std::uint32_t begin = 0;
        for (const std::uint32_t end : ends) {
            const std::string_view t(texts.data() + begin, end - begin);
            begin = end;
            if (t.empty())
                continue;
            at = laidOut.find(t, at);
            if (at == std::string::npos) {
                state.SkipWithError("the floor's texts are not the layout's");
                return;
            }
            at += t.size();
        }
    }
    double floorMs = 0;
    double layoutMs = 0;
    // The buffers keep their room from one iteration to the next, as the layout's pages keep
    // theirs from one page to the next: neither pays for fresh memory.
    std::string texts;
    std::vector<std::uint32_t> ends;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        texts.clear();
        ends.clear();
        tightFloorTexts(store, columns, texts, ends);
        benchmark::DoNotOptimize(texts.data());
        benchmark::DoNotOptimize(ends.data());
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

// PDF export beside its floor: deflating the same content (the file written without
// compression) at the same level, timed in the same iterations. The argument is zlib's level
// (-1: the writer's own), so that the level can be chosen by measurement; the file's size is
// given beside the time.
void BM_PdfExport(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    const report::PreparedReport pages = prepared(10000);
    report::Preview preview(pages);
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statement.pdf"));
    QBuffer plain;
    plain.open(QIODevice::WriteOnly);
    report::writePdf(pages, plain, {QStringLiteral("出口盈亏表"), QStringLiteral("bench"), 0});
    const QByteArray content = plain.data();
    const int deflateLevel = level < 0 ? report::kPdfCompression : level;
    double pdfMs = 0;
    double floorMs = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        report::writePdf(pages, path,
                         {QStringLiteral("出口盈亏表"), QStringLiteral("bench"), level});
        const double pdf = static_cast<double>(t.nsecsElapsed()) / 1e6;
        state.SetIterationTime(pdf / 1000);
        pdfMs += pdf;
        t.start();
        benchmark::DoNotOptimize(qCompress(content, deflateLevel).size());
        floorMs += static_cast<double>(t.nsecsElapsed()) / 1e6;
    }
    state.counters["pages"] = pages.pageCount();
    state.counters["pages/s"] =
        pages.pageCount() * 1000.0 * static_cast<double>(state.iterations()) / pdfMs;
    state.counters["MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
    state.counters["pdf/deflate"] = pdfMs / floorMs;
    // Through the preview's 导出PDF, progress box included.
    QElapsedTimer t;
    t.start();
    preview.exportPdf(path);
    state.counters["preview_ms"] = static_cast<double>(t.nsecsElapsed()) / 1e6;
}

BENCHMARK(BM_Layout)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutLargeFigures)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutLimitQPicture)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutFloor)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutTightFloor)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SecondLayout)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintToFirstPage)->Arg(19000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreparedSize)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PdfExport)
    ->Arg(-1)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(6)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

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
