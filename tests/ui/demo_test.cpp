// End to end on a generated demo company: the window's statistics run, import included,
// must show exactly the shipments of the period and footer totals equal to a computation
// straight over the demo's shipment and financial receipt tables.
#include "framework/db/field.h"
#include "framework/db/query.h"
#include "framework/grid/dbgrid.h"
#include "framework/ui/application.h"
#include "framework/ui/messages.h"
#include "plugin/dllparams.h"
#include "server/demo/demobuilder.h"
#include "server/server.h"
#include "ui/frmmain.h"
#include "ui/globals.h"
#include "windowenv.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

// Grid columns that carry a sum footer, and the reference column holding the same amount.
const int kSumColumns[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14};

struct Reference {
    QStringList invoices;
    std::vector<std::int64_t> totals;  // per entry of kSumColumns, 1/10000 units
};

class DemoEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir();
        demo::DemoOptions options;
        options.shipments = 400;
        options.seed = 11;
        options.clock = "2024-03-15 10:00:00";
        demo::DemoBuilder(options).build(folder());
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static std::string folder() { return s_dir->path().toStdString() + "/server"; }

    void SetUp() override {
        ui::Application::instance();
        m_previous = ui::setMessagePresenter(&presenter);
    }
    void TearDown() override {
        if (w)
            w->close();
        windowtest::flushDeletes();
        delete w.data();
        ui::setMessagePresenter(m_previous);
        DllParams = TDllParams{};
    }

    void open(const QString& kind, const QString& id) {
        windowtest::connectModules(QString::fromStdString(folder()),
                                   QString::fromLatin1(demo::DemoBuilder::kBusinessDb),
                                   QString::fromLatin1(demo::DemoBuilder::kKernelDb),
                                   QString::fromLatin1(demo::DemoBuilder::kPubdictDb), kind, id);
        w = new Tfrmmain();
        frmmain = w;
    }

    // The statement computed without the library: shipments of the months, optionally of
    // one department, with the receipts the financial system holds for its years.
    Reference compute(int ym1, int ym2, int option, const QString& dept) {
        const auto c = server::Server::open(folder()).connect(demo::DemoBuilder::kBusinessDb);
        c->execute("DROP TABLE IF EXISTS temp.ref", nullptr);
        c->execute(
            "CREATE TEMP TABLE ref(invoiceno VARCHAR(12), srUSD MONEY, srRMB MONEY, yfUSD MONEY,"
            " yfRMB MONEY, bfUSD MONEY, bfRMB MONEY, yjUSD MONEY, yjRMB MONEY, cb MONEY,"
            " lirun_true MONEY, shouhui MONEY)",
            nullptr);
        const QString insert = QStringLiteral(
            "INSERT INTO ref SELECT invoiceno, srUSD, srRMB, yfUSD, yfRMB, bfUSD, bfRMB, yjUSD,"
            " yjRMB, cb, (srRMB - yfRMB - bfRMB - yjRMB - cb) * CASE WHEN srUSD > 0 AND"
            " recv < srUSD THEN (srUSD - recv) / srUSD ELSE 0 END, recv"
            " FROM (SELECT s.*, (SELECT total(r.usd) FROM cw_receipts r"
            "   WHERE r.invoiceno = s.invoiceno AND r.iyear IN (SELECT iyear FROM cw_years))"
            "   AS recv FROM shipment s WHERE s.ym BETWEEN %1 AND %2 %3)"
            " WHERE %4 <> 1 OR recv < srUSD");
        c->execute(
            insert.arg(ym1)
                .arg(ym2)
                .arg(dept.isEmpty() ? QString() : QStringLiteral("AND s.dept = '%1'").arg(dept))
                .arg(option)
                .toStdString(),
            nullptr);
        const server::RowSet rows = c->query("SELECT * FROM ref ORDER BY invoiceno");
        Reference ref;
        ref.totals.assign(std::size(kSumColumns), 0);
        for (const auto& row : rows.rows) {
            ref.invoices << QString::fromStdString(row[0].text);
            for (std::size_t i = 0; i < std::size(kSumColumns); ++i)
                if (!row[i + 1].isNull())
                    ref.totals[i] += row[i + 1].integer;
        }
        return ref;
    }

    void expectMatches(const Reference& ref) {
        ASSERT_TRUE(presenter.shown.empty()) << presenter.shown.front().text.toStdString();
        ASSERT_GT(ref.invoices.size(), 0);  // an empty period would prove nothing
        const grid::DBGrid* g = w->DBGridEh1;
        ASSERT_EQ(g->rowCount(), ref.invoices.size());
        EXPECT_EQ(w->SBarPanel[1]->text(), QStringLiteral("共有%1笔数据").arg(ref.invoices.size()));
        for (int r = 0; r < g->rowCount(); ++r) ASSERT_EQ(g->cellText(r, 0), ref.invoices[r]) << r;
        for (std::size_t i = 0; i < std::size(kSumColumns); ++i) {
            const int col = kSumColumns[i];
            EXPECT_EQ(g->footerTotal(col), ref.totals[i]) << "column " << col;
            EXPECT_EQ(g->footerText(col), db::formatGeneralScaled4(ref.totals[i])) << col;
        }
    }

    void run(const QString& y1, const QString& m1, const QString& y2, const QString& m2,
             int option) {
        w->cbxYear1->setEditText(y1);
        w->cbxMonth1->setEditText(m1);
        w->cbxyear2->setEditText(y2);
        w->cbxmonth2->setEditText(m2);
        w->cbxOption->setCurrentIndex(option);
        w->btnView->click();
    }

    static QTemporaryDir* s_dir;
    ui::RecordingPresenter presenter;
    ui::MessagePresenter* m_previous = nullptr;
    QPointer<Tfrmmain> w;
};

QTemporaryDir* DemoEndToEnd::s_dir = nullptr;

TEST_F(DemoEndToEnd, FirstRunShowsTheServersMonth) {
    open(QStringLiteral("C"), QString());
    EXPECT_EQ(w->windowTitle().endsWith(QStringLiteral("--出口盈亏表")), true);
    EXPECT_EQ(PeriodText, QStringLiteral("2024年03月份"));
    EXPECT_EQ(ViewObjectText, QStringLiteral("全公司"));
    expectMatches(compute(202403, 202403, 0, QString()));
}

TEST_F(DemoEndToEnd, WholeYearBothOptions) {
    open(QStringLiteral("C"), QString());
    run(QStringLiteral("2023"), QStringLiteral("1"), QStringLiteral("2023"), QStringLiteral("12"),
        0);
    const Reference all = compute(202301, 202312, 0, QString());
    ASSERT_GT(all.invoices.size(), 20);
    expectMatches(all);

    run(QStringLiteral("2023"), QStringLiteral("01"), QStringLiteral("2024"), QStringLiteral("03"),
        1);
    const Reference unreceived = compute(202301, 202403, 1, QString());
    ASSERT_GT(unreceived.invoices.size(), 0);
    expectMatches(unreceived);
}

TEST_F(DemoEndToEnd, OneDepartment) {
    const auto c = server::Server::open(folder()).connect(demo::DemoBuilder::kBusinessDb);
    const server::RowSet depts = c->query("SELECT min(dept) FROM shipment WHERE ym >= 202301");
    const QString dept = QString::fromStdString(depts.rows.at(0).at(0).text);
    ASSERT_FALSE(dept.isEmpty());
    open(QStringLiteral("D"), dept);
    run(QStringLiteral("2023"), QStringLiteral("01"), QStringLiteral("2023"), QStringLiteral("12"),
        0);
    EXPECT_TRUE(ViewObjectText.startsWith(QStringLiteral("部门/")));
    EXPECT_GT(ViewObjectText.size(), 3);
    expectMatches(compute(202301, 202312, 0, dept));
}

}  // namespace
