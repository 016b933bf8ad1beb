// View-object display names: the kind test, the kernel and financial look-ups, and the
// quoting of ids and database names inside the look-up statements.
#include "ui/viewnames.h"
#include "data/fm_yycwdata.h"
#include "framework/db/query.h"
#include "plugin/dllparams.h"
#include "windowenv.h"

#include <gtest/gtest.h>

using windowtest::WindowEnv;

namespace {

TEST(SqlPieces, QuotedBodyDoublesEverySingleQuote) {
    EXPECT_EQ(sqlQuotedBody(QStringLiteral("03")), QStringLiteral("03"));
    EXPECT_EQ(sqlQuotedBody(QStringLiteral("O'")), QStringLiteral("O''"));
    EXPECT_EQ(sqlQuotedBody(QStringLiteral("'; drop table dept; --")),
              QStringLiteral("''; drop table dept; --"));
}

TEST(SqlPieces, DatabasePartBracketsOnlyWhatIsNotAPlainName) {
    struct Case {
        QString name, expected;
    };
    for (const Case& c :
         {Case{"Miskernel", "Miskernel"}, Case{"_k2", "_k2"}, Case{"Kern 2", "[Kern 2]"},
          Case{"2kern", "[2kern]"}, Case{"a]b", "[a]]b]"}, Case{"x.dbo.y--", "[x.dbo.y--]"},
          // Before, a bracketed name was bracketed again and named another database.
          Case{"[MisCore]", "[MisCore]"}, Case{"[Kern 2]", "[Kern 2]"}, Case{"[a]]b]", "[a]]b]"},
          Case{"[a]b]", "[[a]]b]]]"}, Case{"[x", "[[x]"}, Case{"[]", "[[]]]"}})
        EXPECT_EQ(sqlDatabasePart(c.name), c.expected) << c.name.toStdString();
}

struct NameCase {
    const char* name;
    QString kind;
    QString id;
    bool financial;  // GetCwViewObjectName for the year 2006
    QString prefix;
    QString displayName;
};

class ViewNames : public ::testing::TestWithParam<NameCase> {
protected:
    WindowEnv env;
};

TEST_P(ViewNames, PrefixAndName) {
    const NameCase& c = GetParam();
    env.connect(c.kind, c.id);
    QString prefix = QStringLiteral("old");
    QString name = QStringLiteral("old");
    if (c.financial)
        GetCwViewObjectName(2006, c.id, prefix, name);
    else
        GetViewObjectName(c.id, prefix, name);
    EXPECT_EQ(prefix, c.prefix);
    EXPECT_EQ(name, c.displayName);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewNames,
    ::testing::Values(NameCase{"Company", "C", "", false, "", "全公司"},
                      NameCase{"KindOne", "1", "03", false, "", "全公司"},
                      NameCase{"EmptyKind", "", "03", true, "", "全公司"},
                      NameCase{"KindWithBlank", "S ", "0012", false, "", "全公司"},
                      NameCase{"LowerCaseKind", "d", "03", false, "", "全公司"},
                      NameCase{"Department", "D", "03", false, "部门/", "业务三部"},
                      NameCase{"DepartmentFinancialEra", "D", "05", true, "部门/", "业务五部"},
                      NameCase{"UnknownDepartment", "D", "99", false, "部门/", ""},
                      NameCase{"KernelSalesperson", "S", "0012", false, "业务员/", "张三"},
                      NameCase{"UnknownSalesperson", "S", "9999", false, "业务员/", ""},
                      NameCase{"FinancialGroup", "S", "0301", true, "业务员/", "财务一组"},
                      NameCase{"UnknownFinancialGroup", "S", "0999", true, "业务员/", ""},
                      // Before: the quote ended the literal and the statement failed.
                      NameCase{"QuoteInId", "D", "O'", false, "部门/", "引号部"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ViewNamesStatement, KernelLookUpTextAsSent) {
    WindowEnv env;
    env.connect(QStringLiteral("S"), QStringLiteral("0012"));
    QString prefix, name;
    GetViewObjectName(QStringLiteral("0012"), prefix, name);
    EXPECT_EQ(fm_YYCWData->CommonQuery->SQL(),
              QStringList({QStringLiteral("Select username from Kern.dbo.users "),
                           QStringLiteral("where userid='0012'")}));
    // The query stays open for its next user.
    EXPECT_TRUE(fm_YYCWData->CommonQuery->Active());
}

TEST(ViewNamesStatement, BracketedKernelNameReachesTheKernel) {
    WindowEnv env;
    env.connect(QStringLiteral("S"), QStringLiteral("0012"));
    DllParams.MiskernelDbName.assign(QStringLiteral("[Kern]"));
    QString prefix, name;
    GetViewObjectName(QStringLiteral("0012"), prefix, name);
    EXPECT_EQ(fm_YYCWData->CommonQuery->SQL().first(),
              QStringLiteral("Select username from [Kern].dbo.users "));
    EXPECT_EQ(name, QStringLiteral("张三"));
}

TEST(ViewNamesStatement, MissingKernelTableIsAnError) {
    WindowEnv env;
    env.connect(QStringLiteral("D"), QStringLiteral("03"));
    env.server.exec(windowtest::kKernel, "DROP TABLE dept");
    QString prefix = QStringLiteral("old");
    QString name = QStringLiteral("old");
    EXPECT_ANY_THROW(GetViewObjectName(QStringLiteral("03"), prefix, name));
    EXPECT_EQ(prefix, QStringLiteral("old"));
}

}  // namespace
