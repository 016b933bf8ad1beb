// The find dialog: trimmed, case-insensitive whole-number search from the first row, the
// two messages, and opening and closing it from the main window.
#include "ui/frmloc.h"
#include "framework/db/query.h"
#include "framework/grid/dbgrid.h"
#include "keyboard.h"
#include "ui/frmmain.h"
#include "ui/globals.h"
#include "windowenv.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using windowtest::WindowEnv;

namespace {

const QString kEnterNumber = QStringLiteral("请输入要查找的运编号！");
const QString kNotFound = QStringLiteral("没有找到该运编号！");

class FindTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.setClock("2024-03-15 10:00:00");
        env.setCwYears(2003, 2006);
        env.setRows({{QStringLiteral("A100"), QString(), QStringLiteral("1")},
                     {QStringLiteral("A123"), QString(), QStringLiteral("2")},
                     {QStringLiteral("B200"), QString(), QStringLiteral("3")},
                     {QStringLiteral("A123"), QString(), QStringLiteral("4")},
                     {QStringLiteral("C300"), QString(), QStringLiteral("5")}});
        env.connect();
        w = env.openWindow();
        ASSERT_EQ(w->StoredProc1->RecordCount(), 5);
        env.clearMessages();
    }
    WindowEnv env;
    Tfrmmain* w = nullptr;
};

struct FindCase {
    const char* name;
    QString typed;
    int startRow;     // current row before the search
    int expectedRow;  // current row afterwards
    QString message;  // empty: found, the dialog closes
};

class FindCases : public FindTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindCases, SearchesFromTheFirstRow) {
    const FindCase& c = GetParam();
    w->StoredProc1->MoveBy(c.startRow);
    ASSERT_EQ(w->StoredProc1->currentRow(), c.startRow);

    TfrmLoc dialog;
    dialog.show();
    dialog.edtInvoiceNO->setText(c.typed);
    dialog.btnLoc->click();

    EXPECT_EQ(w->StoredProc1->currentRow(), c.expectedRow);
    EXPECT_EQ(w->DBGridEh1->currentRow(), c.expectedRow);
    if (c.message.isEmpty()) {
        EXPECT_TRUE(env.messages().isEmpty());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
    } else {
        EXPECT_EQ(env.messages(), QStringList{c.message});
        EXPECT_TRUE(dialog.isVisible());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FindCases,
                         ::testing::Values(FindCase{"BlanksAround", "  C300\t ", 0, 4, ""},
                                           FindCase{"LowerCaseFindsCapitals", "b200", 0, 2, ""},
                                           FindCase{"FirstOfTwoEqualWinsFromBehind", "a123", 4, 1,
                                                    ""},
                                           FindCase{"PrefixDoesNotMatch", "A12", 3, 3, kNotFound},
                                           FindCase{"UnknownNumber", "Z999", 2, 2, kNotFound},
                                           FindCase{"OnlyBlanks", "   ", 2, 2, kEnterNumber},
                                           FindCase{"Empty", "", 1, 1, kEnterNumber}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FindTest, NotFoundPutsFocusBackInTheEditBox) {
    TfrmLoc dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    dialog.edtInvoiceNO->setText(QStringLiteral("nothing"));
    dialog.btnLoc->setFocus();
    dialog.btnLoc->click();
    EXPECT_EQ(QApplication::focusWidget(), dialog.edtInvoiceNO);
}

// Renders the dialog for a look at its layout; fails only when nothing is drawn.
TEST_F(FindTest, RendersToImage) {
    TfrmLoc dialog;
    dialog.show();
    const QImage image = dialog.grab().toImage();
    EXPECT_EQ(image.size(), QSize(401, 79));
    EXPECT_TRUE(windowtest::savePicture(image, QStringLiteral("frmloc.png")));
}

TEST_F(FindTest, EnterInTheEditBoxSearches) {
    TfrmLoc dialog;
    dialog.show();
    dialog.edtInvoiceNO->setText(QStringLiteral("B200"));
    testsupport::pressKeys(dialog.edtInvoiceNO, {Qt::Key_Return});
    EXPECT_EQ(w->StoredProc1->currentRow(), 2);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FindTest, ClosedResultReportsTheDatasetError) {
    w->StoredProc1->Close();
    TfrmLoc dialog;
    dialog.show();
    dialog.edtInvoiceNO->setText(QStringLiteral("A100"));
    dialog.btnLoc->click();
    EXPECT_EQ(env.errors().size(), 1);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(FindTest, QueryButtonOpensAndDestroysTheDialog) {
    QPointer<TfrmLoc> seen;
    bool opened = false;
    QTimer::singleShot(0, [&] {
        seen = frmLoc;
        if (!seen)
            return;
        opened = true;
        EXPECT_EQ(seen->objectName(), QStringLiteral("frmLoc"));
        EXPECT_EQ(seen->windowTitle(), QStringLiteral("运编号查找"));
        EXPECT_EQ(seen->size(), QSize(401, 79));
        seen->edtInvoiceNO->setText(QStringLiteral("c300"));
        seen->btnLoc->click();
    });
    w->btnQuery->click();
    EXPECT_EQ(w->StoredProc1->currentRow(), 4);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(seen.isNull());
    EXPECT_EQ(frmLoc, nullptr);

    // Closing without a search leaves the row and frees the dialog too.
    opened = false;
    QTimer::singleShot(0, [&] {
        seen = frmLoc;
        opened = !seen.isNull();
        if (seen)
            seen->btnClose->click();
    });
    w->btnQuery->click();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(seen.isNull());
    EXPECT_EQ(w->StoredProc1->currentRow(), 4);
    EXPECT_TRUE(env.messages().isEmpty());
}

}  // namespace
