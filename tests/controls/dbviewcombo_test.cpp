// The value combo kept in step with an in-memory dataset: fills, choices that move the
// cursor, cursor moves that move the selection, refills after edits and deletes, and how
// often OnChange fires.
#include "controls/dbviewcombo.h"

#include "framework/db/dataset.h"
#include "framework/db/field.h"
#include "framework/text/errors.h"
#include "framework/ui/messages.h"
#include "support/memdataset.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>

#include <memory>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

void ensureApp() {
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "controls_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);  // lives for the whole test program
    }
}

class ViewComboTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApp();
        ds = std::make_unique<testsupport::MemDataSet>(std::vector<db::FieldDef>{
            {"id", db::FieldType::String, 2}, {"list", db::FieldType::String, 23}});
        for (const char* id : {"01", "02", "03", "04", "05", "06"})
            ds->addRow({QString(id), QString(id) + " dept" + id});
        source = std::make_unique<db::DataSource>();
        source->setDataSet(ds.get());
        combo = std::make_unique<TDBViewCombo>();
        combo->OnChange = [this] { ++changes; };
    }

    void bindAndOpen(const QString& field = "list") {
        combo->SetDataSource(source.get());
        combo->SetDataField(field);
        ds->Open();
    }

    QStringList items() const {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
        return out;
    }

    // What a user's pick in the list does: Qt changes the current index itself.
    void userChooses(int index) { combo->setCurrentIndex(index); }

    std::unique_ptr<testsupport::MemDataSet> ds;
    std::unique_ptr<db::DataSource> source;
    std::unique_ptr<TDBViewCombo> combo;
    int changes = 0;
};

TEST_F(ViewComboTest, OpeningFillsTheListAndSelectsTheCurrentRowOnce) {
    bindAndOpen();
    EXPECT_EQ(items(), QStringList({"01 dept01", "02 dept02", "03 dept03", "04 dept04", "05 dept05",
                                    "06 dept06"}));
    EXPECT_EQ(combo->ItemIndex(), 0);
    EXPECT_EQ(combo->Text(), "01 dept01");
    EXPECT_EQ(ds->currentRow(), 0);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(combo->isEditable());
}

TEST_F(ViewComboTest, AttachingToAnOpenDatasetFillsAtTheCursor) {
    ds->Open();
    ds->MoveBy(3);
    combo->SetDataField("list");
    EXPECT_EQ(combo->count(), 0);  // no source yet
    combo->SetDataSource(source.get());
    EXPECT_EQ(combo->count(), 6);
    EXPECT_EQ(combo->ItemIndex(), 3);
    EXPECT_EQ(ds->currentRow(), 3);
    EXPECT_EQ(changes, 1);
}

TEST_F(ViewComboTest, ChoiceMovesTheCursorByTheDifferenceWithoutEcho) {
    bindAndOpen();
    ds->Next();  // second row
    ASSERT_EQ(combo->ItemIndex(), 1);
    changes = 0;
    userChooses(4);
    EXPECT_EQ(ds->currentRow(), 4);
    EXPECT_EQ(combo->ItemIndex(), 4);  // the scroll it caused did not move the selection again
    EXPECT_EQ(changes, 1);
    userChooses(0);
    EXPECT_EQ(ds->currentRow(), 0);
    EXPECT_EQ(combo->ItemIndex(), 0);
    EXPECT_EQ(changes, 2);
}

TEST_F(ViewComboTest, KeyboardChoiceMovesTheCursorAndKeyUpNeverFires) {
    bindAndOpen();
    int keyUps = 0;
    combo->OnKeyUp = [&](int, Qt::KeyboardModifiers) { ++keyUps; };
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(combo.get(), &press);
    QApplication::sendEvent(combo.get(), &release);
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(ds->currentRow(), 1);
    EXPECT_EQ(keyUps, 0);
}

TEST_F(ViewComboTest, CursorMovesMoveTheSelection) {
    bindAndOpen();
    changes = 0;
    struct Step {
        const char* what;
        std::function<void(db::DataSet&)> move;
        int expected;
    };
    const Step steps[] = {
        {"MoveBy(2)", [](db::DataSet& d) { d.MoveBy(2); }, 2},
        {"Next", [](db::DataSet& d) { d.Next(); }, 3},
        {"Prior", [](db::DataSet& d) { d.Prior(); }, 2},
        {"MoveBy(-2)", [](db::DataSet& d) { d.MoveBy(-2); }, 0},
    };
    int expectedChanges = 0;
    for (const Step& s : steps) {
        s.move(*ds);
        ++expectedChanges;
        EXPECT_EQ(combo->ItemIndex(), s.expected) << s.what;
        EXPECT_EQ(ds->currentRow(), s.expected) << s.what;  // the selection did not move it back
        EXPECT_EQ(changes, expectedChanges) << s.what;
    }
}

TEST_F(ViewComboTest, LastSelectsTheLastItem) {
    bindAndOpen();
    changes = 0;
    ds->Last();
    EXPECT_EQ(combo->ItemIndex(), 5);
    EXPECT_EQ(ds->currentRow(), 5);
    EXPECT_EQ(changes, 1);
    userChooses(2);  // the remembered index was updated: the move is -3
    EXPECT_EQ(ds->currentRow(), 2);
}

TEST_F(ViewComboTest, FirstRefillsTheList) {
    bindAndOpen();
    ds->MoveBy(3);
    combo->ClearItems();
    changes = 0;
    ds->First();
    EXPECT_EQ(combo->count(), 6);
    EXPECT_EQ(combo->ItemIndex(), 0);
    EXPECT_EQ(changes, 1);
}

TEST_F(ViewComboTest, PostedEditRefillsWithTheNewValue) {
    bindAndOpen();
    ds->MoveBy(2);
    ds->Edit();
    ds->FieldByName("list")->SetAsString("03 renamed");
    EXPECT_EQ(combo->itemText(2), "03 dept03");  // nothing while editing
    ds->Post();  // dataset-changed away from both ends, after an edit was seen
    EXPECT_EQ(combo->itemText(2), "03 renamed");
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_EQ(ds->currentRow(), 2);
}

TEST_F(ViewComboTest, DeleteRefillsTheList) {
    bindAndOpen();
    ds->MoveBy(2);
    ds->Delete();
    EXPECT_EQ(ds->RecordCount(), 5);
    EXPECT_EQ(combo->count(), 5);
    EXPECT_EQ(items().indexOf("03 dept03"), -1);
    EXPECT_EQ(combo->ItemIndex(), ds->currentRow());
    EXPECT_EQ(combo->Text(), ds->FieldByName("list")->AsString());
}

TEST_F(ViewComboTest, EditStateLeavesListAndSelectionAlone) {
    bindAndOpen();
    ds->MoveBy(2);
    const QStringList before = items();
    changes = 0;
    ds->Edit();
    ds->FieldByName("list")->SetAsString("edited");
    EXPECT_EQ(items(), before);
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_EQ(changes, 0);
    ds->Cancel();
}

TEST_F(ViewComboTest, NullShowsAsEmptyItem) {
    ds->addRow({QString("07"), QVariant()});
    bindAndOpen();
    ASSERT_EQ(combo->count(), 7);
    EXPECT_EQ(combo->itemText(6), "");
}

TEST_F(ViewComboTest, EmptyDatasetGivesEmptyListWithNothingSelected) {
    ds->clearRows();
    bindAndOpen();
    EXPECT_EQ(combo->count(), 0);
    EXPECT_EQ(combo->ItemIndex(), -1);
}

// Before: the fill compared record bytes, so of two identical rows the later was selected
// while the cursor stood on the earlier, and the next choice moved the cursor one row short.
TEST_F(ViewComboTest, IdenticalRowsSelectTheRowTheCursorIsOn) {
    ds->clearRows();
    ds->addRow({QString("01"), QString("same")});
    ds->addRow({QString("01"), QString("same")});
    ds->addRow({QString("02"), QString("other")});
    bindAndOpen();
    EXPECT_EQ(combo->ItemIndex(), 0);
    userChooses(2);
    EXPECT_EQ(ds->currentRow(), 2);
}

TEST_F(ViewComboTest, ClosingEmptiesAndReopeningRefills) {
    bindAndOpen();
    ds->Close();
    EXPECT_EQ(combo->count(), 0);
    ds->Open();
    EXPECT_EQ(combo->count(), 6);
    userChooses(3);
    EXPECT_EQ(ds->currentRow(), 3);  // the field was resolved afresh
}

TEST_F(ViewComboTest, ChangingTheFieldRefillsWithTheOtherColumn) {
    bindAndOpen();
    combo->SetDataField("id");
    EXPECT_EQ(combo->itemText(0), "01");
    EXPECT_EQ(combo->DataField(), "id");
}

TEST_F(ViewComboTest, MissingFieldFailsAndKeepsTheList) {
    bindAndOpen();
    ds->Next();
    EXPECT_THROW(combo->SetDataField("nosuch"), Exception);
    EXPECT_EQ(combo->count(), 6);
    userChooses(4);
    EXPECT_EQ(ds->currentRow(), 4);  // still bound to the old field
}

TEST_F(ViewComboTest, SwitchingBetweenOpenDatasetsUsesTheNewOne) {
    bindAndOpen();
    testsupport::MemDataSet other({{"list", db::FieldType::String, 10}});
    other.addRow({QString("x")});
    other.addRow({QString("y")});
    other.Open();
    db::DataSource otherSource;
    otherSource.setDataSet(&other);
    combo->SetDataSource(&otherSource);
    EXPECT_EQ(items(), QStringList({"x", "y"}));
    userChooses(1);
    EXPECT_EQ(other.currentRow(), 1);
    EXPECT_EQ(ds->currentRow(), 0);
    combo->SetDataSource(nullptr);
    EXPECT_EQ(combo->count(), 0);
}

TEST_F(ViewComboTest, SelectItemPositionsTheDataset) {
    bindAndOpen();
    changes = 0;
    combo->SelectItem(5);
    EXPECT_EQ(ds->currentRow(), 5);
    EXPECT_EQ(changes, 1);
    combo->SelectItem(1);
    EXPECT_EQ(ds->currentRow(), 1);
}

TEST_F(ViewComboTest, ErrorDuringAChoiceStopsAtTheEventBoundary) {
    bindAndOpen();
    ui::RecordingPresenter presenter;
    ui::MessagePresenter* previous = ui::setMessagePresenter(&presenter);
    combo->OnChange = [] { throw EDatabaseError("lost connection"); };
    userChooses(2);
    ui::setMessagePresenter(previous);
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].kind, ui::BoxKind::Error);
    EXPECT_EQ(presenter.shown[0].text, "lost connection");
    EXPECT_EQ(ds->currentRow(), 2);  // the move itself had happened
}

}  // namespace
