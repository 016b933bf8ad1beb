// The statement window: the defaults its creation takes from the server's date, the title,
// the year key filter, the grid set-up, creation failures, and what closing frees.
#include "ui/frmmain.h"
#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/grid/dbgrid.h"
#include "framework/ui/application.h"
#include "keyboard.h"
#include "plugin/dllparams.h"
#include "ui/globals.h"
#include "windowenv.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

using windowtest::WindowEnv;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    Tfrmmain* open(const std::string& clock = "2024-03-15 10:00:00") {
        env.setClock(clock);
        env.setCwYears(2003, 2006);
        env.connect();
        return env.openWindow();
    }
    WindowEnv env;
};

TEST_F(MainWindowTest, DefaultsComeFromTheServerDate) {
    env.setCompany(QStringLiteral("泰沃进出口"));
    Tfrmmain* w = open();
    EXPECT_TRUE(env.errors().isEmpty()) << env.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(ServerYear, 2024);
    EXPECT_EQ(ServerMonth, 3);
    EXPECT_EQ(ServerDay, 15);
    for (QComboBox* month : {w->cbxMonth1, w->cbxmonth2}) {
        EXPECT_EQ(month->count(), 12);
        EXPECT_EQ(month->itemText(0), QStringLiteral("01"));
        EXPECT_EQ(month->itemText(11), QStringLiteral("12"));
        EXPECT_EQ(month->currentIndex(), 2);
        EXPECT_EQ(month->currentText(), QStringLiteral("03"));
    }
    // The year is set as text: 2024 shows although the list stops at 2020.
    for (QComboBox* year : {w->cbxYear1, w->cbxyear2}) {
        EXPECT_EQ(year->count(), 16);
        EXPECT_EQ(year->itemText(0), QStringLiteral("2005"));
        EXPECT_EQ(year->itemText(15), QStringLiteral("2020"));
        EXPECT_EQ(year->currentText(), QStringLiteral("2024"));
    }
    EXPECT_EQ(w->cbxOption->currentIndex(), 0);
    EXPECT_EQ(w->cbxOption->currentText(), QStringLiteral("全部"));
    EXPECT_EQ(OnScreenFlag, 1);
    // The first run covered the server's month.
    EXPECT_EQ(env.log("statlog"),
              QStringList{QStringLiteral("C|||2024|03|2024|03|0|text|integer")});
    EXPECT_EQ(w->SBarPanel[2]->text(), QStringLiteral("时间段:2024年03月份"));
}

TEST_F(MainWindowTest, OctoberIsTenNotZeroTen) {
    Tfrmmain* w = open("2023-10-02 08:00:00");
    EXPECT_EQ(w->cbxMonth1->currentText(), QStringLiteral("10"));
    EXPECT_EQ(w->cbxmonth2->currentText(), QStringLiteral("10"));
    EXPECT_EQ(w->cbxYear1->currentText(), QStringLiteral("2023"));
}

TEST_F(MainWindowTest, TitleIsTheCompanyShortName) {
    env.setCompany(QStringLiteral("泰沃进出口"));
    Tfrmmain* w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("泰沃进出口--出口盈亏表"));
    EXPECT_EQ(ui::Application::instance().Title(), QStringLiteral("泰沃进出口--出口盈亏表"));
    // Every message box from now on carries it.
    w->cbxMonth1->setEditText(QStringLiteral("13"));
    w->btnView->click();
    ASSERT_EQ(env.presenter.shown.size(), 1u);
    EXPECT_EQ(env.presenter.shown[0].caption, QStringLiteral("泰沃进出口--出口盈亏表"));
}

TEST_F(MainWindowTest, TitleWithoutCompanyRow) {
    Tfrmmain* w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("--出口盈亏表"));
}

// The year filter: only digits and backspace reach the box. Keys go where a keyboard
// sends them; before, the filter sat on the line edit, which an editable combo box feeds
// directly, so "2a- 0x2" typed into a year box left "2a- ".
struct KeyCase {
    const char* name;
    QString start;
    std::vector<Qt::Key> keys;  // pressed one by one
    QString typed;              // or typed as text
    QString expected;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class YearKeyFilter : public MainWindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(YearKeyFilter, OnBothYearBoxes) {
    Tfrmmain* w = open();
    for (QComboBox* box : {w->cbxYear1, w->cbxyear2}) {
        box->setEditText(GetParam().start);
        ASSERT_EQ(testsupport::focusOn(box), box) << "the combo box itself takes the focus";
        box->lineEdit()->end(false);
        testsupport::pressKeys(box, GetParam().keys);
        if (!GetParam().typed.isEmpty())
            testsupport::typeText(box, GetParam().typed);
        // What was typed, without the rest of a year that the box's completion offers
        // (selected, so the next key replaces it).
        QLineEdit* edit = box->lineEdit();
        const QString typed =
            edit->hasSelectedText() ? edit->text().left(edit->selectionStart()) : edit->text();
        EXPECT_EQ(typed, GetParam().expected) << box->objectName().toStdString();
        EXPECT_EQ(box->count(), 16);  // Enter never adds an item
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, YearKeyFilter,
    ::testing::Values(
        KeyCase{"Letter", "20", {Qt::Key_A}, {}, "20"},
        KeyCase{"Minus", "20", {Qt::Key_Minus}, {}, "20"},
        KeyCase{"Space", "20", {Qt::Key_Space}, {}, "20"},
        KeyCase{"Enter", "20", {Qt::Key_Return}, {}, "20"},
        KeyCase{"Escape", "20", {Qt::Key_Escape}, {}, "20"},
        KeyCase{"Digits", "", {Qt::Key_2, Qt::Key_0, Qt::Key_0, Qt::Key_6}, {}, "2006"},
        KeyCase{"MixedText", "", {}, QStringLiteral("2a- 0x2"), "202"},
        KeyCase{"MixedTextOutsideTheList", "", {}, QStringLiteral("1a- 9x9"), "199"},
        KeyCase{"AtMostFourDigits", "2006", {Qt::Key_1}, {}, "2006"},
        KeyCase{"Backspace", "2006", {Qt::Key_Backspace, Qt::Key_7}, {}, "2007"},
        KeyCase{"CursorAndDelete", "2006", {Qt::Key_Home, Qt::Key_Delete}, {}, "006"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, YearBoxKeepsOnlyTheDigitsAnInputMethodCommits) {
    Tfrmmain* w = open();
    w->cbxYear1->setEditText(QString());
    QWidget* focused = testsupport::focusOn(w->cbxYear1);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("二0二4年"));
    QApplication::sendEvent(focused, &commit);
    EXPECT_EQ(w->cbxYear1->currentText(), QStringLiteral("04"));
}

TEST_F(MainWindowTest, TabLeavesTheYearBox) {
    Tfrmmain* w = open();
    testsupport::pressKeys(w->cbxYear1, {Qt::Key_Tab});
    EXPECT_EQ(QApplication::focusWidget(), w->cbxMonth1);
}

TEST_F(MainWindowTest, MonthBoxTakesAnyTwoCharacters) {
    Tfrmmain* w = open();
    w->cbxMonth1->setEditText(QString());
    testsupport::typeText(w->cbxMonth1, QStringLiteral("abc"));
    EXPECT_EQ(w->cbxMonth1->currentText(), QStringLiteral("ab"));
}

// Before, the boxes completed what was typed: "1" then Tab in a month box became "10", and
// the run covered October to December instead of January; "2" in a year box showed "2005".
TEST_F(MainWindowTest, PeriodBoxesKeepExactlyWhatWasTyped) {
    Tfrmmain* w = open();
    const std::pair<QComboBox*, QString> typed[] = {{w->cbxYear1, QStringLiteral("2")},
                                                    {w->cbxMonth1, QStringLiteral("1")},
                                                    {w->cbxyear2, QStringLiteral("2")},
                                                    {w->cbxmonth2, QStringLiteral("1")}};
    for (const auto& [box, text] : typed) {
        box->setEditText(QString());
        testsupport::typeText(box, text);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
        EXPECT_NE(QApplication::focusWidget(), box);
        EXPECT_EQ(box->currentText(), text) << box->objectName().toStdString();
    }
    for (QComboBox* year : {w->cbxYear1, w->cbxyear2}) {
        year->setEditText(QString());
        testsupport::typeText(year, QStringLiteral("2024"));
    }
    env.clearLogs();
    testsupport::pressKeys(w->btnView, {Qt::Key_Space});
    EXPECT_EQ(env.log("statlog"), QStringList{QStringLiteral("C|||2024|1|2024|1|0|text|integer")});
    EXPECT_EQ(w->cbxMonth1->count(), 12) << "the list is still there";
}

// Before, the year lists kept their first item selected under the server year's text, so
// Down from "2024" gave "2006".
TEST_F(MainWindowTest, DownFromTheServerYearGoesToTheFirstYear) {
    Tfrmmain* w = open();
    for (QComboBox* year : {w->cbxYear1, w->cbxyear2}) {
        EXPECT_EQ(year->currentIndex(), -1) << "no list selection";
        testsupport::pressKeys(year, {Qt::Key_Down});
        EXPECT_EQ(year->currentText(), QStringLiteral("2005"));
    }
}

TEST_F(MainWindowTest, ControlsAsDesigned) {
    Tfrmmain* w = open();
    EXPECT_EQ(w->objectName(), QStringLiteral("frmmain"));
    struct Box {
        const char* name;
        int width, maxLength, rows;
    };
    for (const Box& b : {Box{"cbxYear1", 64, 4, 15}, Box{"cbxMonth1", 47, 2, 12},
                         Box{"cbxyear2", 59, 4, 12}, Box{"cbxmonth2", 48, 2, 12}}) {
        auto* box = w->findChild<QComboBox*>(QLatin1String(b.name));
        ASSERT_NE(box, nullptr) << b.name;
        EXPECT_TRUE(box->isEditable()) << b.name;
        EXPECT_EQ(box->width(), b.width) << b.name;
        EXPECT_EQ(box->lineEdit()->maxLength(), b.maxLength) << b.name;
        EXPECT_EQ(box->maxVisibleItems(), b.rows) << b.name;
        EXPECT_EQ(box->font().pointSizeF(), 10.5) << b.name;
    }
    EXPECT_FALSE(w->cbxOption->isEditable());
    EXPECT_EQ(w->cbxOption->width(), 97);
    EXPECT_EQ(w->cbxOption->itemText(1), QStringLiteral("未收汇部分"));
    struct Button {
        const char* name;
        const char* caption;
    };
    for (const Button& b : {Button{"btnView", "查看(&Q)"}, Button{"btnQuery", "查找(&L)"},
                            Button{"btnSetOption", "对象(&O)"}, Button{"btnPrint", "打印(&P)"},
                            Button{"BitBtn5", "关闭(&C)"}}) {
        auto* button = w->findChild<QPushButton*>(QLatin1String(b.name));
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(button->size(), QSize(70, 25)) << b.name;
    }
    auto* check = w->findChild<QCheckBox*>(QStringLiteral("chkRowSelect"));
    ASSERT_NE(check, nullptr);
    EXPECT_TRUE(check->isChecked());
    EXPECT_EQ(check->text(), QStringLiteral("行选中(&R)"));
    ASSERT_NE(w->findChild<QStatusBar*>(QStringLiteral("SBar")), nullptr);
    const int widths[3] = {300, 250, 200};
    for (int i = 0; i < 3; ++i) {
        auto* panel = w->findChild<QLabel*>(QStringLiteral("SBarPanel%1").arg(i));
        ASSERT_NE(panel, nullptr) << i;
        EXPECT_EQ(panel->width(), widths[i]) << i;
    }
    EXPECT_NE(w->findChild<QObject*>(QStringLiteral("StoredProc1")), nullptr);
    EXPECT_NE(w->findChild<QObject*>(QStringLiteral("sp_ImportYYCWData")), nullptr);
    EXPECT_NE(w->findChild<QObject*>(QStringLiteral("DataSource1")), nullptr);
    EXPECT_NE(w->findChild<QWidget*>(QStringLiteral("DBGridEh1Footer")), nullptr);
}

TEST_F(MainWindowTest, GridColumnsAsDesigned) {
    Tfrmmain* w = open();
    auto* g = w->findChild<grid::DBGrid*>(QStringLiteral("DBGridEh1"));
    ASSERT_NE(g, nullptr);
    const auto& cols = g->columns();
    ASSERT_EQ(cols.size(), 15u);
    const char* titles[15] = {"运编号",     "标志",       "部门",     "收入美元",   "收入人民币",
                              "运费美元",   "运费人民币", "保费美元", "保费人民币", "佣金美元",
                              "佣金人民币", "成本",       "核算单",   "利润",       "净收汇"};
    const int widths[15] = {88, 18, 66, 70, 70, 70, 70, 70, 70, 70, 70, 70, 61, 70, 70};
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(cols[std::size_t(i)].title, QString::fromUtf8(titles[i])) << i;
        EXPECT_EQ(cols[std::size_t(i)].width, widths[i]) << i;
    }
    EXPECT_EQ(cols[1].align, grid::Align::Center);
    EXPECT_EQ(cols[13].fieldName.toLower(), QStringLiteral("lirun_true"));
    EXPECT_EQ(g->frozenCols(), 2);
    EXPECT_TRUE(g->rowSelect());
}

TEST_F(MainWindowTest, RowSelectToggleKeepsTheCurrentRow) {
    env.setRows({{QStringLiteral("A1"), QString(), QStringLiteral("1")},
                 {QStringLiteral("A2"), QString(), QStringLiteral("2")},
                 {QStringLiteral("A3"), QString(), QStringLiteral("3")}});
    Tfrmmain* w = open();
    w->StoredProc1->Next();
    EXPECT_EQ(w->DBGridEh1->currentRow(), 1);
    w->chkRowSelect->click();
    EXPECT_FALSE(w->DBGridEh1->rowSelect());
    w->chkRowSelect->click();
    EXPECT_TRUE(w->DBGridEh1->rowSelect());
    EXPECT_EQ(w->DBGridEh1->currentRow(), 1);
    EXPECT_EQ(w->StoredProc1->currentRow(), 1);
}

TEST_F(MainWindowTest, CompanyErrorStillCreatesTheWindow) {
    env.server.exec(windowtest::kDict, "DROP TABLE corp_set");
    Tfrmmain* w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(env.errors().size(), 1);
    // Steps after the failing one did not run.
    EXPECT_EQ(OnScreenFlag, 0);
    EXPECT_EQ(w->cbxMonth1->count(), 0);
    EXPECT_EQ(w->cbxYear1->count(), 0);
    EXPECT_TRUE(env.log("statlog").isEmpty());
    // Before, the design's "共有200笔未收汇纪录" and "月份:" stayed as if they were figures.
    EXPECT_EQ(w->SBarPanel[0]->text(), QStringLiteral("查看对象："));
    EXPECT_EQ(w->SBarPanel[1]->text(), QString());
    EXPECT_EQ(w->SBarPanel[2]->text(), QString());
}

TEST_F(MainWindowTest, FirstRunErrorStillCreatesTheWindow) {
    env.breakProcedure("StatCalvesteri");
    Tfrmmain* w = open();
    EXPECT_EQ(env.errors().size(), 1);
    EXPECT_EQ(OnScreenFlag, 1);
    EXPECT_EQ(w->cbxMonth1->currentText(), QStringLiteral("03"));
    EXPECT_FALSE(w->StoredProc1->Active());
    EXPECT_EQ(w->SBarPanel[1]->text(), QString());
    EXPECT_EQ(w->SBarPanel[2]->text(), QString());
}

TEST_F(MainWindowTest, ClosingFreesModulesAndConnections) {
    QPointer<Tfrmmain> w = open();
    w->show();
    ASSERT_NE(db::Session::Default().FindDatabase(QStringLiteral("DB_Calvesteri")), nullptr);
    QPointer<QObject> data = frmData;
    QPointer<QObject> cw = fm_YYCWData;
    w->BitBtn5->click();
    windowtest::flushDeletes();
    EXPECT_TRUE(w.isNull());
    EXPECT_TRUE(data.isNull());
    EXPECT_TRUE(cw.isNull());
    EXPECT_EQ(OnScreenFlag, 0);
    EXPECT_EQ(frmmain, nullptr);
    for (const char* name : {"DB_Calvesteri", "DBEXP_Miskernel", "zzPubdict_ex"})
        EXPECT_EQ(db::Session::Default().FindDatabase(QLatin1String(name)), nullptr) << name;
    for (db::Database* d : db::Session::Default().databases())
        EXPECT_FALSE(d->Connected()) << d->DatabaseName().toStdString();
    EXPECT_TRUE(db::Session::Default().databases().empty());
}

TEST_F(MainWindowTest, CancelledOptionsDialogRunsNothing) {
    Tfrmmain* w = open();
    env.clearLogs();
    const QString panel0 = w->SBarPanel[0]->text();
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            sawDialog = dialog->objectName() == QStringLiteral("fmSetOption");
            dialog->close();
        }
    });
    w->btnSetOption->click();
    EXPECT_TRUE(sawDialog) << env.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(env.log("statlog").isEmpty());
    EXPECT_EQ(w->SBarPanel[0]->text(), panel0);
}

// Renders the window for a look at its layout; fails only when nothing is drawn.
TEST_F(MainWindowTest, RendersToImage) {
    env.setCompany(QStringLiteral("泰沃进出口"));
    env.setRows({{QStringLiteral("A1"), QStringLiteral("*"), QStringLiteral("1234.5")}});
    Tfrmmain* w = open();
    w->resize(808, 580);
    w->show();
    const QImage image = w->grab().toImage();
    EXPECT_EQ(image.size(), QSize(808, 580));
    EXPECT_TRUE(windowtest::savePicture(image, QStringLiteral("frmmain.png")));
}

}  // namespace
