// Decision table of the rights check: which candidate view objects a rights string grants,
// including the byte-exact comparisons and the unaligned substring search.
#include "ui/checkviewright.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

struct RightsCase {
    const char* name;
    std::string rights;
    std::string moduleRights;
    std::string kind;
    std::string viewId;
    std::string operation;
    std::string viewDept;
    std::string userId;
    std::string userDept;
    bool granted;
};

TDllParams recordFor(const RightsCase& c) {
    TDllParams p{};
    p.Rights.assign(std::string_view(c.rights));
    p.ModuleRights.assign(std::string_view(c.moduleRights));
    p.ViewKind.assign(std::string_view(c.kind));
    p.ViewId.assign(std::string_view(c.viewId));
    p.OperationType.assign(std::string_view(c.operation));
    p.ViewDept.assign(std::string_view(c.viewDept));
    p.UserId.assign(std::string_view(c.userId));
    p.UserDept.assign(std::string_view(c.userDept));
    return p;
}

const RightsCase kCases[] = {
    // name, rights, moduleRights, kind, viewId, op, viewDept, userId, userDept, granted
    {"CompanyWriteGrantsKindC", "****CW", "", "C", "", "W", "", "0012", "02", true},
    {"CompanyWriteGrantsKindOne", "****CW", "", "1", "", "", "", "0012", "02", true},
    {"CompanyWriteGrantsEmptyKind", "****CW", "", "", "", "", "", "0012", "02", true},
    {"CompanyWriteGrantsLowerCase", "xx****CW", "", "d", "03", "", "", "0012", "02", true},
    {"CompanyReadGrantsRead", "****CR", "", "C", "", "R", "", "0012", "02", true},
    {"CompanyReadRefusesWrite", "****CR", "", "C", "", "W", "", "0012", "02", false},
    {"CompanyReadRefusesEmptyOperation", "****CR", "", "C", "", "", "", "0012", "02", false},
    {"OperationReadIsFirstCharacterOnly", "****CR", "", "C", "", "RX", "", "0012", "02", true},
    {"OperationIsCaseSensitive", "****CR", "", "C", "", "r", "", "0012", "02", false},
    {"KindCRefusedWithOnlyDAndSCodes", "****DW****SW**02DW0012SW", "", "C", "02", "R", "02", "0012",
     "02", false},
    {"DeptReadCodeGrantsRead", "**03DR", "", "D", "03", "R", "", "0012", "02", true},
    {"DeptReadCodeRefusesWrite", "**03DR", "", "D", "03", "W", "", "0012", "02", false},
    {"DeptReadCodeRefusesEmptyOperation", "**03DR", "", "D", "03", "", "", "0012", "02", false},
    {"DeptWriteCodeOtherDeptRefused", "**03DW", "", "D", "04", "R", "", "0012", "02", false},
    {"DeptUsesFirstTwoCharactersOfId", "**03DW", "", "D", "0399", "W", "", "0012", "02", true},
    {"OwnDeptWriteGrantsOwn", "****DW", "", "D", "02", "W", "", "0012", "02", true},
    {"OwnDeptWriteRefusesOther", "****DW", "", "D", "03", "W", "", "0012", "02", false},
    {"OwnDeptReadGrantsOwnRead", "****DR", "", "D", "02", "R", "", "0012", "02", true},
    {"OwnDeptReadRefusesOwnWrite", "****DR", "", "D", "02", "W", "", "0012", "02", false},
    {"OwnDeptWithTrailingBlankDiffers", "****DW", "", "D", "02", "W", "", "0012", "02 ", false},
    {"KindWithTrailingBlankIsStillD", "**03DW", "", "D ", "03", "W", "", "0012", "02", true},
    {"EmptyViewIdMatchesStarCode", "****DW", "", "D", "", "W", "", "0012", "02", true},
    {"SalerDeptWriteGrantsAnySaler", "**05DW", "", "S", "9999", "W", "05", "0012", "02", true},
    {"SalerDeptReadNeedsRead", "**05DR", "", "S", "9999", "W", "05", "0012", "02", false},
    {"SalerInOwnDeptGranted", "****DW", "", "S", "9999", "W", "02", "0012", "02", true},
    {"SalerInOtherDeptRefused", "****DW", "", "S", "9999", "W", "03", "0012", "02", false},
    {"SalerViewDeptFirstTwoCharacters", "**05DW", "", "S", "9999", "W", "0577", "0012", "02", true},
    {"SalerCodeGrantsThatSaler", "0013SW", "", "S", "0013", "W", "09", "0012", "02", true},
    {"SalerReadCodeRefusesWrite", "0013SR", "", "S", "0013", "W", "09", "0012", "02", false},
    {"SelfReadGrantsSelfRead", "****SR", "", "S", "0012", "R", "09", "0012", "02", true},
    {"SelfReadRefusesSelfWrite", "****SR", "", "S", "0012", "W", "09", "0012", "02", false},
    {"SelfReadRefusesOther", "****SR", "", "S", "0013", "R", "09", "0012", "02", false},
    {"SelfWriteGrantsSelf", "****SW", "", "S", "0012", "W", "09", "0012", "02", true},
    {"SelfComparesWholeUserId", "****SW", "", "S", "0012", "W", "09", "00123", "02", false},
    {"LongGroupCodeUsesFirstFour", "0012SW", "", "S", "001234", "W", "09", "7777", "02", true},
    {"EmptySalerIdMatchesAnySWCode", "0099SW", "", "S", "", "W", "09", "7777", "02", true},
    {"BlankModuleRightsLeaveRights", "**03DW", "      ", "D", "03", "W", "", "0012", "02", true},
    {"ModuleRightsTakePrecedence", "**03DW", "**04DW", "D", "03", "W", "", "0012", "02", false},
    {"ModuleRightsUsedWithBlank", "", " **03DW", "D", "03", "W", "", "0012", "02", true},
    {"ModuleRightsOfControlCharactersBlank", "**03DW", "\t\r\n", "D", "03", "W", "", "0012", "02",
     true},
    {"UnalignedMatchGrants", "12**07DW", "", "D", "07", "W", "", "0012", "02", true},
    {"SearchIsCaseSensitive", "**03dw", "", "D", "03", "W", "", "0012", "02", false},
    {"LowerCaseKindRefused", "**03DW****DW", "", "d", "03", "W", "", "0012", "03", false},
    {"DigitKindRefused", "**03DW****DW****SW", "", "1", "03", "R", "03", "0012", "03", false},
    {"EmptyRightsRefuseEverything", "", "", "D", "03", "R", "", "0012", "03", false},
};

class RightsDecision : public ::testing::TestWithParam<RightsCase> {};

TEST_P(RightsDecision, GrantsAsTheRightsStringSays) {
    const RightsCase& c = GetParam();
    EXPECT_EQ(CheckViewRight(recordFor(c)), c.granted);
}

INSTANTIATE_TEST_SUITE_P(Table, RightsDecision, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RightsCase>& info) {
                             return std::string(info.param.name);
                         });

// A Chinese (double-byte) view id is compared byte for byte, like the rights string.
TEST(RightsCheck, DoubleByteIdsAreComparedAsBytes) {
    const std::string gbkId = "\xb2\xe2";  // one GBK character, two bytes
    RightsCase c{"", "**" + gbkId + "DW", "", "D", gbkId + "xx", "W", "", "0012", "02", true};
    EXPECT_TRUE(CheckViewRight(recordFor(c)));
}

// Without a whole-company code, kind C is never granted, whatever else the string holds.
TEST(RightsCheck, NoCompanyCodeNeverGrantsKindC) {
    std::mt19937 gen(20240315);
    const std::string alphabet = "*CDSRW0123 ";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 40);
    int checked = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string rights;
        const int n = length(gen);
        for (int k = 0; k < n; ++k) rights += alphabet[pick(gen)];
        if (rights.find("****CW") != std::string::npos ||
            rights.find("****CR") != std::string::npos)
            continue;
        ++checked;
        for (const char* op : {"R", "W", ""}) {
            RightsCase c{"", rights, "", "C", "01", op, "01", "0123", "01", false};
            ASSERT_FALSE(CheckViewRight(recordFor(c))) << "rights '" << rights << "' op " << op;
        }
    }
    EXPECT_GT(checked, 4000);
}

}  // namespace
