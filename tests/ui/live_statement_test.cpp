// The whole statement path against a real SQL Server, run only when one is named in the
// environment (EXPORTPNL_MSSQL_SERVER, and EXPORTPNL_MSSQL_USER / EXPORTPNL_MSSQL_PASSWORD
// of a login that may create databases). Three scratch databases get the demo's tables and
// the six procedures in their SQL Server form (server/demo/mssql), a few shipments of the
// server's current month, and the statement window then runs the statistics through the
// four connections. The databases are dropped afterwards.
#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/grid/dbgrid.h"
#include "framework/ui/application.h"
#include "plugin/dllparams.h"
#include "ui/frmmain.h"
#include "ui/globals.h"
#include "windowenv.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

class LiveStatement : public ::testing::Test {
protected:
    void SetUp() override {
        if (env("EXPORTPNL_MSSQL_SERVER").isEmpty())
            GTEST_SKIP() << "no server configured (EXPORTPNL_MSSQL_SERVER)";
        ui::Application::instance();
        m_previous = ui::setMessagePresenter(&presenter);
        const QString tag = QStringLiteral("%1_%2")
                                .arg(QCoreApplication::applicationPid())
                                .arg(QRandomGenerator::global()->bounded(100000));
        biz = QStringLiteral("exportpnl_live_biz_") + tag;
        kernel = QStringLiteral("exportpnl_live_kernel_") + tag;
        dict = QStringLiteral("exportpnl_live_dict_") + tag;
        admin = std::make_unique<db::Database>(QStringLiteral("live_admin"));
        admin->Params().setLines({QStringLiteral("USER NAME=") + user(),
                                  QStringLiteral("PASSWORD=") + env("EXPORTPNL_MSSQL_PASSWORD"),
                                  QStringLiteral("SERVER NAME=") + env("EXPORTPNL_MSSQL_SERVER"),
                                  QStringLiteral("DATABASE NAME=master"),
                                  QStringLiteral("CONNECT TIMEOUT=15")});
        admin->Open();
        for (const QString& name : {biz, kernel, dict})
            exec(QStringLiteral("CREATE DATABASE [%1] COLLATE Chinese_PRC_CI_AS").arg(name));
        created = true;
        runScript(biz, QStringLiteral("business.sql"));
        runScript(biz, QStringLiteral("procedures.sql"));
        runScript(kernel, QStringLiteral("kernel.sql"));
        runScript(dict, QStringLiteral("pubdict.sql"));
        fill();
    }

    void TearDown() override {
        if (w)
            w->close();
        windowtest::flushDeletes();
        delete w.data();
        delete frmData;
        frmData = nullptr;
        delete fm_YYCWData;
        fm_YYCWData = nullptr;
        if (created) {
            for (const QString& name : {biz, kernel, dict})
                exec(QStringLiteral("ALTER DATABASE [%1] SET SINGLE_USER WITH ROLLBACK IMMEDIATE; "
                                    "DROP DATABASE [%1]")
                         .arg(name));
        }
        if (m_previous)
            ui::setMessagePresenter(m_previous);
        DllParams = TDllParams{};
    }

    static QString user() {
        return env("EXPORTPNL_MSSQL_USER").isEmpty() ? QStringLiteral("sa")
                                                     : env("EXPORTPNL_MSSQL_USER");
    }

    void exec(const QString& sql) {
        db::Query q;
        q.SetDatabaseName(QStringLiteral("live_admin"));
        q.SQL() << sql;
        q.ExecSQL();
    }

    void runScript(const QString& database, const QString& file) {
        QFile f(QStringLiteral(EXPORTPNL_SOURCE_DIR "/server/demo/mssql/") + file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
        const QString text = QString::fromUtf8(f.readAll());
        static const QRegularExpression go(QStringLiteral("^\\s*GO\\s*$"),
                                           QRegularExpression::MultilineOption);
        for (const QString& batch : text.split(go, Qt::SkipEmptyParts)) {
            if (batch.trimmed().isEmpty())
                continue;
            // A procedure must be the first statement of its batch: the database is
            // chosen in a batch of its own.
            exec(QStringLiteral("USE [%1]").arg(database));
            exec(batch);
        }
    }

    // Three shipments of the server's current month in two departments; one is fully
    // received, one half, one not at all.
    void fill() {
        exec(QStringLiteral(
                 "USE [%1]; "
                 "INSERT ywdept VALUES ('01', N'业务一部'), ('02', N'业务二部'); "
                 "DECLARE @ym INT = YEAR(GETDATE()) * 100 + MONTH(GETDATE()); "
                 "INSERT shipment VALUES "
                 "('LV-001', GETDATE(), @ym, '01', '0012', '0301', 7.0, 1000, 7000, 10, 70, 1, 7,"
                 " 0, 0, 6000, 'HS-1'),"
                 "('LV-002', GETDATE(), @ym, '01', '0012', '0301', 7.0, 2000.5, 14003.5, 20, 140,"
                 " 2, 14, 5, 35, 12000, 'HS-2'),"
                 "('LV-003', GETDATE(), @ym, '02', '0013', '0302', 7.0, 300, 2100, 3, 21, 0, 0,"
                 " 0, 0, 1800, NULL); "
                 "INSERT cw_years VALUES (YEAR(GETDATE()) - 1), (YEAR(GETDATE())); "
                 "INSERT cw_receipts VALUES "
                 "(1, YEAR(GETDATE()), MONTH(GETDATE()), GETDATE(), 'LV-001', '0301', 1000, 7000),"
                 "(2, YEAR(GETDATE()), MONTH(GETDATE()), GETDATE(), 'LV-002', '0301', 1000, 7000);")
                 .arg(biz));
        exec(QStringLiteral("USE [%1]; INSERT dept VALUES ('01', N'业务一部', 'B'), "
                            "('02', N'业务二部', 'B'); INSERT users VALUES "
                            "('0012', N'张三', 'S', '01'), ('0013', N'李四', 'S', '02');")
                 .arg(kernel));
        exec(QStringLiteral("USE [%1]; INSERT corp_set(code, name_simple) VALUES ('1', N'泰沃')")
                 .arg(dict));
    }

    void open(const QString& kind, const QString& id) {
        windowtest::connectModules(env("EXPORTPNL_MSSQL_SERVER"), biz, kernel, dict, kind, id,
                                   user(), env("EXPORTPNL_MSSQL_PASSWORD"));
        w = new Tfrmmain();
        frmmain = w;
        ASSERT_TRUE(presenter.shown.empty()) << presenter.shown.front().text.toStdString();
    }

    QString biz, kernel, dict;
    bool created = false;
    std::unique_ptr<db::Database> admin;
    ui::RecordingPresenter presenter;
    ui::MessagePresenter* m_previous = nullptr;
    QPointer<Tfrmmain> w;
};

TEST_F(LiveStatement, WholeCompanyAndOneDepartmentThroughTheWindow) {
    open(QStringLiteral("C"), QString());
    // name_simple is CHAR(20): the server pads it with blanks.
    EXPECT_TRUE(w->windowTitle().startsWith(QStringLiteral("泰沃")));
    EXPECT_TRUE(w->windowTitle().endsWith(QStringLiteral("--出口盈亏表")));
    const grid::DBGrid* g = w->DBGridEh1;
    ASSERT_EQ(g->rowCount(), 3);
    EXPECT_EQ(w->SBarPanel[1]->text(), QStringLiteral("共有3笔数据"));
    EXPECT_EQ(w->SBarPanel[0]->text(), QStringLiteral("查看对象:全公司"));
    EXPECT_EQ(g->cellText(0, 0), QStringLiteral("LV-001"));
    EXPECT_EQ(g->cellText(0, 2), QStringLiteral("业务一部"));
    EXPECT_EQ(g->cellText(1, 1).trimmed(), QStringLiteral("*"));  // half received
    EXPECT_EQ(g->footerText(3), QStringLiteral("3300.5"));        // income in USD
    EXPECT_EQ(g->footerText(14), QStringLiteral("2000"));         // net receipts
    for (int i = 0; i < w->StoredProc1->FieldCount(); ++i)
        EXPECT_FALSE(w->StoredProc1->fieldAt(i)->Currency()) << i;

    // One department through the options' kind "D": the procedure reads "" for the
    // salesperson and "02" for the department.
    DllParams.ViewKind.assign(QStringLiteral("D"));
    DllParams.ViewId.assign(QStringLiteral("02"));
    w->btnView->click();
    ASSERT_TRUE(presenter.shown.empty()) << presenter.shown.front().text.toStdString();
    ASSERT_EQ(g->rowCount(), 1);
    EXPECT_EQ(g->cellText(0, 0), QStringLiteral("LV-003"));
    EXPECT_EQ(w->SBarPanel[0]->text(), QStringLiteral("查看对象:部门/业务二部"));

    // Not yet received only: the first shipment is received in full.
    DllParams.ViewKind.assign(QStringLiteral("C"));
    w->cbxOption->setCurrentIndex(1);
    w->btnView->click();
    ASSERT_EQ(g->rowCount(), 2);
    EXPECT_EQ(g->cellText(0, 0), QStringLiteral("LV-002"));
}

}  // namespace
