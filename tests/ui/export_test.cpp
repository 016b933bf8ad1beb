// The statement taken to a spreadsheet through the window: Ctrl+E and Ctrl+Shift+E on the
// grid (as a keyboard sends them), the files read back (the workbook by a reader of our
// own over its zip and XML), and exports that fail or are cancelled leaving nothing behind.
#include "framework/grid/dbgrid.h"
#include "framework/text/errors.h"
#include "keyboard.h"
#include "smallfs.h"
#include "ui/frmmain.h"
#include "ui/statementexport.h"
#include "windowenv.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <tuple>

#include <gtest/gtest.h>

namespace {

using windowtest::WindowEnv;

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.setClock("2024-03-15 10:00:00");
        env.setCompany(QStringLiteral("泰沃"));
        env.setCwYears(2003, 2006);
        env.setRows({{QStringLiteral("A1"), QString(), QStringLiteral("10"), QStringLiteral("7.5")},
                     {QStringLiteral("A2"), QStringLiteral("*"), QStringLiteral("5.5"),
                      QStringLiteral("1234567.891")}});
        env.connect();
        w = env.openWindow();
        ASSERT_TRUE(env.errors().isEmpty()) << env.errors().join(QLatin1Char('\n')).toStdString();
    }
    QString path(const char* name) const { return QDir(tmp.path()).filePath(QLatin1String(name)); }
    // Exports through the grid's shortcut, as the user's keyboard does.
    void press(const QString& target, bool excel) {
        w->setProperty(Tfrmmain::kExportPathProperty, target);
        testsupport::pressKeys(
            w->DBGridEh1, {Qt::Key_E},
            excel ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
    }
    QJsonObject readWorkbook(const QString& file) {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(EXPORTPNL_SOURCE_DIR "/tests/ui/xlsx_dump.py"), file});
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }

    WindowEnv env;
    Tfrmmain* w = nullptr;
    QTemporaryDir tmp;
};

TEST_F(ExportTest, WorkbookHoldsHeadingTitlesRowsAsNumbersAndTotals) {
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "python3 is needed to read the workbook back";
    press(path("statement"), true);
    ASSERT_TRUE(env.errors().isEmpty()) << env.errors().join(QLatin1Char('\n')).toStdString();
    const QString file = path("statement.xlsx");  // the suffix the user did not type
    ASSERT_TRUE(QFile::exists(file));
    const QJsonObject book = readWorkbook(file);
    const QJsonObject cells = book[QStringLiteral("cells")].toObject();
    auto cell = [&](const char* ref) { return cells[QLatin1String(ref)].toArray(); };
    EXPECT_EQ(cell("A1")[0].toString(), QStringLiteral("泰沃--出口盈亏表"));
    EXPECT_EQ(cell("A2")[0].toString(), QStringLiteral("查看对象:全公司"));
    EXPECT_EQ(cell("A3")[0].toString(), QStringLiteral("时间段:2024年03月份"));
    EXPECT_EQ(cell("A4")[0].toString(), QStringLiteral("打印日期:2024/3/15"));
    const char* titles[] = {"运编号",     "标志",       "部门",     "收入美元",   "收入人民币",
                            "运费美元",   "运费人民币", "保费美元", "保费人民币", "佣金美元",
                            "佣金人民币", "成本",       "核算单",   "利润",       "净收汇"};
    for (int c = 0; c < 15; ++c) {
        const QString ref = QString(QChar('A' + c)) + QStringLiteral("5");
        EXPECT_EQ(cells[ref].toArray()[0].toString(), QString::fromUtf8(titles[c])) << c;
    }
    EXPECT_EQ(cell("A6")[0].toString(), QStringLiteral("A1"));
    EXPECT_EQ(cell("D6")[0].toDouble(), 10.0);
    EXPECT_EQ(cell("D6")[1].toString(), QStringLiteral("0.00"));
    EXPECT_EQ(cell("B7")[0].toString(), QStringLiteral("*"));
    EXPECT_EQ(cell("L7")[0].toDouble(), 1234567.891);  // money keeps its four decimals
    EXPECT_EQ(cell("A8")[0].toString(), QStringLiteral("合计"));
    EXPECT_EQ(cell("D8")[0].toDouble(), 15.5);
    EXPECT_EQ(cell("D8")[1].toString(), QStringLiteral("0.00"));
    EXPECT_EQ(cell("L8")[0].toDouble(), 1234575.391);
    const QJsonObject pane = book[QStringLiteral("pane")].toObject();
    EXPECT_EQ(pane[QStringLiteral("xSplit")].toString(), QStringLiteral("2"));
    EXPECT_EQ(pane[QStringLiteral("ySplit")].toString(), QStringLiteral("5"));
    const QJsonObject page = book[QStringLiteral("page")].toObject();
    EXPECT_EQ(page[QStringLiteral("orientation")].toString(), QStringLiteral("landscape"));
    EXPECT_EQ(page[QStringLiteral("paperSize")].toString(), QStringLiteral("9"));
    // The cost column is wide enough for its longest value, 1234575.39.
    EXPECT_GE(book[QStringLiteral("widths")].toObject()[QStringLiteral("12")].toDouble(), 10.0);
}

TEST_F(ExportTest, CsvInUtf8WithBomOrInGbk) {
    press(path("a"), false);
    QFile utf8(path("a.csv"));
    ASSERT_TRUE(utf8.open(QIODevice::ReadOnly));
    const QByteArray bytes = utf8.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 8);
    EXPECT_EQ(lines[0], QStringLiteral("泰沃--出口盈亏表"));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("运编号,标志,部门,收入美元,")));
    EXPECT_TRUE(lines[5].startsWith(QStringLiteral("A1,,")));
    EXPECT_TRUE(lines[5].contains(QStringLiteral(",10.00,"))) << lines[5].toStdString();
    EXPECT_TRUE(lines[6].contains(QStringLiteral(",1234567.891,"))) << lines[6].toStdString();
    EXPECT_TRUE(lines[7].startsWith(QStringLiteral("合计,,,15.50,")));

    w->setProperty(Tfrmmain::kExportGbkProperty, true);
    press(path("b.csv"), false);
    QFile gbk(path("b.csv"));
    ASSERT_TRUE(gbk.open(QIODevice::ReadOnly));
    const QByteArray gbkBytes = gbk.readAll();
    EXPECT_FALSE(gbkBytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(gbkBytes.startsWith(QByteArray("\xCC\xA9\xCE\xD6--", 6)));  // 泰沃 in GBK
}

TEST_F(ExportTest, FailedExportIsReportedAndLeavesNoFile) {
    press(path("no/such/folder/x.xlsx"), true);
    ASSERT_EQ(env.errors().size(), 1);
    EXPECT_TRUE(env.errors().first().contains(QStringLiteral("x.xlsx")))
        << env.errors().first().toStdString();
    env.clearMessages();
    press(path("no/such/folder/x.csv"), false);
    ASSERT_EQ(env.errors().size(), 1);
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

// A cancelled export leaves the file that was there before as it was, and no part file.
TEST_F(ExportTest, CancelledExportKeepsTheOldFile) {
    db::RowStore rows;
    rows.setColumns({{QStringLiteral("n"), db::FieldType::Currency, 0}});
    for (int i = 0; i < 5000; ++i) {
        rows.beginRow();
        rows.appendCurrency(i);
        rows.endRow();
    }
    ui::StatementExport s;
    s.rows = &rows;
    s.columns = {{QStringLiteral("n"), 0, true, std::nullopt, QString()}};
    for (const char* name : {"old.xlsx", "old.csv"}) {
        QFile old(path(name));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("before");
        old.close();
        const auto cancel = [](int done) { return done < 4000; };
        if (QString::fromLatin1(name).endsWith(QStringLiteral("xlsx")))
            EXPECT_THROW(ui::writeXlsx(s, path(name), cancel), EAbort);
        else
            EXPECT_THROW(ui::writeCsv(s, path(name), ui::CsvEncoding::Utf8WithBom, cancel), EAbort);
        QFile again(path(name));
        ASSERT_TRUE(again.open(QIODevice::ReadOnly));
        EXPECT_EQ(again.readAll(), QByteArray("before")) << name;
    }
    EXPECT_EQ(
        QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).size(),
        2);
}

// A full disk: before, a CSV export reported nothing and left an empty or cut file in place
// of the earlier one. Now the error names the cause, the earlier file stays and nothing
// partial is left, for the workbook too; with nothing left or with 4 kB left.
TEST_F(ExportTest, AFullDiskIsReportedAndKeepsTheEarlierFile) {
    EXPORTPNL_WHERE_MOUNTS_WORK();
    std::vector<windowtest::ResultRow> many;
    for (int i = 0; i < 400; ++i)
        many.push_back({QStringLiteral("HS26-%1").arg(i, 5, 10, QLatin1Char('0')), QString(),
                        QStringLiteral("%1.25").arg(i), QStringLiteral("%1").arg(i * 7)});
    env.setRows(many);
    w->RunStatistics();
    for (bool excel : {true, false}) {
        for (qint64 left : {0, 4096}) {
            testsupport::SmallFilesystem disk(512);
            ASSERT_TRUE(disk.mounted()) << disk.why().toStdString();
            const QString name =
                excel ? QStringLiteral("statement.xlsx") : QStringLiteral("statement.csv");
            const QString target = disk.path(name);
            testsupport::writeFile(target, "the earlier file");
            disk.fill(left);
            env.clearMessages();
            press(target, excel);
            ASSERT_EQ(env.errors().size(), 1) << name.toStdString() << " " << left;
            EXPECT_EQ(env.errors().first(),
                      QStringLiteral("无法写入文件“%1”：磁盘已满").arg(target));
            EXPECT_EQ(testsupport::readAll(target), QByteArray("the earlier file"));
            EXPECT_EQ(disk.entries(), QStringList{name}) << left;
        }
    }
}

// Rows of a result made in the test: a text column, a money column and a float column.
struct Made {
    db::RowStore rows;
    ui::StatementExport statement;
};

std::unique_ptr<Made> made(
    const std::vector<std::tuple<QString, std::optional<std::int64_t>, double>>& values,
    std::optional<db::Scaled4> total = std::nullopt) {
    auto m = std::make_unique<Made>();
    m->rows.setColumns({{QStringLiteral("invoiceno"), db::FieldType::String, 0},
                        {QStringLiteral("srUSD"), db::FieldType::Currency, 0},
                        {QStringLiteral("rate"), db::FieldType::Float, 0}});
    for (const auto& [text, money, real] : values) {
        m->rows.beginRow();
        m->rows.appendText(text.toStdString());
        if (money)
            m->rows.appendCurrency(*money);
        else
            m->rows.appendNull();
        m->rows.appendFloat(real);
        m->rows.endRow();
    }
    m->statement.title = QStringLiteral("=泰沃--出口盈亏表");  // a company name from the database
    m->statement.heading = {QStringLiteral("查看对象:全公司")};
    m->statement.rows = &m->rows;
    m->statement.columns = {
        {QStringLiteral("运编号"), 0, false, std::nullopt, QStringLiteral("合计")},
        {QStringLiteral("收入美元"), 1, true, total, QString()},
        {QStringLiteral("汇率"), 2, false, std::nullopt, QString()}};
    return m;
}

// Before, amounts past 15 digits went through a double (12345678901234.5678 came out as
// 12345678901234.60) and a text such as =HYPERLINK(...) reached the spreadsheet as a formula.
TEST_F(ExportTest, CsvAmountsAreExactAndFormulasStayText) {
    const auto m = made({{QStringLiteral("=1+1"), 123456789012345678LL, 0.5},
                         {QStringLiteral("-5"), -125000, -2.5},
                         {QStringLiteral("@SUM(A1)"), 90071992547409930LL, 1e300},
                         {QStringLiteral("+cmd|' /C calc'!A0"), std::nullopt, 0},
                         {QStringLiteral("\tx"), 1, qInf()}},
                        db::Scaled4{123456789012345678LL} * 1000);
    ui::writeCsv(m->statement, path("exact.csv"), ui::CsvEncoding::Utf8WithBom);
    const QStringList lines = QString::fromUtf8(testsupport::readAll(path("exact.csv")).mid(3))
                                  .split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 9);
    EXPECT_EQ(lines[0], QStringLiteral("'=泰沃--出口盈亏表"));
    EXPECT_EQ(lines[3], QStringLiteral("'=1+1,12345678901234.5678,0.5"));
    EXPECT_EQ(lines[4], QStringLiteral("'-5,-12.50,-2.5")) << "a real negative number stays one";
    EXPECT_EQ(lines[5], QStringLiteral("'@SUM(A1),9007199254740.993,1e+300"));
    EXPECT_EQ(lines[6], QStringLiteral("'+cmd|' /C calc'!A0,,0"));
    EXPECT_EQ(lines[7], QStringLiteral("'\tx,0.0001,inf"));
    EXPECT_EQ(lines[8], QStringLiteral("合计,12345678901234567.80,"));

    // What a spreadsheet program makes of it: the texts as texts, the amounts as numbers.
    if (QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty())
        GTEST_SKIP() << "ssconvert (gnumeric) is not installed";
    QProcess convert;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), tmp.path());
    convert.setProcessEnvironment(env);
    convert.start(QStringLiteral("ssconvert"), {path("exact.csv"), path("back.csv")});
    ASSERT_TRUE(convert.waitForFinished(60000));
    ASSERT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
    const QString back = QString::fromUtf8(testsupport::readAll(path("back.csv")));
    EXPECT_TRUE(back.contains(QStringLiteral("\n=1+1,"))) << back.toStdString();
    EXPECT_TRUE(back.contains(QStringLiteral("\n@SUM(A1),"))) << back.toStdString();
    EXPECT_FALSE(back.contains(QStringLiteral("\n2,"))) << "=1+1 was evaluated";
}

// Before, rows past the sheet's 1,048,576 (and the totals with them) and texts past 32,767
// characters were dropped without a word, a NUL cut a text short and an infinity became an
// INF number cell. Limits made small here so that the same code runs over a few rows.
TEST_F(ExportTest, WorkbookGoesOnOverFurtherSheetsAndSaysWhatItChanged) {
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "python3 is needed to read the workbook back";
    const auto text = [](const QJsonObject& cells, const QString& ref) {
        const QJsonArray cell = cells.value(ref).toArray();
        return cell.isEmpty() ? QString() : cell.first().toString();
    };
    const ui::XlsxLimits limits{8, 12};  // 3 heading rows, 5 data rows a sheet; 12 characters
    const struct {
        int rows;
        int sheets;
        int totalsRow;  // on the last sheet
    } cases[] = {{3, 1, 7}, {4, 1, 8}, {5, 2, 4}, {11, 3, 5}};
    for (const auto& c : cases) {
        std::vector<std::tuple<QString, std::optional<std::int64_t>, double>> values;
        for (int r = 0; r < c.rows; ++r)
            values.push_back({QStringLiteral("HS%1").arg(r), r * 10000, 1.5});
        const auto m = made(values, 10000);
        const ui::XlsxOutcome outcome = ui::writeXlsx(m->statement, path("big.xlsx"), {}, limits);
        EXPECT_EQ(outcome.sheets, c.sheets) << c.rows;
        const QJsonArray sheets =
            readWorkbook(path("big.xlsx"))[QStringLiteral("sheets")].toArray();
        ASSERT_EQ(sheets.size(), c.sheets) << c.rows;
        int seen = 0;
        for (int i = 0; i < sheets.size(); ++i) {
            const QJsonObject cells = sheets[i].toObject()[QStringLiteral("cells")].toObject();
            EXPECT_EQ(text(cells, QStringLiteral("A3")), QStringLiteral("运编号"))
                << "titles repeated on sheet " << i + 1;
            for (int row = 4; row <= 8; ++row)
                if (text(cells, QStringLiteral("A%1").arg(row)).startsWith(QStringLiteral("HS")))
                    ++seen;
        }
        EXPECT_EQ(seen, c.rows) << "every row once";
        const QJsonObject last = sheets.last().toObject()[QStringLiteral("cells")].toObject();
        EXPECT_EQ(text(last, QStringLiteral("A%1").arg(c.totalsRow)), QStringLiteral("合计"))
            << c.rows;
        EXPECT_EQ(sheets.last().toObject()[QStringLiteral("name")].toString(),
                  c.sheets == 1 ? QStringLiteral("出口盈亏表")
                                : QStringLiteral("出口盈亏表 (%1)").arg(c.sheets));
    }

    const auto odd = made({{QStringLiteral("一二三四五六七八九十甲乙丙"), 1, qInf()},
                           {QStringLiteral("a") + QChar(0) + QStringLiteral("b"), 2, 1}});
    const ui::XlsxOutcome outcome = ui::writeXlsx(odd->statement, path("odd.xlsx"), {}, limits);
    EXPECT_EQ(outcome.textsCut, 1);
    EXPECT_EQ(outcome.textsWithNul, 1);
    const QJsonObject cells = readWorkbook(path("odd.xlsx"))[QStringLiteral("cells")].toObject();
    EXPECT_EQ(text(cells, QStringLiteral("A4")), QStringLiteral("一二三四五六七…[截断]"));
    EXPECT_EQ(text(cells, QStringLiteral("C4")), QStringLiteral("inf"));
    EXPECT_EQ(text(cells, QStringLiteral("A5")), QStringLiteral("a\uFFFDb"));
}

// Before, the shortcuts belonged to the grid alone, and a year box took Ctrl+E for the end
// of its line.
TEST_F(ExportTest, ShortcutsExportFromAnywhereInTheWindow) {
    struct Case {
        const char* target;
        QWidget* focus;
        bool excel;
    };
    const Case cases[] = {
        {"year.xlsx", w->cbxYear1, true},      {"month.csv", w->cbxmonth2, false},
        {"option.xlsx", w->cbxOption, true},   {"view.csv", w->btnView, false},
        {"check.xlsx", w->chkRowSelect, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        w->setProperty(Tfrmmain::kExportPathProperty, path(c.target));
        testsupport::pressKeys(
            c.focus, {Qt::Key_E},
            c.excel ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), c.focus);
        EXPECT_TRUE(QFile::exists(path(c.target)));
    }
    EXPECT_EQ(w->cbxYear1->currentText(), QStringLiteral("2024")) << "the box kept its text";
}

TEST_F(ExportTest, ContextMenuOffersBothExportsOnTheGrid) {
    for (const char* name : {"actCopy", "actExportXlsx", "actExportCsv"}) {
        auto* act = w->DBGridEh1->findChild<QAction*>(QLatin1String(name));
        ASSERT_NE(act, nullptr) << name;
        EXPECT_TRUE(w->DBGridEh1->view()->actions().contains(act)) << name;
    }
    EXPECT_EQ(w->actExportXlsx->text(), QStringLiteral("导出Excel…"));
    EXPECT_EQ(w->actExportCsv->text(), QStringLiteral("导出CSV…"));
    EXPECT_EQ(ui::proposedExportName(QStringLiteral("2024年03月份"), QStringLiteral("xlsx")),
              QStringLiteral("出口盈亏表_2024年03月份.xlsx"));
}

}  // namespace
