// Cursor, state and notification behaviour of datasets as bound controls see it: what a
// data link hears for each operation, and what it reads from the dataset while hearing it.
#include "framework/db/datalink.h"
#include "framework/text/errors.h"
#include "support/memdataset.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using db::DataSet;
using db::DataSetState;
using db::FieldType;

const char* stateName(DataSetState s) {
    switch (s) {
        case DataSetState::Inactive:
            return "inactive";
        case DataSetState::Browse:
            return "browse";
        case DataSetState::Edit:
            return "edit";
        case DataSetState::Insert:
            return "insert";
        case DataSetState::SetKey:
            return "setkey";
    }
    return "?";
}

// Records what a link hears, and what the dataset looked like when it heard dataset-changed.
class RecordingLink : public db::DataLink {
public:
    std::vector<std::string> events;

protected:
    void ActiveChanged() override { events.push_back(Active() ? "active" : "inactive"); }
    void DataSetChanged() override {
        DataSet* ds = dataSet();
        std::string e = std::string("changed[") + stateName(ds->State());
        if (ds->Bof())
            e += " bof";
        if (ds->Eof())
            e += " eof";
        e += " n=" + std::to_string(ds->RecordCount()) + "]";
        events.push_back(e);
    }
    void DataSetScrolled(int distance) override {
        events.push_back("scrolled(" + std::to_string(distance) + ")");
    }
    void EditingChanged() override { events.push_back(Editing() ? "editing" : "not editing"); }
};

std::unique_ptr<testsupport::MemDataSet> makeRows(int n) {
    auto ds = std::make_unique<testsupport::MemDataSet>(std::vector<db::FieldDef>{
        {"InvoiceNo", FieldType::String, 10}, {"amount", FieldType::Currency, 0}});
    for (int i = 0; i < n; ++i) ds->addRow({QStringLiteral("A%1").arg(100 + i), 10.0 * (i + 1)});
    return ds;
}

struct CursorCase {
    const char* name;
    int rows;
    std::function<void(DataSet&)> before;  // run before the link starts recording
    std::function<void(DataSet&)> action;
    std::vector<std::string> heard;
    int row;  // 0-based current row afterwards, -1 without rows
    bool bof;
    bool eof;
};

void noop(DataSet&) {}

const CursorCase kCursorCases[] = {
    {"NextMovesOneAndClearsBof",
     5,
     noop,
     [](DataSet& d) { d.Next(); },
     {"scrolled(1)"},
     1,
     false,
     false},
    {"NextOnLastRowSetsEofAndStays",
     5,
     [](DataSet& d) { d.MoveBy(4); },
     [](DataSet& d) { d.Next(); },
     {"scrolled(0)"},
     4,
     false,
     true},
    {"NextAtEofSendsNothing",
     5,
     [](DataSet& d) { d.Last(); },
     [](DataSet& d) { d.Next(); },
     {},
     4,
     false,
     true},
    {"PriorRightAfterOpenSendsNothing", 5, noop, [](DataSet& d) { d.Prior(); }, {}, 0, true, false},
    {"PriorBeforeFirstSetsBof",
     5,
     [](DataSet& d) {
         d.Next();
         d.Prior();
     },
     [](DataSet& d) { d.Prior(); },
     {"scrolled(0)"},
     0,
     true,
     false},
    {"PriorToFirstRowLeavesBofClear",
     5,
     [](DataSet& d) { d.MoveBy(2); },
     [](DataSet& d) {
         d.Prior();
         d.Prior();
     },
     {"scrolled(-1)", "scrolled(-1)"},
     0,
     false,
     false},
    {"FirstSendsChangedWithBof",
     5,
     [](DataSet& d) { d.MoveBy(3); },
     [](DataSet& d) { d.First(); },
     {"changed[browse bof n=5]"},
     0,
     true,
     false},
    {"LastSendsChangedWithEof",
     5,
     noop,
     [](DataSet& d) { d.Last(); },
     {"changed[browse eof n=5]"},
     4,
     false,
     true},
    {"MoveByPastEndMovesWhatItCan",
     5,
     noop,
     [](DataSet& d) { EXPECT_EQ(d.MoveBy(10), 4); },
     {"scrolled(4)"},
     4,
     false,
     true},
    {"MoveByBeforeStartMovesWhatItCan",
     5,
     [](DataSet& d) { d.Last(); },
     [](DataSet& d) { EXPECT_EQ(d.MoveBy(-10), -4); },
     {"scrolled(-4)"},
     0,
     true,
     false},
    {"MoveByZeroSendsNothing",
     5,
     [](DataSet& d) { d.Next(); },
     [](DataSet& d) { d.MoveBy(0); },
     {},
     1,
     false,
     false},
    {"EmptyDatasetIgnoresMoves",
     0,
     noop,
     [](DataSet& d) {
         d.Next();
         d.Prior();
     },
     {},
     -1,
     true,
     true},
    {"EmptyDatasetFirstAndLast",
     0,
     noop,
     [](DataSet& d) {
         d.First();
         d.Last();
     },
     {"changed[browse bof eof n=0]", "changed[browse bof eof n=0]"},
     -1,
     true,
     true},
    {"LocateFoundSendsChanged",
     5,
     noop,
     [](DataSet& d) { EXPECT_TRUE(d.Locate("invoiceno", "a103")); },
     {"changed[browse n=5]"},
     3,
     false,
     false},
    {"LocateMissSendsNothingAndStays",
     5,
     [](DataSet& d) { d.Next(); },
     [](DataSet& d) { EXPECT_FALSE(d.Locate("InvoiceNo", "A10")); },
     {},
     1,
     false,
     false},
    {"GotoBookmarkSendsChanged",
     5,
     noop,
     [](DataSet& d) { d.GotoBookmark(2); },
     {"changed[browse n=5]"},
     2,
     false,
     false},
    {"EditThenPost",
     5,
     [](DataSet& d) { d.Next(); },
     [](DataSet& d) {
         d.Edit();
         d.Post();
     },
     {"editing", "changed[edit n=5]", "not editing", "changed[browse n=5]"},
     1,
     false,
     false},
    {"InsertThenCancel",
     5,
     [](DataSet& d) { d.Next(); },
     [](DataSet& d) {
         d.Insert();
         d.Cancel();
     },
     {"editing", "changed[insert n=5]", "not editing", "changed[browse n=5]"},
     1,
     false,
     false},
    {"InsertThenPostAddsARow",
     3,
     noop,
     [](DataSet& d) {
         d.Insert();
         d.FieldByName("invoiceno")->SetAsString("B1");
         d.Post();
     },
     {"editing", "changed[insert n=3]", "not editing", "changed[browse n=4]"},
     0,
     false,
     false},
    {"DeleteSendsChangedWithFewerRows",
     5,
     [](DataSet& d) { d.MoveBy(2); },
     [](DataSet& d) { d.Delete(); },
     {"changed[browse n=4]"},
     2,
     false,
     false},
    {"DeleteLastRowMovesBack",
     2,
     [](DataSet& d) { d.Last(); },
     [](DataSet& d) { d.Delete(); },
     {"changed[browse n=1]"},
     0,
     false,
     false},
    {"DeleteOnlyRowLeavesEmpty",
     1,
     noop,
     [](DataSet& d) { d.Delete(); },
     {"changed[browse bof eof n=0]"},
     -1,
     true,
     true},
    {"DisabledControlsHearNothingThenOneChanged",
     5,
     noop,
     [](DataSet& d) {
         d.DisableControls();
         d.DisableControls();
         d.First();
         d.MoveBy(3);
         d.Edit();
         d.Post();
         d.EnableControls();
         EXPECT_TRUE(d.ControlsDisabled());
         d.EnableControls();
     },
     {"changed[browse n=5]"},
     3,
     false,
     false},
    {"MovingWhileEditingPostsFirst",
     5,
     [](DataSet& d) { d.Edit(); },
     [](DataSet& d) { d.Next(); },
     {"not editing", "changed[browse n=5]", "scrolled(1)"},
     1,
     false,
     false},
    {"UntouchedInsertIsDroppedWhenMoving",
     3,
     [](DataSet& d) { d.Insert(); },
     [](DataSet& d) { d.Last(); },
     {"not editing", "changed[browse n=3]", "changed[browse eof n=3]"},
     2,
     false,
     true},
    {"CloseMakesLinkInactive",
     5,
     noop,
     [](DataSet& d) { d.Close(); },
     {"inactive"},
     -1,
     true,
     true},
    {"CloseWhileDisabledReportsOnEnable",
     5,
     noop,
     [](DataSet& d) {
         d.DisableControls();
         d.Close();
         d.EnableControls();
     },
     {"inactive"},
     -1,
     true,
     true},
};

class CursorTest : public ::testing::TestWithParam<CursorCase> {};

TEST_P(CursorTest, LinkHearsAndCursorEndsAsExpected) {
    const CursorCase& c = GetParam();
    auto ds = makeRows(c.rows);
    db::DataSource src;
    src.setDataSet(ds.get());
    RecordingLink link;
    link.setDataSource(&src);
    ds->Open();
    c.before(*ds);
    link.events.clear();
    c.action(*ds);
    EXPECT_EQ(link.events, c.heard);
    EXPECT_EQ(ds->currentRow(), c.row);
    EXPECT_EQ(ds->Bof(), c.bof);
    EXPECT_EQ(ds->Eof(), c.eof);
}

INSTANTIATE_TEST_SUITE_P(DataSet, CursorTest, ::testing::ValuesIn(kCursorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DataSetOpen, OpenSetsBofAndEofOnlyWhenEmpty) {
    for (int n : {0, 1, 3}) {
        auto ds = makeRows(n);
        ds->Open();
        EXPECT_TRUE(ds->Bof()) << n;
        EXPECT_EQ(ds->Eof(), n == 0) << n;
        EXPECT_EQ(ds->RecordCount(), n);
        EXPECT_EQ(ds->RecNo(), n == 0 ? 0 : 1);
    }
}

TEST(DataSetOpen, LinkHearsActiveBeforeAfterOpenRuns) {
    auto ds = makeRows(2);
    db::DataSource src;
    src.setDataSet(ds.get());
    RecordingLink link;
    link.setDataSource(&src);
    ds->AfterOpen = [&](DataSet& d) {
        link.events.push_back("afteropen");
        EXPECT_EQ(&d, ds.get());
    };
    ds->Open();
    EXPECT_EQ(link.events, (std::vector<std::string>{"active", "afteropen"}));
}

TEST(DataSetOpen, AttachingAndDetachingAnOpenDatasetChangesActivity) {
    auto ds = makeRows(2);
    ds->Open();
    db::DataSource src;
    RecordingLink link;
    link.setDataSource(&src);
    src.setDataSet(ds.get());
    src.setDataSet(nullptr);
    link.setDataSource(nullptr);
    EXPECT_EQ(link.events, (std::vector<std::string>{"active", "inactive"}));
}

TEST(DataSetOpen, DestroyingTheDatasetDeactivatesItsLinks) {
    auto ds = makeRows(2);
    db::DataSource src;
    src.setDataSet(ds.get());
    RecordingLink link;
    link.setDataSource(&src);
    ds->Open();
    ds.reset();
    EXPECT_EQ(link.events.back(), "inactive");
    EXPECT_EQ(src.dataSet(), nullptr);
}

TEST(DataSetClosed, OperationsFailWithTheClosedDatasetError) {
    auto ds = makeRows(3);
    const std::vector<std::function<void()>> ops = {
        [&] { ds->First(); },
        [&] { ds->Next(); },
        [&] { ds->Last(); },
        [&] { (void)ds->RecordCount(); },
        [&] { ds->Locate("InvoiceNo", "A100"); },
        [&] { ds->Edit(); },
        [&] { ds->Insert(); },
        [&] { ds->Delete(); },
    };
    for (std::size_t i = 0; i < ops.size(); ++i) {
        try {
            ops[i]();
            ADD_FAILURE() << "operation " << i << " did not fail";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.message(), "Cannot perform this operation on a closed dataset") << i;
        }
    }
}

TEST(DataSetEditing, CancelRestoresTheEditedValues) {
    auto ds = makeRows(3);
    ds->Open();
    ds->Next();
    ds->Edit();
    ds->FieldByName("InvoiceNo")->SetAsString("CHANGED");
    ds->FieldByName("amount")->Clear();
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("InvoiceNo")->AsString(), "A101");
    EXPECT_DOUBLE_EQ(ds->FieldByName("amount")->AsFloat(), 20.0);
}

TEST(DataSetEditing, PostKeepsTheValueInMemory) {
    auto ds = makeRows(3);
    ds->Open();
    ds->Edit();
    ds->FieldByName("InvoiceNo")->SetAsString("Z9");
    ds->Post();
    ds->Last();
    ds->First();
    EXPECT_EQ(ds->FieldByName("invoiceno")->AsString(), "Z9");
}

TEST(DataSetEditing, WritingInBrowseStateFails) {
    auto ds = makeRows(1);
    ds->Open();
    EXPECT_THROW(ds->FieldByName("InvoiceNo")->SetAsString("x"), EDatabaseError);
}

TEST(DataSetEditing, DeleteOnEmptyDatasetFails) {
    auto ds = makeRows(0);
    ds->Open();
    EXPECT_THROW(ds->Delete(), EDatabaseError);
}

TEST(DataSetFields, FieldByNameIgnoresCaseAndNamesTheMissingField) {
    auto ds = makeRows(1);
    ds->Open();
    EXPECT_EQ(ds->FieldByName("INVOICENO"), ds->FieldByName("invoiceno"));
    try {
        ds->FieldByName("lirun");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Field 'lirun' not found");
    }
}

TEST(DataSetFields, FixedFieldListMustBeInTheResult) {
    auto ds = makeRows(2);
    ds->setFieldList({{"amount", FieldType::Currency, 0}, {"InvoiceNo", FieldType::String, 10}});
    ds->Open();
    ASSERT_EQ(ds->FieldCount(), 2);
    EXPECT_EQ(ds->fieldAt(0)->FieldName(), "amount");  // list order, not result order
    EXPECT_EQ(ds->fieldAt(1)->AsString(), "A100");

    auto missing = makeRows(2);
    missing->setFieldList({{"InvoiceNo", FieldType::String, 10}, {"list", FieldType::String, 23}});
    try {
        missing->Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Field 'list' not found");
    }
    EXPECT_FALSE(missing->Active());
}

TEST(DataSetLocate, WholeValueCaseInsensitiveFromTheFirstRow) {
    auto ds = std::make_unique<testsupport::MemDataSet>(
        std::vector<db::FieldDef>{{"InvoiceNo", FieldType::String, 10}});
    for (const char* v : {"A123", "B7", "a123", "A1234"}) ds->addRow({QString::fromLatin1(v)});
    ds->Open();
    ds->Last();
    EXPECT_TRUE(ds->Locate("invoiceno", "a123"));
    EXPECT_EQ(ds->currentRow(),
              0);  // the first of two equal numbers, though the cursor was past it
    EXPECT_FALSE(ds->Locate("invoiceno", "A12"));
    EXPECT_EQ(ds->currentRow(), 0);
}

// Case is ignored as Unicode folds it, whatever the letters: a sign that folds to an ASCII
// letter still matches, and an empty cell matches an empty value.
TEST(DataSetLocate, CaseFoldedAsUnicodeForEveryKindOfText) {
    struct Case {
        const char* wanted;
        int row;  // -1: not found
    };
    auto ds = std::make_unique<testsupport::MemDataSet>(std::vector<db::FieldDef>{
        {"InvoiceNo", FieldType::String, 20}, {"amount", FieldType::Currency, 0}});
    const char* const cells[] = {"\u212A7", "业务一科", "ÄbC", "EX-9", nullptr, "ex-9x"};
    double amount = 0.5;
    for (const char* c : cells)
        ds->addRow({c ? QVariant(QString::fromUtf8(c)) : QVariant(), amount *= 3});
    ds->Open();
    const Case cases[] = {{"k7", 0},   {"K7", 0},   {"\u212A7", 0}, {"业务一科", 1}, {"äBc", 2},
                          {"ABC", -1}, {"ex-9", 3}, {"EX-9X", 5},   {"", 4},         {"ex-", -1}};
    for (const Case& c : cases) {
        ds->Last();
        EXPECT_EQ(ds->Locate("invoiceno", QString::fromUtf8(c.wanted)), c.row >= 0) << c.wanted;
        EXPECT_EQ(ds->currentRow(), c.row >= 0 ? c.row : ds->RecordCount() - 1) << c.wanted;
    }
    EXPECT_TRUE(ds->Locate("amount", "13.5"));  // 0.5 * 3 * 3 * 3
    EXPECT_EQ(ds->currentRow(), 2);
}

}  // namespace
