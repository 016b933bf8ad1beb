// One value as the client library hands it over, through the network back end's decoders
// into a result column and back out as text, scaled units and parameter values.
#include "fuzztargets.h"

#include "framework/db/drivers/freetds/tdsvalue.h"
#include "framework/text/errors.h"

#include <sybdb.h>

#include <algorithm>
#include <iterator>

namespace fuzz {

namespace {

// The types the decoders know, in their order, and one they do not.
constexpr int kServerTypes[] = {SYBCHAR,      SYBVARCHAR,     SYBNVARCHAR,
                                SYBTEXT,      SYBNTEXT,       SYBINT1,
                                SYBINT2,      SYBINT4,        SYBINT8,
                                SYBINTN,      SYBBIT,         SYBBITN,
                                SYBFLT8,      SYBREAL,        SYBFLTN,
                                SYBMONEY,     SYBMONEY4,      SYBMONEYN,
                                SYBDECIMAL,   SYBNUMERIC,     SYBDATETIME,
                                SYBDATETIME4, SYBDATETIMN,    SYBMSDATE,
                                SYBMSTIME,    SYBMSDATETIME2, SYBMSDATETIMEOFFSET,
                                SYBIMAGE};

constexpr db::FieldType kDeclared[] = {db::FieldType::String,   db::FieldType::Integer,
                                       db::FieldType::Float,    db::FieldType::Currency,
                                       db::FieldType::DateTime, db::FieldType::Memo};

}  // namespace

int tdsValue(const std::uint8_t* data, std::size_t size) {
    outcome().clear();
    if (size < 2)
        return 0;
    const int type = kServerTypes[data[0] % std::size(kServerTypes)];
    const int length = static_cast<int>(std::min<std::size_t>(data[1], size - 2));
    const std::optional<db::tds::Cell> cell = db::tds::decodeCell(type, data + 2, length);
    if (!cell) {
        outcome() = "not decoded";
        return 0;
    }

    db::RowStore store;
    store.setColumns({{QStringLiteral("v"), db::tds::fieldTypeOf(type), 0}});
    store.beginRow();
    try {
        switch (cell->kind) {
            case db::tds::Cell::Kind::Null:
                store.appendNull();
                break;
            case db::tds::Cell::Kind::Integer:
                store.appendInteger(cell->integer);
                break;
            case db::tds::Cell::Kind::Float:
                store.appendFloat(cell->real);
                break;
            case db::tds::Cell::Kind::Currency:
                store.appendCurrency(cell->integer);
                break;
            case db::tds::Cell::Kind::Text:
                store.appendText(cell->text.toStdString());
                break;
            case db::tds::Cell::Kind::DateTime:
                store.appendDateTime(cell->integer);
                break;
        }
    } catch (const EDatabaseError& e) {
        outcome() = e.what();
        store.appendNull();
    }
    store.endRow();
    if (outcome().empty())
        outcome() = "cell " + store.string(0, 0).left(60).toStdString();
    try {
        (void)store.scaled4(0, 0);
    } catch (const EDatabaseError&) {
    }
    for (db::FieldType declared : kDeclared) {
        try {
            (void)db::tds::storedToVariant(store, 0, 0, declared);
        } catch (const EDatabaseError&) {  // a float too large for an integer output
        }
    }
    return 0;
}

}  // namespace fuzz
