// The preview window over the statement's report: named actions, page moves and indicator,
// zoom, save and load, PDF export (also headless through the export-path property), and a
// page rendered to an image.
#include "framework/report/preview.h"

#include "framework/report/pageview.h"
#include "framework/report/pdfsyntax.h"
#include "framework/report/pdfwriter.h"
#include "framework/report/printsetup.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"
#include "framework/ui/fonts.h"
#include "framework/ui/progress.h"
#include "report/tfrmexportprn.h"
#include "statementdata.h"
#include "support/keyboard.h"
#include "support/smallfs.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QComboBox>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

namespace {

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::instance();
        ASSERT_TRUE(dir.isValid());
        ds = stmt::makeResult();
        stmt::addRows(*ds, 40);
        ds->Open();
        rep = stmt::printAndCapture(*ds,
                                    {QStringLiteral("全公司"), QStringLiteral("2005年03月份"), 0});
        ASSERT_EQ(rep.pageCount(), 2);
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static QAction* action(report::Preview& p, const char* name) {
        return p.findChild<QAction*>(QString::fromLatin1(name));
    }
    static QString pdfText(const QString& pdf) {
        QProcess proc;
        proc.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        proc.waitForFinished(30000);
        return QString::fromUtf8(proc.readAllStandardOutput());
    }
    static bool havePdfToText() {
        return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
    }
    QTemporaryDir dir;
    std::unique_ptr<testsupport::MemDataSet> ds;
    report::PreparedReport rep;
};

TEST_F(PreviewTest, NamedActionsMovePagesAndIndicatorFollows) {
    report::Preview p(rep);
    EXPECT_EQ(p.objectName(), QStringLiteral("frmPreview"));
    for (const char* n :
         {"actFirst", "actPrior", "actNext", "actLast", "actZoomPage", "actZoom100", "actZoomWidth",
          "actPrintSetup", "actPrint", "actSave", "actLoad", "actExportPdf", "actClose"})
        EXPECT_NE(action(p, n), nullptr) << n;
    auto* indicator = p.findChild<QLabel*>(QStringLiteral("lblPageIndicator"));
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->text(), QStringLiteral("第 1 页 / 共 2 页"));
    action(p, "actNext")->trigger();
    EXPECT_EQ(p.currentPage(), 1);
    action(p, "actNext")->trigger();  // stays on the last page
    EXPECT_EQ(p.currentPage(), 1);
    EXPECT_EQ(indicator->text(), QStringLiteral("第 2 页 / 共 2 页"));
    action(p, "actFirst")->trigger();
    EXPECT_EQ(p.currentPage(), 0);
    action(p, "actPrior")->trigger();
    EXPECT_EQ(p.currentPage(), 0);
    action(p, "actLast")->trigger();
    EXPECT_EQ(p.currentPage(), 1);
}

TEST_F(PreviewTest, OpensMaximisedAtPageWidthAndZooms) {
    report::Preview p(rep);
    bool checked = false;
    p.exec([&](report::Preview& w) {
        EXPECT_TRUE(w.isMaximized());
        EXPECT_FALSE(w.isModal());
        EXPECT_EQ(w.zoom(), report::Preview::Zoom::PageWidth);
        const double width = w.pixelsPerMm();
        action(w, "actZoomPage")->trigger();
        EXPECT_LE(w.pixelsPerMm(), width);
        action(w, "actZoom100")->trigger();
        EXPECT_NEAR(w.pixelsPerMm(), w.logicalDpiX() / 25.4, 1e-9);
        checked = true;
        action(w, "actClose")->trigger();
    });
    EXPECT_TRUE(checked);
    EXPECT_TRUE(p.isClosed());
}

TEST_F(PreviewTest, SaveAndLoadGiveTheSamePages) {
    report::Preview p(rep);
    p.saveToFile(path("statement.pnlr"));
    const report::PreparedReport back = report::PreparedReport::load(path("statement.pnlr"));
    EXPECT_TRUE(back == rep);
    report::Preview other(report::PreparedReport{});
    EXPECT_EQ(other.pageCount(), 0);
    other.loadFromFile(path("statement.pnlr"));
    EXPECT_EQ(other.pageCount(), 2);
    EXPECT_TRUE(other.prepared() == rep);
}

TEST_F(PreviewTest, LoadRejectsOtherFiles) {
    QFile f(path("junk.pnlr"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a report at all");
    f.close();
    EXPECT_THROW(report::PreparedReport::load(path("junk.pnlr")), EInvalidOperation);
    EXPECT_THROW(report::PreparedReport::load(path("missing.pnlr")), EInvalidOperation);
    // A cut-off file is no report either.
    rep.save(path("whole.pnlr"));
    QFile whole(path("whole.pnlr"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    QFile cut(path("cut.pnlr"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() / 2));
    cut.close();
    EXPECT_THROW(report::PreparedReport::load(path("cut.pnlr")), EInvalidOperation);
}

TEST_F(PreviewTest, ExportPathPropertyWritesPdfWithoutDialog) {
    report::Preview p(rep);
    p.setProperty(report::Preview::kExportPathProperty, path("snap.pdf"));
    action(p, "actExportPdf")->trigger();
    ASSERT_TRUE(QFile::exists(path("snap.pdf")));
    QFile f(path("snap.pdf"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5).startsWith("%PDF"));
    if (!havePdfToText())
        GTEST_SKIP() << "pdftotext not installed";
    const QString text = pdfText(path("snap.pdf"));
    for (const char* s : {"打印对象:全公司", "打印日期:2005/3/7", "共有数据:40笔",
                          "【2005年03月份】", "收入人民币", "60.00", "120.00"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s << "\n" << text.toStdString();
    // Spaced captions come back with the spacing pdftotext chooses.
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("运\\s+编\\s+号"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("合\\s+计"))));
    EXPECT_EQ(text.count(QChar(0x0C)), 2);  // two pages
}

TEST_F(PreviewTest, ExportToUnwritablePathFails) {
    report::Preview p(rep);
    EXPECT_THROW(p.exportPdf(path("no/such/dir/x.pdf")), EInvalidOperation);
}

TEST_F(PreviewTest, PrintingToPdfPrintsTheChosenRange) {
    // Printing prints the pages shown; it does not walk the result again.
    TfrmExportPrn form(ds.get());
    form.QuickRep1->Prepare();
    report::Preview p(form.QuickRep1->prepared());
    ds->First();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path("printed.pdf"));
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 2);
    p.print(printer);
    EXPECT_EQ(ds->RecNo(), 1);
    ASSERT_TRUE(QFile::exists(path("printed.pdf")));
    if (!havePdfToText())
        GTEST_SKIP() << "pdftotext not installed";
    const QString text = pdfText(path("printed.pdf"));
    EXPECT_EQ(text.count(QChar(0x0C)), 1);
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("第\\s+2\\s+页"))));
    EXPECT_TRUE(text.contains(QStringLiteral("S05-030")));
    EXPECT_FALSE(text.contains(QStringLiteral("S05-001")));
}

TEST_F(PreviewTest, PageRendersToImage) {
    report::Preview p(rep);
    action(p, "actZoom100")->trigger();
    QImage img(qRound(297 * 150 / 25.4), qRound(210 * 150 / 25.4), QImage::Format_RGB32);
    img.setDotsPerMeterX(qRound(150 / 0.0254));
    img.setDotsPerMeterY(qRound(150 / 0.0254));
    img.fill(Qt::white);
    {
        QPainter painter(&img);
        rep.paintPage(painter, 0);
    }
    const QString out = qEnvironmentVariable("EXPORTPNL_REPORT_PNG");
    if (!out.isEmpty())
        img.save(out);
    // The left outer rule of the first detail row is black at 150 dpi (x 5.40 mm, y 45 mm).
    const int x = qRound((5 + 0.40) * 150 / 25.4);
    const int y = qRound(45.0 * 150 / 25.4);
    bool black = false;
    for (int dx = -1; dx <= 1; ++dx) black = black || qGray(img.pixel(x + dx, y)) < 80;
    EXPECT_TRUE(black);
    // Outside the margins nothing is drawn.
    EXPECT_EQ(img.pixel(5, 5), QColor(Qt::white).rgb());
}

}  // namespace

TEST_F(PreviewTest, RulesStayWholeAndEvenAtSmallZooms) {
    // At 整页 a rule is about a pixel high: it must show along its whole length in one
    // thickness, whatever white text boxes lie beside it.
    report::PageView view;
    view.setReport(&rep);
    for (int page = 0; page < rep.pageCount(); ++page) {
        view.setPage(page);
        std::vector<double> downs;  // where vertical rules cross, thickness is not measurable
        for (const report::DrawOp& op : rep.page(page))
            if (op.kind == report::DrawOp::Kind::Line)
                downs.push_back(op.rect.left());
        for (int step = 0; step <= 30; ++step) {
            const double ppm = 2.0 + step * 0.1;
            view.setPixelsPerMm(ppm);
            const QImage img = view.renderPage();
            const double scale = img.logicalDpiY() / 25.4;  // whole dots per inch
            int rules = 0;
            for (const report::DrawOp& op : rep.page(page)) {
                const QRectF r = op.rect;
                if (op.kind != report::DrawOp::Kind::Rect || !op.fill.isValid() ||
                    r.height() > 0.5 || r.width() < 20)
                    continue;
                ++rules;
                std::map<int, int> thicknesses;  // dark pixels across the rule: samples
                for (double at = r.left() + 1; at < r.right() - 1; at += 0.7) {
                    if (std::any_of(downs.begin(), downs.end(),
                                    [&](double x) { return std::abs(x - at) < 0.8; }))
                        continue;
                    int dark = 0;
                    const int x = int(at * scale);
                    for (int y = int(r.top() * scale) - 1; y <= int(r.bottom() * scale) + 1; ++y)
                        dark += qGray(img.pixel(x, y)) < 128;
                    ASSERT_GT(dark, 0)
                        << "page " << page + 1 << " at " << ppm << " px/mm: rule at y " << r.top()
                        << " mm broken at x " << at << " mm";
                    ++thicknesses[dark];
                }
                // A glyph just above or below may add a pixel; nothing may take one away.
                const auto usual = std::max_element(
                    thicknesses.begin(), thicknesses.end(),
                    [](const auto& a, const auto& b) { return a.second < b.second; });
                EXPECT_EQ(thicknesses.begin()->first, usual->first)
                    << "page " << page + 1 << " at " << ppm << " px/mm: rule at y " << r.top()
                    << " mm thinner in places";
            }
            EXPECT_GT(rules, 10);
        }
    }
}

TEST_F(PreviewTest, PageKeysPageBoxAndCtrlWheelThroughTheKeyboardAndMouse) {
    report::Preview p(rep);
    bool checked = false;
    p.exec([&](report::Preview& w) {
        (void)QTest::qWaitForWindowActive(&w);
        // The page keys work as the window opens, whatever the tool bar holds.
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(w.currentPage(), 1);
        auto* box = w.findChild<QSpinBox*>(QStringLiteral("spinPage"));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->value(), 2);
        EXPECT_EQ(box->maximum(), 2);
        // A page typed into the box is gone to on Enter, and the keys are the page's again.
        testsupport::focusOn(box);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(static_cast<QWidget*>(nullptr), QStringLiteral("1"));
        EXPECT_EQ(w.currentPage(), 1);  // not before the number is complete
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return);
        EXPECT_EQ(w.currentPage(), 0);
        EXPECT_FALSE(box->hasFocus());
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(w.currentPage(), 1);

        // Ctrl+wheel over the page zooms in and out; a plain wheel does not.
        QWidget* viewport = w.findChild<QScrollArea*>()->viewport();
        const auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
            const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
            QWheelEvent ev(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                           mods, Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &ev);
        };
        // The page point under the pointer (mm) stays under it.
        const auto mmUnderPointer = [&] {
            QWidget* page = w.findChild<QScrollArea*>()->widget();
            const QPointF p =
                page->mapFrom(viewport, QPoint(viewport->width() / 2, viewport->height() / 2));
            return (p - QPointF(report::PageView::kDeskMargin, report::PageView::kDeskMargin)) /
                   w.pixelsPerMm();
        };
        w.zoomBy(3.0);  // larger than the window both ways, so that both bars can follow
        QApplication::processEvents();
        const double start = w.pixelsPerMm();
        const QPointF before = mmUnderPointer();
        wheel(120, Qt::ControlModifier);
        EXPECT_NEAR(w.pixelsPerMm(), start * 1.1, 0.02);
        EXPECT_NEAR(mmUnderPointer().x(), before.x(), 1.0 / w.pixelsPerMm());
        EXPECT_NEAR(mmUnderPointer().y(), before.y(), 1.0 / w.pixelsPerMm());
        EXPECT_EQ(w.zoom(), report::Preview::Zoom::Custom);
        wheel(-240, Qt::ControlModifier);
        EXPECT_NEAR(w.pixelsPerMm(), start / 1.1, 0.02);
        const double zoomed = w.pixelsPerMm();
        wheel(-120, Qt::NoModifier);
        EXPECT_DOUBLE_EQ(w.pixelsPerMm(), zoomed);
        checked = true;
        w.close();
    });
    EXPECT_TRUE(checked);
}

TEST_F(PreviewTest, PageWidthAfterWholePageLeavesNoSideScrolling) {
    report::Preview p(rep);
    p.exec([&](report::Preview& w) {
        auto* scroll = w.findChild<QScrollArea*>();
        w.showNormal();
        w.resize(1000, 500);  // wide and low, as on a laptop: at page width the page is taller
        QApplication::processEvents();
        action(w, "actZoomPage")->trigger();
        QApplication::processEvents();
        action(w, "actZoomWidth")->trigger();
        QApplication::processEvents();
        EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
        EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
        // And the page takes the width: no more than a scroll bar's width is left over.
        EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width());
        EXPECT_GE(scroll->widget()->width(), scroll->viewport()->width() - 3);
        w.close();
    });
}

TEST_F(PreviewTest, SaveAndExportAddTheirSuffixWhenNoneWasTyped) {
    struct Case {
        const char* typed;
        const char* suffix;
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp/三月", "pnlr", "/tmp/三月.pnlr"},
        {"/tmp/三月.pnlr", "pnlr", "/tmp/三月.pnlr"},
        {"/tmp/三月.PDF", "pdf", "/tmp/三月.PDF"},
        {"/tmp/v1.2/三月", "pdf", "/tmp/v1.2/三月.pdf"},
        // Before, any suffix was kept: a workbook was written under a CSV name.
        {"/tmp/三月.csv", "xlsx", "/tmp/三月.csv.xlsx"},
        {"/tmp/三月.", "xlsx", "/tmp/三月.xlsx"},
        {"", "pdf", ""},  // the dialog was cancelled
    };
    for (const Case& c : cases)
        EXPECT_EQ(text::withSuffix(QString::fromUtf8(c.typed), QString::fromLatin1(c.suffix)),
                  QString::fromUtf8(c.expected))
            << c.typed;
    report::Preview p(rep);
    p.setProperty(report::Preview::kExportPathProperty, path("typed-without-suffix"));
    action(p, "actExportPdf")->trigger();
    EXPECT_TRUE(QFile::exists(path("typed-without-suffix.pdf")));
}

TEST_F(PreviewTest, PrintSetupShowsTheReportsOwnLayout) {
    TfrmExportPrn form(ds.get());
    form.QuickRep1->Prepare();
    const report::PreparedReport& prepared = form.QuickRep1->prepared();
    ASSERT_TRUE(prepared.margins().has_value());
    QPrinter printer(QPrinter::HighResolution);
    report::PrintSetupDialog dlg(printer, prepared.paperSize(), prepared.margins());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("打印设置"));
    const auto text = [&](const char* name) {
        auto* label = dlg.findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QString();
    };
    EXPECT_EQ(text("lblPaper"), QStringLiteral("A4（297 × 210 毫米）"));
    EXPECT_EQ(text("lblOrientation"), QStringLiteral("横向"));
    EXPECT_EQ(text("lblMargins"), QStringLiteral("上 10 毫米，下 10 毫米，左 5 毫米，右 5 毫米"));
    // The copies chosen here are the ones printing uses.
    auto* copies = dlg.findChild<QSpinBox*>(QStringLiteral("spinCopies"));
    ASSERT_NE(copies, nullptr);
    copies->setValue(3);
    dlg.accept();
    EXPECT_EQ(printer.copyCount(), 3);
    // The margins travel with a saved report; one saved before they did shows them unknown.
    prepared.save(path("kept.pnlr"));
    EXPECT_EQ(report::PreparedReport::load(path("kept.pnlr")).margins(), prepared.margins());
    EXPECT_EQ(report::PrintSetupDialog::marginsText(std::nullopt), QStringLiteral("未记录"));
}

// The print run's second layout redraws the footers only; it must give exactly the pages a
// full layout with the page count already set gives.
TEST_F(PreviewTest, SecondLayoutEqualsAFullLayoutWithThePageCount) {
    TfrmExportPrn twice(ds.get());
    twice.QuickRep1->Prepare();
    twice.qrlPagecount->SetCaption(QString::number(twice.QuickRep1->PageCount()));
    twice.QuickRep1->Relayout();
    TfrmExportPrn once(ds.get());
    once.qrlPagecount->SetCaption(QStringLiteral("2"));
    once.QuickRep1->Prepare();
    EXPECT_TRUE(twice.QuickRep1->prepared() == once.QuickRep1->prepared());
    for (int p = 0; p < 2; ++p) {
        const report::PageOps page = twice.QuickRep1->prepared().page(p);
        EXPECT_NE(stmt::findText(page, QStringLiteral("2")), nullptr) << "page " << p + 1;
    }
}

// Reports saved before the compact recording (one step after another, each with its font,
// margins from version 2 on) still open as they were drawn.
TEST_F(PreviewTest, ReportsSavedInEarlierFormatsStillLoad) {
    report::DrawOp text;
    text.kind = report::DrawOp::Kind::Text;
    text.rect = QRectF(6.32, 38.83, 11.1125, 3.34);
    text.text = QStringLiteral("业务一部");
    text.font = ui::songti(9);
    text.align = report::TextAlign::Right;
    text.opaque = true;
    report::DrawOp line;
    line.kind = report::DrawOp::Kind::Line;
    line.rect = QRectF(30, 37.78, 0, 5.55);
    line.penWidth = 0.2;
    for (const quint16 version : {quint16(1), quint16(2)}) {
        const QString file = path(version == 1 ? "v1.pnlr" : "v2.pnlr");
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            QDataStream out(&f);
            out.setVersion(QDataStream::Qt_6_4);
            out << quint32(0x45504e52) << version << QSizeF(297, 210);
            if (version == 2)
                out << true << QMarginsF(5, 10, 5, 10);
            out << qint32(1) << qint32(2);
            for (const report::DrawOp& op : {text, line})
                out << quint8(op.kind) << op.rect << op.text << op.font << quint8(op.align)
                    << op.opaque << op.penWidth << op.fill;
        }
        const report::PreparedReport back = report::PreparedReport::load(file);
        ASSERT_EQ(back.pageCount(), 1) << version;
        const report::PageOps ops = back.page(0);
        ASSERT_EQ(ops.size(), 2u);
        EXPECT_TRUE(ops[0] == text) << version;
        EXPECT_TRUE(ops[1] == line) << version;
        EXPECT_EQ(back.margins().has_value(), version == 2);
    }
}

// A saved report whose packed recording claims to unpack to gigabytes is refused before
// anything of that size is allocated.
TEST_F(PreviewTest, ALoadNeverTrustsTheSizeAFileStates) {
    QFile f(path("bomb.pnlr"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QDataStream out(&f);
    out.setVersion(QDataStream::Qt_6_4);
    QByteArray packed("\xff\xff\xff\xf0", 4);
    packed += QByteArray(64, 'x');
    out << quint32(0x45504e52) << quint16(3) << QSizeF(297, 210) << false << QMarginsF() << packed;
    f.close();
    EXPECT_THROW(report::PreparedReport::load(path("bomb.pnlr")), EInvalidOperation);
}

// A file of an earlier format with one text at the given place, on the given paper, in the
// given font: loaded only when all of it is something a report can have. Before, painting
// 1e171 mm overflowed the painter's coordinates; a paper height of -4.5 mm, a width of 0 or a
// font of 1e9 points loaded and then crashed 导出PDF or the preview.
TEST_F(PreviewTest, ALoadRefusesGeometryPaperAndFontsNoReportHas) {
    using Kind = report::DrawOp::Kind;
    const QSizeF a4(297, 210);
    const struct {
        const char* what;
        Kind kind;
        double x;
        double penWidth;
        QSizeF paper;
        std::optional<QMarginsF> margins;
        double fontPt;
        bool loads;
    } cases[] = {
        {"a text", Kind::Text, 10, 0, a4, std::nullopt, 9, true},
        {"a rule left of the paper", Kind::Rect, -5, 0.2, a4, QMarginsF(5, 10, 5, 10), 9, true},
        {"the title's size", Kind::Text, 10, 0, a4, std::nullopt, 18, true},
        {"a 500-point text", Kind::Text, 10, 0, a4, std::nullopt, 500, true},
        {"x past 100 m", Kind::Text, 3.75e171, 0, a4, std::nullopt, 9, false},
        {"x not a number", Kind::Text, qQNaN(), 0, a4, std::nullopt, 9, false},
        {"an endless line", Kind::Line, qInf(), 0.2, a4, std::nullopt, 9, false},
        {"a negative pen", Kind::Rect, 10, -qInf(), a4, std::nullopt, 9, false},
        {"a 60 mm pen", Kind::Rect, 10, 60, a4, std::nullopt, 9, false},
        {"paper height -4.5", Kind::Text, 10, 0, QSizeF(297, -4.5), std::nullopt, 9, false},
        {"paper height -100", Kind::Text, 10, 0, QSizeF(297, -100), std::nullopt, 9, false},
        {"paper width 0", Kind::Text, 10, 0, QSizeF(0, 210), std::nullopt, 9, false},
        {"paper of 20 m", Kind::Text, 10, 0, QSizeF(20000, 210), std::nullopt, 9, false},
        {"margins wider than the paper", Kind::Text, 10, 0, a4, QMarginsF(150, 10, 150, 10), 9,
         false},
        {"a negative margin", Kind::Text, 10, 0, a4, QMarginsF(-1, 10, 5, 10), 9, false},
        {"a font of 1e9 points", Kind::Text, 10, 0, a4, std::nullopt, 1e9, false},
        {"a font of 1e38 points", Kind::Text, 10, 0, a4, std::nullopt, 1e38, false},
        {"a font of half a point", Kind::Text, 10, 0, a4, std::nullopt, 0.5, false},
    };
    for (const auto& c : cases) {
        QFile f(path("old.pnlr"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QDataStream out(&f);
        out.setVersion(QDataStream::Qt_6_4);
        QFont font(QStringLiteral("宋体"));
        font.setPointSizeF(c.fontPt);
        out << quint32(0x45504e52) << quint16(2) << c.paper << bool(c.margins)
            << c.margins.value_or(QMarginsF()) << qint32(1) << qint32(1) << quint8(c.kind)
            << QRectF(c.x, 20, 30, 4) << QStringLiteral("运编号") << font << quint8(0) << true
            << c.penWidth << QColor();
        f.close();
        if (c.loads) {
            const report::PreparedReport loaded = report::PreparedReport::load(path("old.pnlr"));
            EXPECT_EQ(loaded.page(0).size(), 1u) << c.what;
            // Whatever loads can be exported.
            EXPECT_NO_THROW(report::writePdf(loaded, path("old.pdf"), {})) << c.what;
        } else {
            EXPECT_THROW(report::PreparedReport::load(path("old.pnlr")), EInvalidOperation)
                << c.what;
        }
    }
}

// Numbers in the PDF are written as whole thousandths (no float formatting per number):
// the same texts the float formatting gave, and nothing unformatted past the range.
TEST(PdfSyntax, NumbersAreThousandthsWithoutTrailingZeros) {
    const std::pair<double, const char*> cases[] = {
        {0, "0 "},         {0.0004, "0 "},      {-0.0004, "0 "},      {1.5, "1.5 "},
        {-12.5, "-12.5 "}, {0.1, "0.1 "},       {12.3456, "12.346 "}, {841.8898, "841.89 "},
        {100, "100 "},     {-0.001, "-0.001 "}, {1e9, "1000000000 "}, {0.0996, "0.1 "},
    };
    for (const auto& [v, text] : cases) {
        QByteArray out;
        report::pdf::num(out, v);
        EXPECT_EQ(out, QByteArray(text)) << v;
    }
    QByteArray out;
    for (double bad : {1e9 + 1, -1e38, qInf(), qQNaN()})
        EXPECT_THROW(report::pdf::num(out, bad), EInvalidOperation) << bad;
    EXPECT_TRUE(out.isEmpty());
}

// The writer's own guards, for reports made in code that no load would accept: a refusal,
// never a crash or a number that was not formatted (a 1e38-point font put 40 bytes of
// the stack into the PDF).
TEST_F(PreviewTest, PdfWriterRefusesWhatItCannotDraw) {
    const auto withText = [](QSizeF paper, double fontPt) {
        report::PreparedReport r;
        r.setPaperSize(paper);
        r.addPage();
        report::DrawOp op;
        op.text = QStringLiteral("合计 123.45");
        op.rect = QRectF(10, 20, 30, 4);
        op.opaque = true;
        op.font = QFont(QStringLiteral("宋体"));
        op.font.setPointSizeF(fontPt);
        r.addStep(op);
        return r;
    };
    EXPECT_NO_THROW(report::writePdf(withText(QSizeF(297, -4.5), 9), path("a.pdf"), {}));
    EXPECT_NO_THROW(report::writePdf(withText(QSizeF(297, -100), 9), path("b.pdf"), {}));
    EXPECT_THROW(report::writePdf(withText(QSizeF(297, 210), 1e38), path("c.pdf"), {}),
                 EInvalidOperation);
    EXPECT_THROW(report::writePdf(withText(QSizeF(297, 210), 1e9), path("d.pdf"), {}),
                 EInvalidOperation);
    EXPECT_FALSE(QFile::exists(path("c.pdf")));
}

// A full disk: before, a PDF or a saved report under 16 kB reported success and left an
// empty or cut file in place of the earlier one. Now the error names the cause, the earlier
// file stays as it was and nothing partial is left; with nothing left or with 4 kB left.
TEST_F(PreviewTest, AFullDiskIsReportedAndKeepsTheEarlierFile) {
    EXPORTPNL_WHERE_MOUNTS_WORK();
    auto big = stmt::makeResult();  // files well past the 4 kB left
    stmt::addRows(*big, 600);
    big->Open();
    const report::PreparedReport pages =
        stmt::printAndCapture(*big, {QStringLiteral("全公司"), QStringLiteral("2005年03月份"), 0});
    const std::function<void(const QString&)> writes[] = {
        [&](const QString& to) { report::writePdf(pages, to, {}); },
        [&](const QString& to) { pages.save(to); },
    };
    const char* names[] = {"statement.pdf", "statement.pnlr"};
    for (int w = 0; w < 2; ++w) {
        for (qint64 left : {0, 4096}) {
            testsupport::SmallFilesystem disk(256);
            ASSERT_TRUE(disk.mounted()) << disk.why().toStdString();
            const QString target = disk.path(QLatin1String(names[w]));
            testsupport::writeFile(target, "the earlier file");
            disk.fill(left);
            try {
                writes[w](target);
                ADD_FAILURE() << names[w] << " reported success on a full disk";
            } catch (const EInvalidOperation& e) {
                EXPECT_EQ(e.message(), QStringLiteral("无法写入文件“%1”：磁盘已满").arg(target));
            }
            EXPECT_EQ(testsupport::readAll(target), QByteArray("the earlier file")) << names[w];
            EXPECT_EQ(disk.entries(), QStringList{QLatin1String(names[w])}) << left;
        }
    }
}

// 导出PDF and 保存 of a long report show the progress box; 取消 there (clicked as a user
// does) stops the job, and no file is left where the earlier one stays. Before, the window
// froze for seconds with nothing on screen and could not be stopped.
TEST_F(PreviewTest, LongJobsShowProgressAndCancelLeavesTheEarlierFile) {
    auto big = stmt::makeResult();
    stmt::addRows(*big, 600);
    big->Open();
    report::Preview p(
        stmt::printAndCapture(*big, {QStringLiteral("全公司"), QStringLiteral("2005年03月份"), 0}));
    ui::JobProgress::setShowAfterMs(0);
    bool seen = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        auto* box = p.findChild<QProgressDialog*>(QStringLiteral("progressBox"));
        if (!box || !box->isVisible())
            return;
        seen = true;
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("取消"))
                QTest::mouseClick(b, Qt::LeftButton);
    });
    cancel.start(0);
    for (const char* name : {"earlier.pdf", "earlier.pnlr"}) {
        seen = false;
        testsupport::writeFile(path(name), "the earlier file");
        if (QByteArray(name).endsWith("pdf")) {
            p.setProperty(report::Preview::kExportPathProperty, path(name));
            action(p, "actExportPdf")->trigger();  // the boundary swallows the abort
        } else {
            EXPECT_THROW(p.saveToFile(path(name)), EAbort);
        }
        EXPECT_TRUE(seen) << name;
        EXPECT_EQ(testsupport::readAll(path(name)), QByteArray("the earlier file")) << name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
    // Not cancelled, both finish and the box goes.
    cancel.stop();
    p.saveToFile(path("earlier.pnlr"));
    EXPECT_EQ(report::PreparedReport::load(path("earlier.pnlr")).pageCount(), p.pageCount());
    EXPECT_EQ(p.findChild<QProgressDialog*>(QStringLiteral("progressBox")), nullptr);
    ui::JobProgress::setShowAfterMs(400);
}

// The PDF is written without a paint engine: it must look like the page the preview paints
// (every dark pixel of one near a dark pixel of the other), hold each face as one embedded
// font with a Unicode map, and give its text back.
TEST_F(PreviewTest, PdfLooksLikeThePaintedPageAndKeepsItsText) {
    if (!havePdfToText() || QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        GTEST_SKIP() << "poppler-utils not installed";
    report::Preview p(rep);
    p.exportPdf(path("look.pdf"));
    QProcess ppm;
    ppm.start(QStringLiteral("pdftoppm"),
              {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-gray"),
               QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
               QStringLiteral("-png"), path("look.pdf"), path("look")});
    ASSERT_TRUE(ppm.waitForFinished(30000));
    QImage fromPdf(path("look-1.png"));
    ASSERT_FALSE(fromPdf.isNull());
    QImage painted(fromPdf.size(), QImage::Format_RGB32);
    painted.setDotsPerMeterX(qRound(100 / 0.0254));
    painted.setDotsPerMeterY(qRound(100 / 0.0254));
    painted.fill(Qt::white);
    {
        QPainter painter(&painted);
        rep.paintPage(painter, 0);
    }
    const auto dark = [](const QImage& img, int x, int y) { return qGray(img.pixel(x, y)) < 110; };
    const auto nearDark = [&](const QImage& img, int x, int y) {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const int px = x + dx, py = y + dy;
                if (px >= 0 && py >= 0 && px < img.width() && py < img.height() &&
                    dark(img, px, py))
                    return true;
            }
        return false;
    };
    for (const auto& [one, other, what] :
         {std::tuple{&fromPdf, &painted, "PDF"}, std::tuple{&painted, &fromPdf, "painted"}}) {
        int darkCount = 0, matched = 0;
        for (int y = 0; y < one->height(); ++y)
            for (int x = 0; x < one->width(); ++x)
                if (dark(*one, x, y)) {
                    ++darkCount;
                    matched += nearDark(*other, x, y);
                }
        ASSERT_GT(darkCount, 5000) << what;
        // About 0.99 when they agree; a baseline half an ascent off gives 0.96.
        EXPECT_GT(double(matched) / darkCount, 0.98)
            << what << ": " << matched << " of " << darkCount;
    }
    QProcess fonts;
    fonts.start(QStringLiteral("pdffonts"), {path("look.pdf")});
    ASSERT_TRUE(fonts.waitForFinished(30000));
    const QStringList lines = QString::fromUtf8(fonts.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + 2)
        << lines.join(QLatin1Char('\n')).toStdString();  // 9 pt, 18 pt bold
    for (const QString& l : lines.mid(2))
        EXPECT_TRUE(l.contains(QRegularExpression(QStringLiteral("Type 3 +Custom +yes +no +yes"))))
            << l.toStdString();
    const QString text = pdfText(path("look.pdf"));
    for (const char* s : {"S05-001", "一部", "HS01", "第 1 页 共 2 页"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(s)) ||
                    text.contains(QRegularExpression(
                        QString::fromUtf8(s).replace(QLatin1Char(' '), QStringLiteral("\\s+")))))
            << s;
}
