// Printing the statement through a real print system: a cupsd of the test's own with a queue
// that writes PDF. What reaches the queue is read back twice: the document as submitted
// (text) and what the queue's filters produced (pages, paper, pixels against the preview).
// The faults a user meets (a queue that refuses, is gone or paused, a print system that is
// down or silent, a cancelled print) each end in a clear message and leave no job.
#include "framework/report/cupsqueue.h"
#include "framework/report/preview.h"
#include "framework/report/printjob.h"
#include "framework/text/errors.h"
#include "framework/ui/boundary.h"
#include "framework/ui/messages.h"
#include "paperreader.h"
#include "statementdata.h"
#include "support/cupsfixture.h"
#include "support/keyboard.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTransform>

namespace {

using testsupport::CupsFixture;

class CupsPrint : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::instance();
        if (!cups.running())
            GTEST_SKIP() << cups.skipReason().toStdString();
        if (!paper::havePoppler())
            GTEST_SKIP() << "poppler-utils not installed";
        cups.addFileQueue(QStringLiteral("pnl"));
        previous = ui::setMessagePresenter(&shown);
        ds = stmt::makeResult();
        stmt::addRows(*ds, 80);  // three pages
        ds->Open();
        rep = stmt::printAndCapture(*ds);
        ASSERT_EQ(rep.pageCount(), 3);
    }
    void TearDown() override { ui::setMessagePresenter(previous); }

    QPrinter& printerFor(const QString& queue, int copies = 1, int from = 0, int to = 0) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setPrinterName(queue);
        m_printer->setCopyCount(copies);
        if (from > 0) {
            m_printer->setPrintRange(QPrinter::PageRange);
            m_printer->setFromTo(from, to);
        }
        return *m_printer;
    }
    static int jobOf(const QString& status) {
        return QRegularExpression(QStringLiteral("打印作业 (\\d+) "))
            .match(status)
            .captured(1)
            .toInt();
    }
    // Produced page `page` turned back to landscape against the preview's page `index`.
    double producedMatches(const QString& pdf, int page, int index) {
        const QImage produced = paper::render(pdf, page, scratch.path());
        EXPECT_FALSE(produced.isNull());
        const QImage upright = produced.height() > produced.width()
                                   ? produced.transformed(QTransform().rotate(90))
                                   : produced;
        const QImage painted = paper::painted(rep, index, upright);
        return std::min(paper::darkMatch(upright, painted), paper::darkMatch(painted, upright));
    }

    CupsFixture cups;
    ui::RecordingPresenter shown;
    ui::MessagePresenter* previous = nullptr;
    std::unique_ptr<testsupport::MemDataSet> ds;
    report::PreparedReport rep;
    QTemporaryDir scratch;
    std::unique_ptr<QPrinter> m_printer;
};

QPushButton* buttonWith(QWidget* dialog, const QString& text) {
    for (auto* b : dialog->findChildren<QPushButton*>())
        if (b->text().contains(text))
            return b;
    return nullptr;
}

// Keys to a widget of the open print dialog once it has the focus. The dialog is not shown
// again for it: showing Qt's print dialog resets its fields from the printer.
void keysTo(QWidget* target, std::initializer_list<Qt::Key> keys, const QString& text = {}) {
    target->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(target->hasFocus() || target->isAncestorOf(QApplication::focusWidget()))
        << target->objectName().toStdString();
    for (Qt::Key k : keys)
        QTest::keyClick(static_cast<QWidget*>(nullptr), k,
                        k == Qt::Key_A ? Qt::ControlModifier : Qt::NoModifier);
    if (!text.isEmpty())
        QTest::keyClicks(static_cast<QWidget*>(nullptr), text);
}

// Fills Qt's print dialog the way a user does: the printer typed into its list (or the last
// entry, 打印到文件, and a file name), the options opened, copies and pages typed, collation
// ticked off, Enter.
void answerPrintDialog(const QString& printer, int copies, int from, int to,
                       const QString& file = {}) {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    (void)QTest::qWaitForWindowActive(dialog);
    auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers"));
    ASSERT_NE(printers, nullptr);
    if (file.isEmpty()) {
        keysTo(printers, {}, printer);
        ASSERT_EQ(printers->currentText(), printer);
    } else {
        keysTo(printers, {Qt::Key_End});
    }
    QPushButton* more = buttonWith(dialog, QStringLiteral(">>"));
    ASSERT_NE(more, nullptr);
    keysTo(more, {Qt::Key_Space});
    const auto typeInto = [&](const char* name, int value) {
        auto* box = dialog->findChild<QSpinBox*>(QString::fromLatin1(name));
        ASSERT_NE(box, nullptr) << name;
        keysTo(box, {Qt::Key_A}, QString::number(value));
    };
    typeInto("copies", copies);
    if (auto* collate = dialog->findChild<QCheckBox*>(QStringLiteral("collate"));
        collate && collate->isEnabled() && collate->isChecked())
        keysTo(collate, {Qt::Key_Space});
    if (from > 0) {
        auto* range = dialog->findChild<QRadioButton*>(QStringLiteral("printRange"));
        ASSERT_NE(range, nullptr);
        keysTo(range, {Qt::Key_Space});
        typeInto("to", to);  // first, so that the start is never past the end
        typeInto("from", from);
    }
    if (!file.isEmpty()) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
        ASSERT_NE(name, nullptr);
        // Its completion list would take keys meant for the dialog as it comes and goes
        // while the folder is read; the name is typed without it.
        name->setCompleter(nullptr);
        keysTo(name, {Qt::Key_A}, file);
        ASSERT_EQ(name->text(), file);
    }
    keysTo(printers, {Qt::Key_Return});
}

// Answers the dialog, or closes it when the answer failed, so that the test goes on.
void answerOrClose(const QString& printer, int copies, int from, int to, const QString& file = {}) {
    QWidget* dialog = QApplication::activeModalWidget();
    answerPrintDialog(printer, copies, from, to, file);
    if (dialog && dialog->isVisible())
        dialog->close();
}

TEST_F(CupsPrint, ThePreviewsPrintReachesTheQueueAsTheDialogChose) {
    QString status;
    setPreviewHook([&](report::Preview& p) {
        QTimer::singleShot(0, [] { answerOrClose(QStringLiteral("pnl"), 2, 2, 3); });
        p.findChild<QAction*>(QStringLiteral("actPrint"))->trigger();
        status = p.printStatus();
        p.close();
    });
    RunPrint(ds.get(), QStringLiteral("全公司"), QStringLiteral("2005年03月份"), 0, 2005, 3, 7);
    setPreviewHook(nullptr);
    ASSERT_TRUE(shown.shown.empty()) << shown.shown.front().text.toStdString();
    const int job = jobOf(status);
    ASSERT_GT(job, 0) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("“pnl”（2 页，2 份）"))) << status.toStdString();
    ASSERT_EQ(cups.waitForJob(job), IPP_JSTATE_COMPLETED) << cups.logTail().toStdString();

    const auto attrs = cups.jobAttributes(job);
    EXPECT_EQ(attrs.value(QStringLiteral("job-name")), QStringLiteral("出口盈亏表 2005年03月份"));
    EXPECT_EQ(attrs.value(QStringLiteral("copies")), QStringLiteral("2"));
    EXPECT_EQ(attrs.value(QStringLiteral("page-ranges")), QStringLiteral("2-3"));
    EXPECT_EQ(attrs.value(QStringLiteral("media")), QStringLiteral("iso_a4_210x297mm"));
    EXPECT_EQ(attrs.value(QStringLiteral("orientation-requested")), QStringLiteral("landscape"));
    EXPECT_EQ(attrs.value(QStringLiteral("multiple-document-handling")),
              QStringLiteral("separate-documents-uncollated-copies"));
    EXPECT_TRUE(cups.run(QStringLiteral("lpstat"),
                         {QStringLiteral("-W"), QStringLiteral("completed"), QStringLiteral("-o")})
                    .contains(QStringLiteral("pnl-%1 ").arg(job)));

    // As submitted: every prepared page, our writer's text.
    const QString submitted = cups.submittedDocument(job);
    EXPECT_EQ(paper::info(submitted).pages, 3);
    const QString text = paper::text(submitted);
    for (const char* pattern : {"出\\s*口\\s*盈\\s*亏\\s*表", "打印对象:全公司", "【2005年03月份】",
                                "合\\s+计", "120\\.00", "240\\.00"})
        EXPECT_TRUE(text.contains(QRegularExpression(QString::fromUtf8(pattern)))) << pattern;

    // As produced: pages 2 and 3, each twice, on A4 paper, the landscape page the right way
    // round (turned back, it is the preview's page).
    const QString produced = cups.output(QStringLiteral("pnl"));
    const paper::Info out = paper::info(produced);
    EXPECT_EQ(out.pages, 4);
    EXPECT_NEAR(out.sizePt.width(), 595, 1.5);
    EXPECT_NEAR(out.sizePt.height(), 842, 1.5);
    EXPECT_GE(producedMatches(produced, 1, 1), 0.98);
    EXPECT_GE(producedMatches(produced, 3, 2), 0.98);
}

TEST_F(CupsPrint, CollationDecidesTheOrderOfTheCopies) {
    const struct {
        bool collate;
        std::vector<int> pages;
    } cases[] = {{true, {1, 2, 1, 2}}, {false, {1, 1, 2, 2}}};
    for (const auto& c : cases) {
        report::Preview preview(rep);
        QPrinter& printer = printerFor(QStringLiteral("pnl"), 2, 1, 2);
        printer.setCollateCopies(c.collate);
        preview.print(printer);
        const int job = jobOf(preview.printStatus());
        ASSERT_EQ(cups.waitForJob(job), IPP_JSTATE_COMPLETED)
            << preview.printStatus().toStdString();
        const QString produced = cups.output(QStringLiteral("pnl"));
        ASSERT_EQ(paper::info(produced).pages, 4) << c.collate;
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(paper::text(produced, i + 1)
                            .contains(QRegularExpression(
                                QStringLiteral("第\\s+%1\\s+页\\s+共\\s+3\\s+页").arg(c.pages[i]))))
                << "collate " << c.collate << ", sheet " << i + 1;
    }
}

// A socket that takes connections and never answers, as a hung print system does.
class SilentServer {
public:
    explicit SilentServer(const QString& path) : m_path(path.toUtf8()) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", m_path.constData());
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_fd, 8) != 0)
            ADD_FAILURE() << "cannot listen on " << m_path.constData();
    }
    ~SilentServer() {
        ::close(m_fd);
        ::unlink(m_path.constData());
    }

private:
    QByteArray m_path;
    int m_fd = -1;
};

TEST_F(CupsPrint, EachFaultGivesAClearMessageWithinSecondsAndLeavesNoJob) {
    cups.addFileQueue(QStringLiteral("good"));
    const QString silentPath = QDir(scratch.path()).filePath(QStringLiteral("silent.sock"));
    std::unique_ptr<SilentServer> silent;
    const struct Case {
        const char* what;
        std::function<void()> arrange;
        int copies;
        const char* message;
        bool systemUp;
    } cases[] = {
        {"a queue that refuses jobs",
         [&] { cups.run(QStringLiteral("cupsreject"), {QStringLiteral("pnl")}); }, 1,
         "打印机“pnl”目前不接受打印作业", true},
        {"a job the queue rejects (more copies than it allows)",
         [&] { cups.run(QStringLiteral("cupsaccept"), {QStringLiteral("pnl")}); }, 150,
         "打印机“pnl”拒绝了打印作业", true},
        {"a queue deleted since the dialog listed it",
         [&] {
             cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("pnl")});
         },
         1, "打印机“pnl”已不存在", true},
        {"a print system that does not answer",
         [&] {
             silent = std::make_unique<SilentServer>(silentPath);
             cupsSetServer(silentPath.toUtf8().constData());
         },
         1, "没有应答", false},
        {"a print system that is not running", [&] { cups.stop(); }, 1, "无法连接打印系统", false},
    };
    report::Preview preview(rep);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shown.shown.clear();
        // Chosen while the queue was there (Qt turns a printer it does not know into a file).
        QPrinter& printer = printerFor(QStringLiteral("pnl"), c.copies);
        ASSERT_EQ(printer.outputFormat(), QPrinter::NativeFormat);
        c.arrange();
        QElapsedTimer clock;
        clock.start();
        // As the 打印 action runs it: inside the event boundary.
        EXPECT_FALSE(ui::guarded([&] { preview.print(printer); }));
        EXPECT_LT(clock.elapsed(), 8000);
        ASSERT_EQ(shown.shown.size(), 1u);
        EXPECT_EQ(shown.shown[0].kind, ui::BoxKind::Error);
        EXPECT_TRUE(shown.shown[0].text.contains(QString::fromUtf8(c.message)))
            << shown.shown[0].text.toStdString();
        // The preview goes on: its pages, and a print to a queue that works.
        preview.setPage(2);
        EXPECT_EQ(preview.currentPage(), 2);
        cupsSetServer(cups.socketPath().toUtf8().constData());
        if (c.systemUp) {
            EXPECT_TRUE(cups.allJobs().join(QLatin1Char('\n')).indexOf(QStringLiteral("pnl-")) < 0);
            preview.print(printerFor(QStringLiteral("good")));
            EXPECT_EQ(cups.waitForJob(jobOf(preview.printStatus())), IPP_JSTATE_COMPLETED);
        }
    }
}

TEST_F(CupsPrint, APausedQueueTakesTheJobAndSaysThatItWaits) {
    cups.run(QStringLiteral("cupsdisable"), {QStringLiteral("pnl")});
    report::Preview preview(rep);
    preview.print(printerFor(QStringLiteral("pnl")));
    const int job = jobOf(preview.printStatus());
    ASSERT_GT(job, 0);
    ASSERT_EQ(shown.shown.size(), 1u);
    EXPECT_EQ(shown.shown[0].kind, ui::BoxKind::Message);
    EXPECT_TRUE(shown.shown[0].text.contains(
        QStringLiteral("打印机“pnl”已暂停，打印作业 %1 在队列中等待").arg(job)))
        << shown.shown[0].text.toStdString();
    EXPECT_EQ(cups.waitForJob(job, 1500), IPP_JSTATE_PENDING);
    cups.run(QStringLiteral("cupsenable"), {QStringLiteral("pnl")});
    EXPECT_EQ(cups.waitForJob(job), IPP_JSTATE_COMPLETED);
}

TEST_F(CupsPrint, CancellingLeavesNoJobBehind) {
    // In the progress box, while the pages of a long statement are written: long enough
    // (4,000 pages) that the box comes up after its 400 ms even with a much faster writer.
    auto big = stmt::makeResult();
    stmt::addRows(*big, 29 * 4000);
    big->Open();
    const report::PreparedReport longOne = stmt::printAndCapture(*big);
    report::Preview preview(longOne);
    bool clicked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (auto* box : preview.findChildren<QProgressDialog*>())
            if (box->isVisible() && !clicked) {
                if (QPushButton* cancel = buttonWith(box, QStringLiteral("取消"))) {
                    QTest::mouseClick(cancel, Qt::LeftButton);
                    clicked = true;
                }
            }
    });
    poll.start(20);
    preview.print(printerFor(QStringLiteral("pnl")));
    poll.stop();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(preview.printStatus(), QStringLiteral("打印已取消。"));
    EXPECT_TRUE(shown.shown.empty());
    EXPECT_TRUE(cups.allJobs().isEmpty()) << cups.allJobs().join(QLatin1Char('\n')).toStdString();

    // And while the document is being sent: the job already made is cancelled and purged.
    QByteArray pdf(3 * 1024 * 1024, ' ');
    report::CupsQueue queue(QStringLiteral("pnl"));
    report::CupsJobOptions options;
    options.jobName = QStringLiteral("出口盈亏表 取消");
    EXPECT_THROW(queue.submit(pdf, options, [](qint64, qint64) { return false; }), EAbort);
    EXPECT_TRUE(cups.allJobs().isEmpty()) << cups.allJobs().join(QLatin1Char('\n')).toStdString();
}

TEST_F(CupsPrint, PrintToFileWritesOurPdfOfTheChosenPages) {
    const QString file = QDir(scratch.path()).filePath(QStringLiteral("printed.pdf"));
    report::Preview preview(rep);
    QTimer::singleShot(0, [&] { answerOrClose({}, 1, 2, 2, file); });
    preview.findChild<QAction*>(QStringLiteral("actPrint"))->trigger();
    ASSERT_TRUE(shown.shown.empty()) << shown.shown.front().text.toStdString();
    EXPECT_EQ(preview.printStatus().toStdString(),
              QStringLiteral("已打印到文件 %1（1 页）。").arg(file).toStdString());
    EXPECT_EQ(paper::info(file).pages, 1);
    EXPECT_TRUE(paper::text(file).contains(QRegularExpression(QStringLiteral("第\\s+2\\s+页"))));
    // Our writer's fonts (Type 3 made from the outlines), not Qt's engine's.
    EXPECT_TRUE(paper::run(QStringLiteral("pdffonts"), {file}).contains(QStringLiteral("Type 3")));
    EXPECT_TRUE(cups.allJobs().isEmpty());
}

// The dialog's choices as the print system is asked for them.
TEST(CupsJobOptions, FollowThePrintersChoicesAndTheLayout) {
    ui::Application::instance();
    const struct {
        int copies;
        bool collate;
        int from, to;
        QSizeF paper;
        QStringList expected;
    } cases[] = {
        {1,
         true,
         0,
         0,
         {297, 210},
         {"copies=1", "multiple-document-handling=separate-documents-collated-copies",
          "media=iso_a4_210x297mm", "orientation-requested=4", "sides=one-sided"}},
        {3,
         false,
         2,
         5,
         {297, 210},
         {"copies=3", "multiple-document-handling=separate-documents-uncollated-copies",
          "page-ranges=2-5", "media=iso_a4_210x297mm", "orientation-requested=4",
          "sides=one-sided"}},
        {1,
         true,
         0,
         0,
         {210, 297},
         {"copies=1", "multiple-document-handling=separate-documents-collated-copies",
          "media=iso_a4_210x297mm", "orientation-requested=3", "sides=one-sided"}},
    };
    for (const auto& c : cases) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setCopyCount(c.copies);
        printer.setCollateCopies(c.collate);
        if (c.from > 0) {
            printer.setPrintRange(QPrinter::PageRange);
            printer.setFromTo(c.from, c.to);
        }
        const report::CupsJobOptions o =
            report::jobOptionsFor(printer, c.paper, QStringLiteral("J"));
        QStringList got;
        for (const auto& [name, value] : o.pairs()) got << QString::fromUtf8(name + '=' + value);
        EXPECT_EQ(got.join(QLatin1Char(' ')).toStdString(),
                  c.expected.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(report::chosenPages(printer, 4).size(), c.from > 0 ? 3u : 4u);
    }
}

}  // namespace
