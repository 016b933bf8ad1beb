// The conversion layer of the network back end: server column types to field types, wire
// values (money to the ten-thousandth, decimals, dates, GB18030 text, nulls) to cells, and
// procedure parameters to the remote-call layout.
#include "framework/db/drivers/freetds/tdsvalue.h"
#include "framework/text/errors.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cstring>

#include <gtest/gtest.h>
#include <sybdb.h>
#include <sybfront.h>

using namespace db::tds;
using db::FieldType;

namespace {

template <typename T>
std::optional<Cell> decode(int type, const T& v) {
    return decodeCell(type, reinterpret_cast<const unsigned char*>(&v), sizeof v);
}

std::int64_t localMs(int y, int mo, int d, int h, int mi, int s, int ms) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)).toMSecsSinceEpoch();
}

int daysSince1900(int y, int mo, int d) {
    return static_cast<int>(QDate(1900, 1, 1).daysTo(QDate(y, mo, d)));
}

TEST(TdsTypes, ServerTypesMapToFieldTypes) {
    const struct {
        int server;
        FieldType field;
    } cases[] = {
        {SYBMONEY, FieldType::Currency},    {SYBMONEY4, FieldType::Currency},
        {SYBMONEYN, FieldType::Currency},   {SYBINT1, FieldType::Integer},
        {SYBINT2, FieldType::Integer},      {SYBINT4, FieldType::Integer},
        {SYBINT8, FieldType::Integer},      {SYBINTN, FieldType::Integer},
        {SYBFLT8, FieldType::Float},        {SYBREAL, FieldType::Float},
        {SYBFLTN, FieldType::Float},        {SYBDECIMAL, FieldType::Float},
        {SYBNUMERIC, FieldType::Float},     {SYBCHAR, FieldType::String},
        {SYBVARCHAR, FieldType::String},    {SYBNVARCHAR, FieldType::String},
        {SYBTEXT, FieldType::Memo},         {SYBNTEXT, FieldType::Memo},
        {SYBDATETIME, FieldType::DateTime}, {SYBDATETIME4, FieldType::DateTime},
        {SYBDATETIMN, FieldType::DateTime}, {SYBMSDATETIME2, FieldType::DateTime},
        {SYBMSDATE, FieldType::DateTime},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fieldTypeOf(c.server), c.field) << "server type " << c.server;
}

TEST(TdsText, Gb18030KeepsCharactersGbkLacks) {
    // U+20000 and the euro sign are outside GBK; GB18030 has four- and two-byte forms.
    const QString text = QStringLiteral("出口𠀀€盈亏");
    const QByteArray bytes = encodeText(text);
    EXPECT_TRUE(bytes.contains(QByteArray("\x95\x32\x82\x36", 4)));
    EXPECT_TRUE(bytes.contains(QByteArray("\xA2\xE3", 2)));
    EXPECT_FALSE(bytes.contains('?'));
    EXPECT_EQ(decodeText(bytes.constData(), static_cast<int>(bytes.size())), text);

    const auto cell = decodeCell(SYBVARCHAR, reinterpret_cast<const unsigned char*>(bytes.data()),
                                 static_cast<int>(bytes.size()));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->kind, Cell::Kind::Text);
    EXPECT_EQ(cell->text, text);
}

TEST(TdsValues, NullAndEmptyTextAreDifferent) {
    for (int type : {SYBVARCHAR, SYBINT4, SYBMONEY, SYBDATETIME, SYBFLT8, SYBNUMERIC}) {
        const auto null = decodeCell(type, nullptr, 0);
        ASSERT_TRUE(null);
        EXPECT_EQ(null->kind, Cell::Kind::Null) << type;
    }
    const unsigned char none[1] = {0};
    const auto empty = decodeCell(SYBVARCHAR, none, 0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->kind, Cell::Kind::Text);
    EXPECT_TRUE(empty->text.isEmpty());
}

TEST(TdsValues, MoneyKeepsFourDecimals) {
    const struct {
        const char* what;
        std::int64_t tenThousandths;
    } cases[] = {{"1234.5678", 12345678},
                 {"-0.0001", -1},
                 {"4294967296.0001 (both halves used)", 42949672960001LL},
                 {"-922337203685477.5808 (smallest)", INT64_MIN}};
    for (const auto& c : cases) {
        DBMONEY m;
        m.mnyhigh = static_cast<DBINT>(c.tenThousandths >> 32);
        m.mnylow = static_cast<DBUINT>(c.tenThousandths & 0xFFFFFFFF);
        const auto cell = decode(SYBMONEY, m);
        ASSERT_TRUE(cell) << c.what;
        EXPECT_EQ(cell->kind, Cell::Kind::Currency) << c.what;
        EXPECT_EQ(cell->integer, c.tenThousandths) << c.what;
    }
    DBMONEY4 small;
    small.mny4 = -123456;
    const auto cell = decode(SYBMONEY4, small);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->kind, Cell::Kind::Currency);
    EXPECT_EQ(cell->integer, -123456);
}

TEST(TdsValues, IntegersByWidth) {
    EXPECT_EQ(decode(SYBINT1, std::uint8_t{200})->integer, 200);  // tinyint has no sign
    EXPECT_EQ(decode(SYBINT2, std::int16_t{-2})->integer, -2);
    EXPECT_EQ(decode(SYBINTN, std::int32_t{-70000})->integer, -70000);
    EXPECT_EQ(decode(SYBINT8, std::int64_t{1} << 40)->integer, std::int64_t{1} << 40);
    EXPECT_EQ(decode(SYBBIT, std::uint8_t{1})->integer, 1);
    EXPECT_FALSE(decodeCell(SYBINTN, reinterpret_cast<const unsigned char*>("abc"), 3));
}

TEST(TdsValues, FloatsAndDecimals) {
    EXPECT_DOUBLE_EQ(decode(SYBFLT8, 0.1)->real, 0.1);
    EXPECT_FLOAT_EQ(static_cast<float>(decode(SYBREAL, 2.5f)->real), 2.5f);

    DBNUMERIC n;
    std::memset(&n, 0, sizeof n);
    n.precision = 18;
    n.scale = 4;
    n.array[0] = 1;  // negative
    // 12345678 in the 8 magnitude bytes of an 18-digit decimal, most significant first.
    const std::uint64_t mag = 12345678;
    for (int i = 0; i < 8; ++i) n.array[1 + i] = static_cast<unsigned char>(mag >> (8 * (7 - i)));
    auto cell = decode(SYBNUMERIC, n);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->kind, Cell::Kind::Float);
    EXPECT_EQ(cell->real, -1234.5678);

    // decimal(5,2) keeps 3 magnitude bytes: 123.45; bytes past them are not part of it.
    std::memset(&n, 0xAB, sizeof n);
    n.precision = 5;
    n.scale = 2;
    n.array[0] = 0;
    n.array[1] = 0x00;
    n.array[2] = 0x30;
    n.array[3] = 0x39;
    cell = decode(SYBDECIMAL, n);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->real, 123.45);
}

TEST(TdsValues, DateTimesAreLocalWallClock) {
    DBDATETIME dt;
    dt.dtdays = daysSince1900(2005, 3, 4);
    dt.dttime = (9 * 3600 + 41 * 60 + 7) * 300 + 37;  // 37/300 s = 123.3 ms
    EXPECT_EQ(decode(SYBDATETIME, dt)->integer, localMs(2005, 3, 4, 9, 41, 7, 123));
    EXPECT_EQ(decode(SYBDATETIME, dt)->kind, Cell::Kind::DateTime);

    dt.dtdays = daysSince1900(1753, 1, 1);  // before 1900: negative days
    dt.dttime = 0;
    EXPECT_EQ(decode(SYBDATETIMN, dt)->integer, localMs(1753, 1, 1, 0, 0, 0, 0));

    DBDATETIME4 small;
    small.days = static_cast<DBUSMALLINT>(daysSince1900(2004, 12, 31));
    small.minutes = 23 * 60 + 59;
    EXPECT_EQ(decode(SYBDATETIME4, small)->integer, localMs(2004, 12, 31, 23, 59, 0, 0));

    DBDATETIMEALL all;
    std::memset(&all, 0, sizeof all);
    all.date = daysSince1900(2006, 7, 1);
    all.time = (12ULL * 3600 * 1000 + 5) * 10000;  // 100 ns units
    all.has_date = 1;
    all.has_time = 1;
    EXPECT_EQ(decode(SYBMSDATETIME2, all)->integer, localMs(2006, 7, 1, 12, 0, 0, 5));
}

TEST(TdsValues, UnknownTypeIsLeftToTheCaller) {
    const unsigned char bytes[2] = {0xDE, 0xAD};
    EXPECT_FALSE(decodeCell(SYBVARBINARY, bytes, 2));
}

TEST(TdsValues, OutputCellsBecomeVariantsOfTheDeclaredType) {
    Cell money;
    money.kind = Cell::Kind::Currency;
    money.integer = 12345678;
    EXPECT_DOUBLE_EQ(cellToVariant(money, FieldType::Currency).toDouble(), 1234.5678);
    EXPECT_EQ(cellToVariant(money, FieldType::String).toString(), QStringLiteral("1234.5678"));
    Cell number;
    number.kind = Cell::Kind::Integer;
    number.integer = 2005;
    EXPECT_EQ(cellToVariant(number, FieldType::Integer).toLongLong(), 2005);
    EXPECT_EQ(cellToVariant(number, FieldType::String).toString(), QStringLiteral("2005"));
    EXPECT_TRUE(cellToVariant(Cell{}, FieldType::String).isNull());
}

db::Param param(const char* name, FieldType type, db::ParamType dir, QVariant value) {
    db::Param p;
    p.Name = QString::fromLatin1(name);
    p.DataType = type;
    p.Type = dir;
    p.Value = std::move(value);
    return p;
}

TEST(TdsParams, InputsCarryTypedValues) {
    RpcParam p = encodeParam(param("@curyear", FieldType::Integer, db::ParamType::Input, 2005));
    EXPECT_EQ(p.name, QByteArray("@curyear"));
    EXPECT_EQ(p.type, SYBINT4);
    EXPECT_EQ(p.dataLength, -1);
    EXPECT_EQ(p.maxLength, -1);
    EXPECT_FALSE(p.output);
    std::int32_t year = 0;
    ASSERT_EQ(p.value.size(), 4);
    std::memcpy(&year, p.value.constData(), 4);
    EXPECT_EQ(year, 2005);

    p = encodeParam(param("@big", FieldType::Integer, db::ParamType::Input,
                          QVariant::fromValue<qlonglong>(1LL << 40)));
    EXPECT_EQ(p.type, SYBINT8);

    p = encodeParam(
        param("@cwdept", FieldType::String, db::ParamType::Input, QStringLiteral("财务𠀀")));
    EXPECT_EQ(p.type, SYBVARCHAR);
    EXPECT_EQ(p.value, encodeText(QStringLiteral("财务𠀀")));
    EXPECT_EQ(p.dataLength, p.value.size());

    p = encodeParam(param("@amount", FieldType::Currency, db::ParamType::Input, 12.34));
    EXPECT_EQ(p.type, SYBFLT8);
    double amount = 0;
    std::memcpy(&amount, p.value.constData(), sizeof amount);
    EXPECT_EQ(amount, 12.34);

    p = encodeParam(param("@at", FieldType::DateTime, db::ParamType::Input,
                          QDateTime(QDate(2005, 3, 4), QTime(9, 41, 7))));
    EXPECT_EQ(p.value, QByteArray("2005-03-04T09:41:07.000"));
}

TEST(TdsParams, NullsAndOutputs) {
    RpcParam p = encodeParam(param("@n", FieldType::Integer, db::ParamType::Input, QVariant()));
    EXPECT_TRUE(p.null);
    EXPECT_EQ(p.dataLength, 0);
    p = encodeParam(param("@s", FieldType::String, db::ParamType::Input, QVariant()));
    EXPECT_TRUE(p.null);
    EXPECT_EQ(p.dataLength, 0);
    p = encodeParam(param("@s", FieldType::String, db::ParamType::Input, QStringLiteral("x")));
    EXPECT_FALSE(p.null);

    // An output parameter sends nothing in, whatever its current value, and reserves room.
    p = encodeParam(
        param("@toYWdept", FieldType::String, db::ParamType::Output, QStringLiteral("old")));
    EXPECT_TRUE(p.output);
    EXPECT_TRUE(p.null);
    EXPECT_EQ(p.dataLength, 0);
    EXPECT_GT(p.maxLength, 0);
    p = encodeParam(param("@count", FieldType::Integer, db::ParamType::Output, QVariant()));
    EXPECT_TRUE(p.output);
    EXPECT_EQ(p.maxLength, -1);

    p = encodeParam(param("@io", FieldType::Integer, db::ParamType::InputOutput, 7));
    EXPECT_TRUE(p.output);
    EXPECT_EQ(p.dataLength, -1);
}

TEST(TdsParams, BadNumberRaisesConvertError) {
    EXPECT_THROW(encodeParam(param("@curyear", FieldType::Integer, db::ParamType::Input,
                                   QStringLiteral("20x5"))),
                 EConvertError);
    EXPECT_THROW(encodeParam(param("@amount", FieldType::Float, db::ParamType::Input,
                                   QStringLiteral("abc"))),
                 EConvertError);
}

}  // namespace
