// The statistics run: what the server receives, the period check, the period and view
// texts, the two naming eras, and the state each kind of failure leaves behind.
#include "framework/db/query.h"
#include "framework/grid/dbgrid.h"
#include "framework/report/preview.h"
#include "plugin/dllparams.h"
#include "report/printrun.h"
#include "ui/frmmain.h"
#include "ui/globals.h"
#include "windowenv.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

using windowtest::ResultRow;
using windowtest::WindowEnv;

namespace {

const QString kBadPeriod = QStringLiteral("错误的查询时间段,请重新输入！");

struct Period {
    QString year1, month1, year2, month2;
};

void setPeriod(Tfrmmain* w, const Period& p) {
    w->cbxYear1->setEditText(p.year1);
    w->cbxMonth1->setEditText(p.month1);
    w->cbxyear2->setEditText(p.year2);
    w->cbxmonth2->setEditText(p.month2);
}

QString panel(Tfrmmain* w, int i) {
    return w->SBarPanel[i]->text();
}

class StatisticsTest : public ::testing::Test {
protected:
    void open(const QString& kind = QStringLiteral("C"), const QString& id = QString()) {
        env.setClock("2024-03-15 10:00:00");
        env.setCompany(QStringLiteral("泰沃"));
        env.setCwYears(2003, 2006);
        env.setRows({{QStringLiteral("A1"), QString(), QStringLiteral("10")},
                     {QStringLiteral("A2"), QStringLiteral("*"), QStringLiteral("5.5")}});
        env.connect(kind, id);
        w = env.openWindow();
        ASSERT_TRUE(env.errors().isEmpty()) << env.errors().join(QLatin1Char('\n')).toStdString();
        env.clearLogs();
        env.clearMessages();
    }
    void view() { w->btnView->click(); }

    WindowEnv env;
    Tfrmmain* w = nullptr;
};

// What the server sees: kind, id twice, the period texts as typed, the option as integer.
struct SentCase {
    const char* name;
    QString kind;
    QString id;
    Period period;
    int option;
    QString expectedLog;
};

class StatisticsSent : public StatisticsTest, public ::testing::WithParamInterface<SentCase> {};

TEST_P(StatisticsSent, ServerReceivesTheEightParameters) {
    const SentCase& c = GetParam();
    open(c.kind, c.id);
    setPeriod(w, c.period);
    w->cbxOption->setCurrentIndex(c.option);
    view();
    EXPECT_TRUE(env.errors().isEmpty()) << env.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(env.log("statlog"), QStringList{c.expectedLog});
    // The import always covers the financial system's whole year range, as text.
    EXPECT_EQ(env.log("importlog"), QStringList{QStringLiteral("2003|2006|text")});
    EXPECT_EQ(QueryOption, c.option);
}

INSTANTIATE_TEST_SUITE_P(Cases, StatisticsSent,
                         ::testing::Values(SentCase{"WholeCompanyAll",
                                                    "C",
                                                    "",
                                                    {"2024", "03", "2024", "03"},
                                                    0,
                                                    "C|||2024|03|2024|03|0|text|integer"},
                                           SentCase{"DepartmentUnreceived",
                                                    "D",
                                                    "03",
                                                    {"2005", "01", "2005", "03"},
                                                    1,
                                                    "D|03|03|2005|01|2005|03|1|text|integer"},
                                           SentCase{"SalespersonKernelEra",
                                                    "S",
                                                    "0012",
                                                    {"2003", "11", "2004", "02"},
                                                    0,
                                                    "S|0012|0012|2003|11|2004|02|0|text|integer"},
                                           SentCase{"MonthTypedWithoutZero",
                                                    "C",
                                                    "",
                                                    {"2005", "3", "2005", "12"},
                                                    0,
                                                    "C|||2005|3|2005|12|0|text|integer"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A period the run refuses: the message, and nothing sent after the financial years.
struct BadPeriodCase {
    const char* name;
    Period period;
};

class StatisticsBadPeriod : public StatisticsTest,
                            public ::testing::WithParamInterface<BadPeriodCase> {};

TEST_P(StatisticsBadPeriod, ShowsMessageAndCallsNothingFurther) {
    open();
    const QString panels[3] = {panel(w, 0), panel(w, 1), panel(w, 2)};
    const QString periodBefore = PeriodText;
    const int rowsBefore = w->DBGridEh1->rowCount();
    env.setCwYears(2001, 2009);
    w->cbxOption->setCurrentIndex(1);

    setPeriod(w, GetParam().period);
    view();

    EXPECT_EQ(env.messages(), QStringList{kBadPeriod});
    EXPECT_TRUE(env.errors().isEmpty());
    EXPECT_TRUE(env.log("importlog").isEmpty());
    EXPECT_TRUE(env.log("statlog").isEmpty());
    // Steps before the check stand; everything after it keeps the last run's values.
    EXPECT_EQ(w->MinYear, 2001);
    EXPECT_EQ(w->MaxYear, 2009);
    EXPECT_EQ(QueryOption, 1);
    EXPECT_EQ(PeriodText, periodBefore);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(panel(w, i), panels[i]) << i;
    EXPECT_EQ(w->DBGridEh1->rowCount(), rowsBefore);
    EXPECT_TRUE(w->StoredProc1->Active());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatisticsBadPeriod,
    ::testing::Values(BadPeriodCase{"Month13", {"2005", "13", "2005", "12"}},
                      BadPeriodCase{"Month00", {"2005", "01", "2005", "00"}},
                      BadPeriodCase{"MonthLetters", {"2005", "ab", "2005", "03"}},
                      BadPeriodCase{"EmptyYear", {"", "01", "2005", "03"}},
                      BadPeriodCase{"YearZero", {"0", "01", "2005", "03"}},
                      BadPeriodCase{"StartAfterEnd", {"2005", "04", "2005", "03"}},
                      BadPeriodCase{"StartYearAfterEnd", {"2006", "01", "2005", "12"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The period in words, on the status bar and for the report.
struct PeriodTextCase {
    const char* name;
    Period period;
    QString text;
};

class StatisticsPeriodText : public StatisticsTest,
                             public ::testing::WithParamInterface<PeriodTextCase> {};

TEST_P(StatisticsPeriodText, WritesPeriodTextAndPanels) {
    open();
    setPeriod(w, GetParam().period);
    view();
    EXPECT_TRUE(env.messages().isEmpty());
    EXPECT_EQ(PeriodText, GetParam().text);
    EXPECT_EQ(panel(w, 2), QStringLiteral("时间段:") + GetParam().text);
    EXPECT_EQ(panel(w, 1), QStringLiteral("共有2笔数据"));
    EXPECT_EQ(panel(w, 0), QStringLiteral("查看对象:全公司"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatisticsPeriodText,
    ::testing::Values(
        PeriodTextCase{"SingleMonth", {"2005", "03", "2005", "03"}, "2005年03月份"},
        PeriodTextCase{"Range", {"2005", "01", "2005", "03"}, "2005年01月份至2005年03月份"},
        PeriodTextCase{"MonthAsTyped", {"2005", "3", "2005", "3"}, "2005年3月份"},
        // The same month written two ways is one month: the start's texts are used.
        PeriodTextCase{"SameMonthWrittenTwoWays", {"2005", "3", "2005", "03"}, "2005年3月份"},
        PeriodTextCase{"AcrossYears", {"2004", "12", "2005", "1"}, "2004年12月份至2005年1月份"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StatisticsTest, StartYearChoosesTheNamingEra) {
    open(QStringLiteral("S"), QStringLiteral("0012"));
    // Kernel era: the user table names the salesperson; the financial names are not asked.
    setPeriod(w, {"2003", "12", "2005", "01"});
    view();
    EXPECT_EQ(panel(w, 0), QStringLiteral("查看对象:业务员/张三"));
    EXPECT_TRUE(env.log("cwnamelog").isEmpty());

    // Financial era from a 2004 start, named for the last financial year, whatever the end.
    DllParams.ViewId.assign(QStringLiteral("0301"));
    setPeriod(w, {"2004", "01", "2004", "02"});
    view();
    EXPECT_EQ(env.log("cwnamelog"), QStringList{QStringLiteral("2006|0301")});
    EXPECT_EQ(ViewObjectText, QStringLiteral("业务员/财务一组"));
    EXPECT_EQ(panel(w, 0), QStringLiteral("查看对象:业务员/财务一组"));
}

TEST_F(StatisticsTest, NoFinancialYearsImportsZeroToZero) {
    open(QStringLiteral("S"), QStringLiteral("0301"));
    env.server.exec(windowtest::kBusiness, "DELETE FROM cwyears");
    setPeriod(w, {"2005", "01", "2005", "02"});
    view();
    EXPECT_EQ(w->MinYear, 0);
    EXPECT_EQ(w->MaxYear, 0);
    EXPECT_EQ(env.log("importlog"), QStringList{QStringLiteral("0|0|text")});
    EXPECT_EQ(env.log("cwnamelog"), QStringList{QStringLiteral("0|0301")});
}

TEST_F(StatisticsTest, OtherKindsShowTheWholeCompany) {
    for (const QString& kind :
         {QStringLiteral("1"), QString(), QStringLiteral("S "), QStringLiteral("d")}) {
        open(kind, QStringLiteral("03"));
        EXPECT_EQ(panel(w, 0), QStringLiteral("查看对象:全公司")) << kind.toStdString();
        env.closeWindow();
    }
}

TEST_F(StatisticsTest, UnknownDepartmentShowsPrefixOnly) {
    open(QStringLiteral("D"), QStringLiteral("99"));
    EXPECT_EQ(ViewObjectText, QStringLiteral("部门/"));
    EXPECT_EQ(panel(w, 0), QStringLiteral("查看对象:部门/"));
}

TEST_F(StatisticsTest, EmptyResultShowsZeroCountAndZeroFooters) {
    open();
    env.setRows({});
    view();
    EXPECT_EQ(panel(w, 1), QStringLiteral("共有0笔数据"));
    EXPECT_EQ(w->DBGridEh1->rowCount(), 0);
    EXPECT_EQ(w->DBGridEh1->footerText(0), QStringLiteral("合计"));
    int sums = 0;
    for (int c = 0; c < 15; ++c) {
        const auto& column = w->DBGridEh1->columns()[static_cast<std::size_t>(c)];
        if (column.footer == grid::FooterKind::Sum) {
            ++sums;
            EXPECT_EQ(w->DBGridEh1->footerText(c), QStringLiteral("0")) << c;
        } else if (c > 0) {
            EXPECT_EQ(w->DBGridEh1->footerText(c), QString()) << c;
        }
    }
    EXPECT_EQ(sums, 11);
}

TEST_F(StatisticsTest, MoneyShowsAsPlainNumbers) {
    open();
    env.setRows(
        {{QStringLiteral("A1"), QString(), QStringLiteral("1234.5"), QStringLiteral("1200")},
         {QStringLiteral("A2"), QString(), QString(), QStringLiteral("0.25")}});
    view();
    ASSERT_EQ(w->DBGridEh1->rowCount(), 2);
    EXPECT_EQ(w->DBGridEh1->cellText(0, 3), QStringLiteral("1234.5"));
    EXPECT_EQ(w->DBGridEh1->cellText(0, 11), QStringLiteral("1200"));
    // The empty income of the second row adds nothing.
    EXPECT_EQ(w->DBGridEh1->footerText(3), QStringLiteral("1234.5"));
    EXPECT_EQ(w->DBGridEh1->footerText(11), QStringLiteral("1200.25"));
    for (int i = 0; i < w->StoredProc1->FieldCount(); ++i)
        EXPECT_FALSE(w->StoredProc1->fieldAt(i)->Currency()) << i;
}

TEST_F(StatisticsTest, FailedImportKeepsTheOldResultAndTexts) {
    open();
    const QString panels[3] = {panel(w, 0), panel(w, 1), panel(w, 2)};
    const QString period = PeriodText;
    const QString viewText = ViewObjectText;
    env.breakProcedure("ImportYYCWDATA");
    env.setRows({});
    setPeriod(w, {"2005", "01", "2005", "02"});
    view();
    ASSERT_EQ(env.errors().size(), 1);
    EXPECT_TRUE(env.errors().first().contains(QStringLiteral("no_such_table")))
        << env.errors().first().toStdString();
    EXPECT_TRUE(env.log("statlog").isEmpty());
    EXPECT_TRUE(w->StoredProc1->Active());
    EXPECT_EQ(w->DBGridEh1->rowCount(), 2);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(panel(w, i), panels[i]) << i;
    EXPECT_EQ(PeriodText, period);
    EXPECT_EQ(ViewObjectText, viewText);
}

TEST_F(StatisticsTest, FailedOpeningEmptiesTheGridAndKeepsTheTexts) {
    open();
    const QString panels[3] = {panel(w, 0), panel(w, 1), panel(w, 2)};
    const QString period = PeriodText;
    env.breakProcedure("StatCalvesteri");
    setPeriod(w, {"2005", "01", "2005", "02"});
    view();
    ASSERT_EQ(env.errors().size(), 1);
    EXPECT_FALSE(w->StoredProc1->Active());
    EXPECT_EQ(w->DBGridEh1->rowCount(), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(panel(w, i), panels[i]) << i;
    EXPECT_EQ(PeriodText, period);
}

TEST_F(StatisticsTest, FailedNameLookUpLeavesPanelZeroOld) {
    open(QStringLiteral("S"), QStringLiteral("0301"));
    const QString panel0 = panel(w, 0);
    const QString viewText = ViewObjectText;
    env.breakProcedure("getCWDeptName");
    env.setRows({{QStringLiteral("Z9"), QString(), QStringLiteral("1")}});
    setPeriod(w, {"2005", "01", "2005", "02"});
    view();
    ASSERT_EQ(env.errors().size(), 1);
    EXPECT_EQ(panel(w, 1), QStringLiteral("共有1笔数据"));
    EXPECT_EQ(panel(w, 2), QStringLiteral("时间段:2005年01月份至2005年02月份"));
    EXPECT_EQ(PeriodText, QStringLiteral("2005年01月份至2005年02月份"));
    EXPECT_EQ(panel(w, 0), panel0);
    EXPECT_EQ(ViewObjectText, viewText);
}

TEST_F(StatisticsTest, FailedFinancialYearsStopsBeforeTheOption) {
    open();
    env.breakProcedure("GetCwMaxMinYear");
    w->cbxOption->setCurrentIndex(1);
    view();
    EXPECT_EQ(env.errors().size(), 1);
    EXPECT_EQ(QueryOption, 0);
    EXPECT_TRUE(env.log("importlog").isEmpty());
}

bool pagesHold(const report::Preview& p, const QString& text) {
    for (int i = 0; i < p.pageCount(); ++i) {
        for (const report::DrawOp& op : p.prepared().page(i)) {
            if (op.kind == report::DrawOp::Kind::Text && op.text == text)
                return true;
        }
    }
    return false;
}

// Before, a run under an open preview reopened the result while the grid was kept quiet:
// the status bar counted the new rows, the grid kept the old row count and showed the new
// figures beside the old shipment numbers of its frozen column.
TEST_F(StatisticsTest, RunUnderAnOpenPreviewShowsTheNewResultAndKeepsThePreview) {
    open();
    bool ran = false;
    setPreviewHook([&](report::Preview& preview) {
        ran = true;
        // Closed however the checks end, so a failing check cannot leave the run waiting.
        const std::unique_ptr<report::Preview, void (*)(report::Preview*)> closer(
            &preview, [](report::Preview* p) { p->close(); });
        env.setRows({{QStringLiteral("B1"), QString(), QStringLiteral("1")},
                     {QStringLiteral("B2"), QString(), QStringLiteral("2.5")},
                     {QStringLiteral("B3"), QStringLiteral("*"), QStringLiteral("3")}});
        w->cbxOption->setCurrentIndex(1);
        view();
        EXPECT_EQ(panel(w, 1), QStringLiteral("共有3笔数据"));
        grid::DBGrid* g = w->DBGridEh1;
        ASSERT_EQ(g->rowCount(), 3);
        ASSERT_EQ(g->frozenView()->model()->rowCount(), 3);
        const char* numbers[] = {"B1", "B2", "B3"};
        const char* amounts[] = {"1", "2.5", "3"};
        for (int r = 0; r < 3; ++r) {
            EXPECT_EQ(g->frozenView()->model()->index(r, 0).data().toString(),
                      QString::fromLatin1(numbers[r]));
            EXPECT_EQ(g->cellText(r, 3), QString::fromLatin1(amounts[r]));
        }
        EXPECT_EQ(g->footerText(3), QStringLiteral("6.5"));
        EXPECT_EQ(g->currentRow(), 0);
        // The preview still shows, and would print, the result it was opened on.
        EXPECT_TRUE(pagesHold(preview, QStringLiteral("A1")));
        EXPECT_TRUE(pagesHold(preview, QStringLiteral("共有数据:2笔")));
        EXPECT_FALSE(pagesHold(preview, QStringLiteral("B1")));
        EXPECT_FALSE(preview.isClosed());
    });
    w->btnPrint->click();
    setPreviewHook(nullptr);
    ASSERT_TRUE(ran);
    EXPECT_TRUE(env.errors().isEmpty()) << env.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(w->DBGridEh1->rowCount(), 3);
    EXPECT_EQ(w->resultQueryOption(), 1);
    EXPECT_FALSE(PrintRunActive());
}

// Before: the print run read the global option, so a stopped run with another option
// printed the shown rows with the wrong profit field.
TEST_F(StatisticsTest, ResultKeepsTheOptionOfTheRunThatOpenedIt) {
    open();
    w->cbxOption->setCurrentIndex(1);
    view();
    EXPECT_EQ(w->resultQueryOption(), 1);
    w->cbxOption->setCurrentIndex(0);
    setPeriod(w, {"2005", "13", "2005", "12"});
    view();
    EXPECT_EQ(QueryOption, 0);
    EXPECT_EQ(w->resultQueryOption(), 1);
}

}  // namespace
