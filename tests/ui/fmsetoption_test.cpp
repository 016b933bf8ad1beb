// The options dialog over a fixture server: layout, how it opens for each stored view kind
// and era, what OK stores (and only when granted), refusal, cancel, and a start year that
// is not a number.
#include "ui/fmsetoption.h"
#include "controls/dbviewcombo.h"
#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/db/query.h"
#include "framework/ui/boundary.h"
#include "keyboard.h"
#include "plugin/dllparams.h"
#include "windowenv.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <cstring>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using windowtest::kBusiness;
using windowtest::kKernel;

const char* const kFinancialSchema = R"sql(
CREATE TABLE cwsalers(seq INTEGER PRIMARY KEY, year INT, cDepCode VARCHAR(12), cdepname VARCHAR(30));
INSERT INTO cwsalers(year, cDepCode, cdepname) VALUES
  (2024, '0301', '财务一组'), (2024, '0302', '财务二组'), (2024, 'A1', '组A'),
  (2023, '9901', '旧组');
CREATE TABLE cwmap(year INT, cwdept VARCHAR(12), ywdept CHAR(2));
INSERT INTO cwmap VALUES (2024, '0301', '03'), (2024, '0302', '05'), (2023, '0302', '77');
)sql";

class OptionDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.setClock("2024-03-15 10:00:00");
        env.setCwYears(2003, 2024);
        env.server.exec(kBusiness, kFinancialSchema);
        env.server.addProcedure(kBusiness, "getCWSalersList",
                                "select cDepCode, cdepname from cwsalers where year = @curyear "
                                "order by seq");
        env.server.addProcedure(kBusiness, "CWDept2YWDept_Format1",
                                "SELECT ywdept AS \"@toYWdept\" FROM cwmap WHERE year = @curyear "
                                "AND cwdept = @cwdept");
        env.server.exec(kKernel, "INSERT INTO users VALUES('Q\"01', '引号', 'S', '03');");
    }

    void TearDown() override {
        if (dialog)
            delete dialog.data();
    }

    // Connects for a stored view object, opens the main window with the given start year
    // and builds the dialog (not yet opened).
    TfmSetOption* build(const QString& kind, const QString& id, const QString& year,
                        const char* rights = "") {
        env.connect(kind, id);
        DllParams.Rights.assign(std::string_view(rights));
        DllParams.UserDept.assign(std::string_view("03"));
        DllParams.ViewDept.assign(std::string_view("zz"));
        env.openWindow();
        frmmain->cbxYear1->setEditText(year);
        dialog = new TfmSetOption();
        dialog->CurYear = 2024;
        return dialog;
    }

    TfmSetOption* open(const QString& kind, const QString& id, const QString& year,
                       const char* rights = "") {
        build(kind, id, year, rights);
        dialog->Prepare();
        return dialog;
    }

    // Dialog, window and data modules go, so the next case of a table starts afresh.
    void closeAll() {
        delete dialog.data();
        env.closeWindow();
        delete frmData;
        frmData = nullptr;
        delete fm_YYCWData;
        fm_YYCWData = nullptr;
    }

    static QStringList items(const QComboBox* c) {
        QStringList out;
        for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        return out;
    }

    static std::string field(const TShortString& s) { return s.bytes(); }

    windowtest::WindowEnv env;
    QPointer<TfmSetOption> dialog;
};

TEST_F(OptionDialogTest, LayoutCaptionsAndTabOrder) {
    build("C", "", "2024");
    EXPECT_EQ(dialog->objectName(), "fmSetOption");
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tarvo外贸MIS           设置操作选项"));
    EXPECT_EQ(dialog->size(), QSize(419, 242));

    struct Placed {
        const char* name;
        QRect geometry;
    };
    const Placed placed[] = {
        {"GroupBox1", {26, 19, 379, 116}},    {"cmDataset", {147, 27, 123, 20}},
        {"dbvwOffice", {66, 72, 113, 20}},    {"dbvwSalers", {260, 72, 103, 20}},
        {"cbType", {134, 154, 116, 20}},      {"cbxGroupCode", {293, 154, 100, 20}},
        {"SpeedButton1", {123, 202, 78, 24}}, {"SpeedButton2", {242, 202, 68, 24}},
    };
    for (const Placed& p : placed) {
        auto* w = dialog->findChild<QWidget*>(p.name);
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->geometry(), p.geometry) << p.name;
    }
    const std::pair<const char*, QPoint> labels[] = {{"Label5", {67, 30}},
                                                     {"lbOffice", {14, 75}},
                                                     {"lbSalers", {201, 75}},
                                                     {"Label1", {38, 157}}};
    for (const auto& [name, pos] : labels)
        EXPECT_EQ(dialog->findChild<QLabel*>(name)->pos(), pos) << name;
    EXPECT_EQ(dialog->Label5->text(), "外销员范围");
    EXPECT_EQ(dialog->lbOffice->text(), "业务部门");
    EXPECT_EQ(dialog->lbSalers->text(), "业务员/组");
    EXPECT_EQ(dialog->Label1->text(), "选择操作类型");
    EXPECT_EQ(dialog->GroupBox1->title(), "选择对象");
    EXPECT_EQ(dialog->SpeedButton1->text(), "确定");
    EXPECT_EQ(dialog->SpeedButton2->text(), "取消");
    EXPECT_EQ(dialog->dbvwOffice->parentWidget(), dialog->GroupBox1);

    EXPECT_EQ(items(dialog->cmDataset),
              QStringList({"C 全公司", "D 一个业务科", "S 一个业务员/组"}));
    EXPECT_EQ(dialog->cmDataset->currentText(), "1 全公司");
    EXPECT_TRUE(dialog->cmDataset->isEditable());
    EXPECT_EQ(items(dialog->cbType), QStringList({"R  查询"}));
    EXPECT_EQ(dialog->cbType->currentIndex(), 0);
    EXPECT_FALSE(dialog->dbvwOffice->isEditable());
    EXPECT_EQ(dialog->dbvwOffice->DropDownCount(), 16);
    EXPECT_TRUE(dialog->dbvwOffice->isEnabled());
    EXPECT_TRUE(dialog->dbvwSalers->isEnabled());
    EXPECT_TRUE(dialog->cbxGroupCode->isHidden());
    EXPECT_EQ(dialog->SpeedButton1->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(dialog->SpeedButton2->focusPolicy(), Qt::NoFocus);

    QWidget* w = dialog->cmDataset;
    for (QWidget* expected :
         {static_cast<QWidget*>(dialog->dbvwSalers), static_cast<QWidget*>(dialog->dbvwOffice),
          static_cast<QWidget*>(dialog->cbType), static_cast<QWidget*>(dialog->cbxGroupCode)}) {
        do w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w->parentWidget() == dialog->cmDataset);
        EXPECT_EQ(w, expected) << "after " << w->objectName().toStdString();
    }
}

TEST_F(OptionDialogTest, OpensOnTheStoredKind) {
    struct Case {
        const char* kind;
        const char* id;
        const char* year;
        const char* kindText;
        bool officeEnabled;
        bool salersEnabled;
        const char* officeText;  // nullptr: not checked
        const char* salersText;
    };
    const Case cases[] = {
        {"C", "", "2024", "C 全公司", false, false, nullptr, nullptr},
        {"D", "05", "2024", "D 一个业务科", true, false, "05 业务五部", nullptr},
        {"D", "99", "2024", "D 一个业务科", true, false, "O' 引号部", nullptr},  // last one
        {"S", "0013", "2003", "S 一个业务员/组", false, true, nullptr, "0013 李四"},
        {"S", "0302", "2024", "S 一个业务员/组", false, true, nullptr, "财务二组"},
        {"S", "a1", "2024", "S 一个业务员/组", false, true, nullptr, "组A"},           // any case
        {"S", "990101", "2024", "S 一个业务员/组", false, true, nullptr, "财务一组"},  // absent
        {"", "", "2024", "1 全公司", true, true, nullptr, nullptr},
        {"S ", "0013", "2003", "1 全公司", true, true, nullptr, nullptr},  // whole-text match
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + "/" + c.id + "/" + c.year);
        open(c.kind, c.id, c.year);
        EXPECT_EQ(dialog->cmDataset->currentText(), QString::fromUtf8(c.kindText));
        EXPECT_EQ(dialog->dbvwOffice->isEnabled(), c.officeEnabled);
        EXPECT_EQ(dialog->dbvwSalers->isEnabled(), c.salersEnabled);
        EXPECT_FALSE(dialog->dbvwOffice->isHidden());
        EXPECT_FALSE(dialog->dbvwSalers->isHidden());
        if (c.officeText) {
            EXPECT_EQ(dialog->dbvwOffice->Text(), QString::fromUtf8(c.officeText));
        }
        if (c.salersText) {
            EXPECT_EQ(dialog->dbvwSalers->Text(), QString::fromUtf8(c.salersText));
        }
        closeAll();
    }
}

// Before, the kind's text was set without selecting its item, so Down went to the first
// item ("C 全公司") whatever the dialog opened on.
TEST_F(OptionDialogTest, ArrowKeysMoveOnFromTheKindItOpenedOn) {
    struct Case {
        const char* kind;
        Qt::Key key;
        const char* expected;
    };
    const Case cases[] = {
        {"D", Qt::Key_Down, "S 一个业务员/组"},
        {"S", Qt::Key_Up, "D 一个业务科"},
        {"C", Qt::Key_Down, "D 一个业务科"},
        {"D", Qt::Key_Up, "C 全公司"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.key));
        open(c.kind, c.kind == std::string("D") ? "05" : "0013", "2003");
        testsupport::pressKeys(dialog->cmDataset, {c.key});
        EXPECT_EQ(dialog->cmDataset->currentText(), QString::fromUtf8(c.expected));
        // The change handler follows the text chosen with the keys.
        const QChar first = QString::fromUtf8(c.expected).front();
        EXPECT_EQ(dialog->dbvwOffice->isEnabled(), first == QLatin1Char('D'));
        EXPECT_EQ(dialog->dbvwSalers->isEnabled(), first == QLatin1Char('S'));
        closeAll();
    }
}

TEST_F(OptionDialogTest, EraDecidesTheSalespersonList) {
    open("C", "", "2003");
    EXPECT_EQ(dialog->dbvwSalers->DataSource(), frmData->dsSalers);
    EXPECT_EQ(items(dialog->dbvwSalers), QStringList({"0012 张三", "0013 李四", "Q\"01 引号"}));
    EXPECT_EQ(dialog->cbxGroupCode->count(), 0);
    delete dialog.data();

    frmmain->cbxYear1->setEditText("2004");
    dialog = new TfmSetOption();
    dialog->CurYear = 2024;  // the list is for CurYear, not the start year
    dialog->Prepare();
    EXPECT_EQ(items(dialog->dbvwSalers), QStringList({"财务一组", "财务二组", "组A"}));
    EXPECT_EQ(items(dialog->cbxGroupCode), QStringList({"0301", "0302", "A1"}));
    EXPECT_TRUE(frmData->qrSalers->Active());
    EXPECT_TRUE(frmData->qrDepts->Active());
}

TEST_F(OptionDialogTest, OkWithCompanyChangesOnlyKindAndOperation) {
    open("D", "05", "2024", "****CR");
    dialog->cmDataset->setEditText("C 全公司");
    EXPECT_FALSE(dialog->dbvwOffice->isEnabled());
    dialog->SpeedButton1->click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(field(DllParams.ViewKind), "C");
    EXPECT_EQ(field(DllParams.OperationType), "R");
    EXPECT_EQ(field(DllParams.ViewId), "05");
    EXPECT_EQ(field(DllParams.ViewDept), "zz");
}

TEST_F(OptionDialogTest, OkWithDepartmentStoresTheChosenId) {
    open("C", "", "2024", "**05DR");
    dialog->cmDataset->setCurrentIndex(1);
    EXPECT_TRUE(dialog->dbvwOffice->isEnabled());
    dialog->dbvwOffice->setCurrentIndex(1);  // as the user picks it
    EXPECT_EQ(frmData->qrDepts->FieldByName("DeptId")->AsString(), "05");
    dialog->SpeedButton1->click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(field(DllParams.ViewKind), "D");
    EXPECT_EQ(field(DllParams.ViewId), "05");
}

TEST_F(OptionDialogTest, KernelSalespersonStoresIdAndDepartmentFromUsers) {
    open("S", "0013", "2003", "**05DR");
    dialog->SpeedButton1->click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(frmData->qrGeneral2->SQL().join("\n"),
              "  select \"dept\"=dept from users where userid=\"0013\" ");
    EXPECT_EQ(field(DllParams.ViewKind), "S");
    EXPECT_EQ(field(DllParams.ViewId), "0013");
    EXPECT_EQ(field(DllParams.ViewDept), "05");
}

// Before: the id went between double quotes as it was, so a quote in it ended the literal
// early and the statement failed (or read another user's department).
TEST_F(OptionDialogTest, QuoteInsideUserIdIsDoubled) {
    open("S", "Q\"01", "2003", "**03DR");
    ASSERT_EQ(dialog->dbvwSalers->Text(), "Q\"01 引号");
    dialog->SpeedButton1->click();
    EXPECT_TRUE(env.errors().isEmpty()) << env.errors().join("; ").toStdString();
    EXPECT_EQ(frmData->qrGeneral2->SQL().join("\n"),
              "  select \"dept\"=dept from users where userid=\"Q\"\"01\" ");
    EXPECT_EQ(field(DllParams.ViewId), "Q\"01");
    EXPECT_EQ(field(DllParams.ViewDept), "03");
}

TEST_F(OptionDialogTest, FinancialSalespersonStoresCodeAndMappedDepartment) {
    open("C", "", "2004", "**05DW");
    dialog->cmDataset->setEditText("S 一个业务员/组");
    EXPECT_TRUE(dialog->dbvwSalers->isEnabled());
    dialog->dbvwSalers->setCurrentIndex(1);
    dialog->SpeedButton1->click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(field(DllParams.ViewKind), "S");
    EXPECT_EQ(field(DllParams.ViewId), "0302");
    EXPECT_EQ(field(DllParams.ViewDept), "05");  // 2024's mapping, not 2023's
}

TEST_F(OptionDialogTest, RefusedChoiceIsReportedAndChangesNothing) {
    open("C", "", "2003", "0012SW");
    dialog->cmDataset->setEditText("S 一个业务员/组");
    dialog->dbvwSalers->setCurrentIndex(1);  // 0013: not covered by the rights
    const TDllParams before = DllParams;
    dialog->SpeedButton1->click();
    EXPECT_EQ(env.messages(), QStringList({"用户无足够权限!"}));
    EXPECT_NE(dialog->result(), 1);
    EXPECT_EQ(std::memcmp(&before, &DllParams, sizeof(TDllParams)), 0);
    ASSERT_TRUE(dialog);  // still there: the user may choose again
    dialog->dbvwSalers->setCurrentIndex(0);
    dialog->SpeedButton1->click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(field(DllParams.ViewId), "0012");
}

TEST_F(OptionDialogTest, TypedKindIsSubmittedAsTyped) {
    open("D", "05", "2024", "****CW");
    dialog->cmDataset->setEditText("d");
    EXPECT_TRUE(dialog->dbvwOffice->isEnabled());  // unchanged by a lower-case kind
    EXPECT_FALSE(dialog->dbvwSalers->isEnabled());
    dialog->SpeedButton1->click();
    EXPECT_EQ(field(DllParams.ViewKind), "d");
    EXPECT_EQ(field(DllParams.ViewId), "05");
}

TEST_F(OptionDialogTest, OtherKindSubmitsKindOne) {
    open("", "", "2024", "****DW");
    dialog->SpeedButton1->click();
    EXPECT_EQ(env.messages(), QStringList({"用户无足够权限!"}));
    DllParams.Rights.assign(std::string_view("****CW"));
    dialog->SpeedButton1->click();
    EXPECT_EQ(field(DllParams.ViewKind), "1");
}

TEST_F(OptionDialogTest, DatabaseErrorOnOkStoresNothingAndKeepsTheDialog) {
    open("S", "0301", "2024", "****CW");
    env.breakProcedure("CWDept2YWDept_Format1");
    const TDllParams before = DllParams;
    dialog->SpeedButton1->click();
    EXPECT_EQ(env.errors().size(), 1);
    EXPECT_NE(dialog->result(), 1);
    EXPECT_EQ(std::memcmp(&before, &DllParams, sizeof(TDllParams)), 0);
}

TEST_F(OptionDialogTest, ExecReturnsOneOnGrantedOkTwoOnCancelAndFreesItself) {
    build("C", "", "2024", "****CR");
    QTimer::singleShot(0, dialog, [d = dialog] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(d, &escape);  // no cancel key: the dialog stays
        d->SpeedButton1->click();
    });
    EXPECT_EQ(dialog->exec(), 1);
    windowtest::flushDeletes();
    EXPECT_TRUE(dialog.isNull());

    for (int how = 0; how < 2; ++how) {
        dialog = new TfmSetOption();
        QTimer::singleShot(0, dialog, [d = dialog, how] {
            if (how == 0)
                d->SpeedButton2->click();
            else
                d->close();  // the close box
        });
        EXPECT_EQ(dialog->exec(), 2) << how;
        windowtest::flushDeletes();
        EXPECT_TRUE(dialog.isNull()) << how;
    }
}

TEST_F(OptionDialogTest, YearThatIsNoNumberFailsBeforeTheDialogShows) {
    build("C", "", "2024");
    delete dialog.data();
    env.clearMessages();
    env.clearLogs();
    frmmain->cbxYear1->setEditText("");
    bool shown = false;
    QTimer::singleShot(0, [&] {
        shown = QApplication::activeModalWidget() != nullptr;
        if (auto* d = QApplication::activeModalWidget())
            static_cast<QDialog*>(d)->done(2);
    });
    frmmain->btnSetOption->click();
    windowtest::flushDeletes();
    EXPECT_FALSE(shown);
    EXPECT_EQ(env.errors(), QStringList({"'' is not a valid integer value"}));
    EXPECT_TRUE(env.log("statlog").isEmpty());  // no statistics run followed
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TfmSetOption*>(w), nullptr);
    EXPECT_EQ(fmSetOption, nullptr);
}

TEST_F(OptionDialogTest, ListThatCannotOpenFailsBeforeTheDialogShows) {
    build("C", "", "2004");
    delete dialog.data();
    env.clearMessages();
    env.breakProcedure("getCWSalersList");
    frmmain->btnSetOption->click();
    windowtest::flushDeletes();
    ASSERT_EQ(env.errors().size(), 1);
    EXPECT_TRUE(env.errors().front().contains("no_such_table"))
        << env.errors().front().toStdString();
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TfmSetOption*>(w), nullptr);
}

}  // namespace
