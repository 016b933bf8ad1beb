// Stores received rows as Values and plays them back in the same order.
#include "server/rowbuffer.h"

namespace server {

void RowBuffer::columns(const std::vector<Column>& cols) {
    m_hasColumns = true;
    m_set.columns = cols;
    m_set.rows.clear();
}

void RowBuffer::beginRow() {
    m_set.rows.emplace_back();
    m_set.rows.back().reserve(m_set.columns.size());
}

void RowBuffer::add(Value v) {
    m_set.rows.back().push_back(std::move(v));
}

void RowBuffer::null() {
    add(Value::null());
}
void RowBuffer::integer(std::int64_t v) {
    add(Value::fromInt(v));
}
void RowBuffer::real(double v) {
    add(Value::fromDouble(v));
}
void RowBuffer::text(std::string_view utf8) {
    add(Value::fromText(std::string(utf8)));
}

void RowBuffer::currency(std::int64_t v) {
    Value x;
    x.kind = Value::Kind::Currency;
    x.integer = v;
    add(std::move(x));
}

void RowBuffer::dateTime(std::int64_t msSinceEpoch) {
    Value x;
    x.kind = Value::Kind::DateTime;
    x.integer = msSinceEpoch;
    add(std::move(x));
}

void RowBuffer::endRow() {}

void RowBuffer::replay(RowSink& sink) const {
    sink.columns(m_set.columns);
    for (const auto& row : m_set.rows) {
        sink.beginRow();
        for (const Value& v : row) {
            switch (v.kind) {
                case Value::Kind::Null:
                    sink.null();
                    break;
                case Value::Kind::Integer:
                    sink.integer(v.integer);
                    break;
                case Value::Kind::Float:
                    sink.real(v.real);
                    break;
                case Value::Kind::Currency:
                    sink.currency(v.integer);
                    break;
                case Value::Kind::Text:
                    sink.text(v.text);
                    break;
                case Value::Kind::DateTime:
                    sink.dateTime(v.integer);
                    break;
            }
        }
        sink.endRow();
    }
}

RowSet RowBuffer::take() {
    m_hasColumns = false;
    return std::move(m_set);
}

}  // namespace server
