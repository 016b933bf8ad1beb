// The host record: its layout is fixed by the host, the entry adjustments run in order,
// and writes never exceed a slot.
#include "plugin/dllparams.h"

#include "framework/text/text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void put(unsigned char* record, std::size_t offset, std::string_view bytes) {
    record[offset] = static_cast<unsigned char>(bytes.size());
    std::memcpy(record + offset + 1, bytes.data(), bytes.size());
}

TEST(HostRecord, FieldsSitAtTheHostsOffsets) {
    std::vector<unsigned char> raw(sizeof(TDllParams), 0);
    const struct {
        std::size_t offset;
        const char* value;
        TShortString TDllParams::*field;
    } fields[] = {
        {0x0000, "0012", &TDllParams::UserId},         {0x0200, "02", &TDllParams::UserDept},
        {0x0400, "srv", &TDllParams::ServerName},      {0x0500, "bob", &TDllParams::DbUserName},
        {0x0600, "pw", &TDllParams::DbPassword},       {0x0700, "Biz", &TDllParams::BusinessDbName},
        {0x0900, "Dict", &TDllParams::PubdictDbName},  {0x0B00, "Kern", &TDllParams::MiskernelDbName},
        {0x0F00, "****CW", &TDllParams::Rights},       {0x1000, "x", &TDllParams::ModuleRights},
        {0x1100, "D", &TDllParams::ViewKind},          {0x1200, "03", &TDllParams::ViewId},
        {0x1300, "R", &TDllParams::OperationType},     {0x1400, "05", &TDllParams::ViewDept},
        {0x1500, "PC-01", &TDllParams::StationName},
    };
    for (const auto& s : fields)
        put(raw.data(), s.offset, s.value);
    TDllParams p;
    std::memcpy(&p, raw.data(), sizeof p);
    for (const auto& s : fields)
        EXPECT_EQ((p.*(s.field)).bytes(), s.value) << std::hex << s.offset;
}

TEST(HostRecord, EntryAdjustments) {
    struct Case {
        const char* name;
        std::string rights, moduleRights, expectRights;
    } cases[] = {
        {"blank module rights keep Rights", "****CW", "    ", "****CW"},
        {"empty module rights keep Rights", "****CW", "", "****CW"},
        {"control characters count as blank", "****CW", "\t\r\n", "****CW"},
        {"one visible character replaces, blanks included", "****CW", "  x ", "  x "},
        {"module rights win", "****CW", "**03DR", "**03DR"},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> raw(sizeof(TDllParams), 0);
        put(raw.data(), 0x0F00, c.rights);
        put(raw.data(), 0x1000, c.moduleRights);
        put(raw.data(), 0x0500, "administrator");
        put(raw.data(), 0x0600, "secret");
        put(raw.data(), 0x1B00, "host's own");
        TakeHostParams(raw.data());
        EXPECT_EQ(DllParams.Rights.bytes(), c.expectRights) << c.name;
        EXPECT_EQ(DllParams.ModuleRights.bytes(), c.moduleRights) << c.name;
        EXPECT_EQ(DllParams.DbUserName.bytes(), "sa") << c.name;
        EXPECT_EQ(DllParams.DbPassword.bytes(), "") << c.name;
        EXPECT_EQ(DllParams.Reserved1B.bytes(), "host's own") << c.name;
    }
}

TEST(HostRecord, HostRecordIsOnlyRead) {
    std::vector<unsigned char> raw(sizeof(TDllParams), 0);
    put(raw.data(), 0x0500, "bob");
    const auto before = raw;
    TakeHostParams(raw.data());
    EXPECT_EQ(raw, before);
}

TEST(HostRecord, WritesAreCutAt255Bytes) {
    TShortString s{};
    s.assign(std::string(300, 'a'));
    EXPECT_EQ(s.length, 255);
    EXPECT_EQ(s.bytes(), std::string(255, 'a'));

    // 254 ASCII bytes then a double-byte character: the half character is dropped.
    std::string gbk = std::string(254, 'b') + text::toGbk(QStringLiteral("汉"));
    s.assign(gbk);
    EXPECT_EQ(s.length, 254);
    EXPECT_EQ(s.text(), QString(254, QLatin1Char('b')));

    s.assign(QStringLiteral("部门"));
    EXPECT_EQ(s.length, 4);
    EXPECT_EQ(s.text(), QStringLiteral("部门"));
}

}  // namespace
