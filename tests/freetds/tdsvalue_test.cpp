// The conversion layer of the network back end: server column types to field types, wire
// values (money to the ten-thousandth, decimals, dates, GB18030 text, nulls) to cells, and
// procedure calls to the batch that carries them.
#include "framework/db/drivers/freetds/tdsvalue.h"
#include "framework/db/drivers/freetds/callbatch.h"
#include "framework/db/rowstore.h"
#include "framework/text/errors.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cstring>
#include <vector>

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

// The wall-clock time as the framework holds it, the same in every time zone.
std::int64_t localMs(int y, int mo, int d, int h, int mi, int s, int ms) {
    return db::naiveMsSinceEpoch(QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)));
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
        {SYBFLTN, FieldType::Float},        {SYBDECIMAL, FieldType::Currency},
        {SYBNUMERIC, FieldType::Currency},  {SYBCHAR, FieldType::String},
        {SYBVARCHAR, FieldType::String},    {SYBNVARCHAR, FieldType::String},
        {SYBTEXT, FieldType::Memo},         {SYBNTEXT, FieldType::Memo},
        {SYBDATETIME, FieldType::DateTime}, {SYBDATETIME4, FieldType::DateTime},
        {SYBDATETIMN, FieldType::DateTime}, {SYBMSDATETIME2, FieldType::DateTime},
        {SYBMSDATE, FieldType::DateTime},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fieldTypeOf(c.server), c.field) << "server type " << c.server;
    // Decimals keep to the ten-thousandth as money does; more places make them floats.
    EXPECT_EQ(fieldTypeOf(SYBDECIMAL, 4), FieldType::Currency);
    EXPECT_EQ(fieldTypeOf(SYBNUMERIC, 5), FieldType::Float);
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
    EXPECT_EQ(cell->kind, Cell::Kind::Currency);
    EXPECT_EQ(cell->integer, -12345678);
    n.scale = 6;  // -12.345678: past four places a float
    cell = decode(SYBNUMERIC, n);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->kind, Cell::Kind::Float);
    EXPECT_DOUBLE_EQ(cell->real, -12.345678);

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
    EXPECT_EQ(cell->integer, 1234500);
}

// A decimal of precision 38 as the wire holds it: sign byte, then 16 magnitude bytes.
DBNUMERIC numeric38(int scale, unsigned __int128 magnitude, bool negative) {
    DBNUMERIC n;
    std::memset(&n, 0, sizeof n);
    n.precision = 38;
    n.scale = static_cast<unsigned char>(scale);
    n.array[0] = negative ? 1 : 0;
    for (int i = 0; i < 16; ++i)
        n.array[1 + i] = static_cast<unsigned char>(magnitude >> (8 * (15 - i)));
    return n;
}

unsigned __int128 parse128(const char* digits) {
    unsigned __int128 v = 0;
    for (const char* p = digits; *p; ++p) v = v * 10 + static_cast<unsigned>(*p - '0');
    return v;
}

// The money column either holds a decimal exactly or refuses it with its range error; before,
// a 38-digit magnitude scaled to 1/10000 wrapped past 2^128 and showed as 0.8544.
TEST(TdsValues, DecimalsPastTheMoneyRangeAreRefusedAtEveryScale) {
    const unsigned __int128 max64 = static_cast<unsigned __int128>(INT64_MAX);
    struct Case {
        const char* what;
        int scale;
        unsigned __int128 magnitude;
        bool negative;
        bool fits;
    };
    std::vector<Case> cases = {
        {"38,0 wraps to 0.8544", 0, parse128("34028236692093846346337460743176822"), false, false},
        {"38,2 wraps to 0.0044", 2, parse128("3402823669209384634633746074317682115"), false,
         false},
        {"38,0 at 2^128 / 10^4", 0, (~static_cast<unsigned __int128>(0)) / 10000 + 1, false, false},
        {"38,4 largest magnitude", 4, ~static_cast<unsigned __int128>(0) >> 2, true, false},
    };
    for (int scale = 0; scale <= 4; ++scale) {
        unsigned __int128 factor = 1;
        for (int i = scale; i < 4; ++i) factor *= 10;
        cases.push_back({"largest that fits", scale, max64 / factor, false, true});
        cases.push_back({"one past it", scale, max64 / factor + 1, false, false});
        cases.push_back({"most negative that fits", scale, (max64 + 1) / factor, true, true});
        cases.push_back({"one below it", scale, (max64 + 1) / factor + 1, true, false});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.what << ", scale " << c.scale);
        const std::optional<Cell> cell =
            decode(SYBDECIMAL, numeric38(c.scale, c.magnitude, c.negative));
        ASSERT_TRUE(cell);
        db::RowStore store;
        store.setColumns({{QStringLiteral("cb"), fieldTypeOf(SYBDECIMAL, c.scale), 0}});
        store.beginRow();
        const auto append = [&] {
            if (cell->kind == Cell::Kind::Currency)
                store.appendCurrency(cell->integer);
            else
                store.appendFloat(cell->real);
        };
        if (!c.fits) {
            EXPECT_NE(cell->kind, Cell::Kind::Currency);
            EXPECT_THROW(append(), EDatabaseError);
            continue;
        }
        ASSERT_EQ(cell->kind, Cell::Kind::Currency);
        unsigned __int128 factor = 1;
        for (int i = c.scale; i < 4; ++i) factor *= 10;
        const auto units = static_cast<__int128>(c.magnitude * factor);
        EXPECT_TRUE(cell->integer == (c.negative ? -units : units));
        append();
    }
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

TEST(TdsValues, OutputValuesBecomeVariantsOfTheDeclaredType) {
    db::RowStore out;
    out.setColumns({{QStringLiteral("m"), FieldType::Currency, 0},
                    {QStringLiteral("n"), FieldType::Integer, 0},
                    {QStringLiteral("d"), FieldType::DateTime, 0},
                    {QStringLiteral("s"), FieldType::String, 0}});
    out.beginRow();
    out.appendCurrency(12345678);
    out.appendInteger(2005);
    out.appendDateTime(db::naiveMsSinceEpoch(QDateTime(QDate(2005, 3, 4), QTime(9, 41))));
    out.appendNull();
    out.endRow();
    EXPECT_DOUBLE_EQ(storedToVariant(out, 0, 0, FieldType::Currency).toDouble(), 1234.5678);
    EXPECT_EQ(storedToVariant(out, 0, 0, FieldType::String).toString(),
              QStringLiteral("1234.5678"));
    EXPECT_EQ(storedToVariant(out, 0, 1, FieldType::Integer).toLongLong(), 2005);
    EXPECT_EQ(storedToVariant(out, 0, 1, FieldType::String).toString(), QStringLiteral("2005"));
    EXPECT_EQ(storedToVariant(out, 0, 2, FieldType::DateTime).toDateTime(),
              QDateTime(QDate(2005, 3, 4), QTime(9, 41)));
    EXPECT_TRUE(storedToVariant(out, 0, 3, FieldType::String).isNull());
}

db::Param param(const char* name, FieldType type, db::ParamType dir, QVariant value = {}) {
    db::Param p;
    p.Name = QString::fromLatin1(name);
    p.DataType = type;
    p.Type = dir;
    p.Value = std::move(value);
    return p;
}

// Every input as the literal the batch sends: strings as strings (the empty one included),
// integers as integers, money exactly, floats as floats.
TEST(TdsCall, InputsAreLiteralsOfTheirDeclaredType) {
    struct Case {
        const char* what;
        db::Param p;
        const char* literal;
    };
    const Case cases[] = {
        {"empty text stays empty",
         param("@deptid", FieldType::String, db::ParamType::Input, QString(QLatin1String(""))),
         "''"},
        {"text", param("@cwdept", FieldType::String, db::ParamType::Input, QStringLiteral("0301")),
         "'0301'"},
        {"quote doubled",
         param("@s", FieldType::String, db::ParamType::Input,
               QStringLiteral("O'; DROP TABLE dept; --")),
         "'O''; DROP TABLE dept; --'"},
        {"Chinese text",
         param("@s", FieldType::Memo, db::ParamType::Input, QStringLiteral("业务一部")),
         "'业务一部'"},
        {"integer", param("@curyear", FieldType::Integer, db::ParamType::Input, 2005), "2005"},
        {"integer given as text",
         param("@q", FieldType::Integer, db::ParamType::Input, QStringLiteral("0")), "0"},
        {"bigint",
         param("@big", FieldType::Integer, db::ParamType::Input,
               QVariant::fromValue<qlonglong>(INT64_MIN)),
         "-9223372036854775808"},
        {"money exact", param("@m", FieldType::Currency, db::ParamType::Input, 12.3456), "12.3456"},
        {"largest money",
         param("@m", FieldType::Currency, db::ParamType::Input,
               QVariant::fromValue<qlonglong>(-922337203685477)),
         "-922337203685477.0000"},
        {"float", param("@f", FieldType::Float, db::ParamType::Input, 0.25), "0.25E0"},
        {"float with exponent", param("@f", FieldType::Float, db::ParamType::Input, 1e300),
         "1e+300"},
        {"date and time",
         param("@at", FieldType::DateTime, db::ParamType::Input,
               QDateTime(QDate(2005, 3, 4), QTime(9, 41, 7))),
         "'2005-03-04T09:41:07.000'"},
        {"NULL", param("@n", FieldType::String, db::ParamType::Input), "NULL"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(db::tds::sqlLiteral(c.p), QString::fromUtf8(c.literal)) << c.what;
}

TEST(TdsCall, BatchDeclaresOutputsAndReadsThemBack) {
    const std::vector<db::Param> params = {
        param("Result", FieldType::Integer, db::ParamType::Result),
        param("@curyear", FieldType::Integer, db::ParamType::Input, 2005),
        param("@toYWdept", FieldType::String, db::ParamType::Output, QStringLiteral("old")),
        param("@count", FieldType::Integer, db::ParamType::InputOutput, 1),
        param("@salerid", FieldType::String, db::ParamType::Input, QString(QLatin1String(""))),
    };
    const db::tds::CallBatch b =
        db::tds::callBatch(QStringLiteral("dbo.CWDept2YWDept_Format1"), params);
    EXPECT_EQ(b.text,
              QStringLiteral("DECLARE @p1 varchar(8000), @p2 bigint, @RETURN_VALUE int;\n"
                             "SET @p2 = 1;\n"
                             "EXEC @RETURN_VALUE = [dbo].[CWDept2YWDept_Format1] @curyear = 2005, "
                             "@toYWdept = @p1 OUTPUT, @count = @p2 OUTPUT, @salerid = '';\n"
                             "SELECT @RETURN_VALUE, @p1, @p2;"));
    EXPECT_EQ(b.readBack, (std::vector<int>{0, 2, 3}));

    const db::tds::CallBatch plain = db::tds::callBatch(
        QStringLiteral("dbo.ImportYYCWDATA"),
        {param("@year1", FieldType::String, db::ParamType::Input, QStringLiteral("2003"))});
    EXPECT_EQ(plain.text, QStringLiteral("EXEC [dbo].[ImportYYCWDATA] @year1 = '2003';"));
    EXPECT_TRUE(plain.readBack.empty());
}

TEST(TdsCall, NamesThatAreNoIdentifiersAreRefused) {
    EXPECT_EQ(db::tds::quotedObjectName(QStringLiteral("#cw2yw")), QStringLiteral("[#cw2yw]"));
    EXPECT_EQ(db::tds::quotedObjectName(QStringLiteral("Calvesteri..StatCalvesteri")),
              QStringLiteral("[Calvesteri]..[StatCalvesteri]"));
    EXPECT_EQ(db::tds::quotedObjectName(QStringLiteral("[my proc]")), QStringLiteral("[my proc]"));
    for (const char* bad : {"dbo.X; DROP TABLE t", "dbo.X;1", "x y", "[a]b]", "", "a.b.c.d.e"})
        EXPECT_THROW(db::tds::quotedObjectName(QString::fromLatin1(bad)), EInvalidOperation) << bad;
    for (const char* bad : {"curyear", "@", "@a b", "@x=1--"})
        EXPECT_THROW(db::tds::callBatch(QStringLiteral("dbo.X"),
                                        {param(bad, FieldType::Integer, db::ParamType::Input, 1)}),
                     EInvalidOperation)
            << bad;
}

TEST(TdsCall, ValuesThatAreNoLiteralRaiseConvertError) {
    const db::Param bad[] = {
        param("@curyear", FieldType::Integer, db::ParamType::Input, QStringLiteral("20x5")),
        param("@amount", FieldType::Float, db::ParamType::Input, QStringLiteral("abc")),
        param("@f", FieldType::Float, db::ParamType::Input,
              std::numeric_limits<double>::infinity()),
        param("@m", FieldType::Currency, db::ParamType::Input, 1e300),
        param("@s", FieldType::String, db::ParamType::Input, QString(QChar(0))),
        param("@at", FieldType::DateTime, db::ParamType::Input, QStringLiteral("not a date")),
    };
    for (const db::Param& p : bad)
        EXPECT_THROW(db::tds::sqlLiteral(p), EConvertError) << p.Name.toStdString();
}

}  // namespace
