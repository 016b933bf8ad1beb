// Conversions of text and numbers: the row store with a field's display text (currency
// format on), the embedded server's value parsers, and the GBK text helpers.
#include "fuzztargets.h"

#include "framework/db/dataset.h"
#include "framework/db/field.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"
#include "server/conversions.h"

#include <cstring>
#include <string>

namespace fuzz {

namespace {

// Reads values off the end of the input, as libFuzzer's data provider does, so that the
// front stays free for text.
class Tail {
public:
    Tail(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t byte() { return m_size > 0 ? m_data[--m_size] : 0; }
    std::int64_t int64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8 && m_size > 0; ++i) v = (v << 8) | m_data[--m_size];
        return static_cast<std::int64_t>(v + 0x8000000000000000ULL);
    }
    std::string rest() const { return std::string(reinterpret_cast<const char*>(m_data), m_size); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

// The numeric types weigh more: three bits pick one.
constexpr db::FieldType kTypes[8] = {db::FieldType::String,   db::FieldType::Integer,
                                     db::FieldType::Float,    db::FieldType::Memo,
                                     db::FieldType::Currency, db::FieldType::DateTime,
                                     db::FieldType::Integer,  db::FieldType::Currency};

// One column of the chosen type; row 0 holds the value, row 1 the text.
class OneColumn : public db::DataSet {
public:
    OneColumn(db::FieldType type, int kind, std::int64_t value, std::string text)
        : m_type(type), m_kind(kind), m_value(value), m_text(std::move(text)) {}

protected:
    void fetchRows(db::RowStore& into) override {
        into.setColumns({{QStringLiteral("v"), m_type, 20}});
        into.beginRow();
        try {
            switch (m_kind) {
                case 0: {
                    double d;
                    static_assert(sizeof d == sizeof m_value);
                    std::memcpy(&d, &m_value, sizeof d);
                    into.appendFloat(d);
                    break;
                }
                case 1:
                    into.appendInteger(m_value);
                    break;
                default:
                    into.appendCurrency(m_value);
                    break;
            }
        } catch (const EDatabaseError& e) {
            outcome() = e.what();
            into.appendNull();  // refused: the row is finished without it
        }
        into.endRow();
        into.beginRow();
        try {
            into.appendText(m_text);
        } catch (const EDatabaseError&) {
            into.appendNull();
        }
        into.endRow();
    }

private:
    db::FieldType m_type;
    int m_kind;
    std::int64_t m_value;
    std::string m_text;
};

void readBack(db::DataSet& ds) {
    db::Field* f = ds.fieldAt(0);
    for (int row = 0; row < ds.RecordCount(); ++row) {
        for (bool currency : {false, true}) {
            f->SetCurrency(currency);
            const QString shown = f->DisplayTextAt(row);
            if (row == 0 && currency && outcome().empty())
                outcome() = "shown " + shown.left(60).toStdString();
        }
        (void)ds.store().string(row, 0);
        try {
            (void)ds.store().scaled4(row, 0);
        } catch (const EDatabaseError&) {
        }
    }
    for (ds.First(); !ds.Eof(); ds.Next()) {
        try {
            (void)f->AsInteger();
            (void)f->AsFloat();
            (void)f->AsDateTime();
        } catch (const Exception&) {
        }
    }
}

void serverParsers(const std::string& text) {
    if (const auto ms = server::parseDateTime(text))
        (void)server::formatDateTime(*ms);
    (void)server::looksLikeDateTime(text);
    (void)server::parseCurrency(text);
    (void)server::parseInteger(text);
    if (const auto v = server::parseFloat(text)) {
        (void)server::currencyFromReal(*v);
        (void)server::integerFromReal(*v);
        (void)server::formatReal(*v);
        (void)db::formatGeneral(*v);
    }
    int size = 0;
    (void)server::typeFromDeclaration(text, &size);
}

void textHelpers(const std::string& bytes) {
    const QString s = text::fromGbk(bytes);
    (void)text::toGbk(s);
    (void)text::trim(s);
    (void)text::trimBytes(bytes);
    for (std::size_t n : {0, 1, 2, 4, 13, 255}) (void)text::gbkPrefix(bytes, n);
}

}  // namespace

int conversions(const std::uint8_t* data, std::size_t size) {
    outcome().clear();
    Tail in(data, size);
    const db::FieldType type = kTypes[in.byte() & 7];
    const int kind = in.byte() % 3;
    const std::int64_t value = in.int64();
    const std::string text = in.rest();

    OneColumn ds(type, kind, value, text);
    ds.Open();
    readBack(ds);
    serverParsers(text);
    textHelpers(text);
    return 0;
}

}  // namespace fuzz
