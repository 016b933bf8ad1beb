// GBK conversion, the product's trimming, and GBK-safe byte prefixes.
#include "framework/text/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, GbkRoundTrip) {
    const QString s = QStringLiteral("出口盈亏表 A1");
    const std::string bytes = text::toGbk(s);
    EXPECT_EQ(bytes.size(), 13u);  // five double-byte characters, a blank, two ASCII
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xB3);  // 出 = B3 F6 in GBK
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xF6);
    EXPECT_EQ(text::fromGbk(bytes), s);
}

TEST(Text, TrimRemovesEverythingUpToSpace) {
    struct Case {
        QString in, out;
    } cases[] = {
        {QStringLiteral("  a123  "), QStringLiteral("a123")},
        {QStringLiteral("\t\r\n a b \x01"), QStringLiteral("a b")},
        {QStringLiteral("   "), QString()},
        {QString(), QString()},
        {QStringLiteral("\u3000x"), QStringLiteral("\u3000x")},  // full-width blank is a character
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::trim(c.in), c.out) << c.in.toStdString();
    EXPECT_EQ(text::trimBytes(" \x1f**03DW \t"), "**03DW");
}

TEST(Text, GbkPrefixNeverSplitsACharacter) {
    const std::string s = text::toGbk(QStringLiteral("PC会计室01"));  // 2 + 6 + 2 bytes
    struct Case {
        std::size_t n;
        QString expect;
    } cases[] = {
        {0, QString()},
        {2, QStringLiteral("PC")},
        {3, QStringLiteral("PC")},  // would cut 会 in half
        {4, QStringLiteral("PC会")},
        {7, QStringLiteral("PC会计")},
        {8, QStringLiteral("PC会计室")},
        {100, QStringLiteral("PC会计室01")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::fromGbk(text::gbkPrefix(s, c.n)), c.expect) << c.n;
    EXPECT_EQ(text::gbkPrefix("PC-ACCOUNTING-01", 13), "PC-ACCOUNTING");
}

}  // namespace
