// The preview window over the statement's report: named actions, page moves and indicator,
// zoom, save and load, PDF export (also headless through the export-path property), and a
// page rendered to an image.
#include "framework/report/preview.h"

#include "framework/text/errors.h"
#include "report/tfrmexportprn.h"
#include "statementdata.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

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
