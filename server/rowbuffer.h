// A RowSink that keeps what it receives: for a result set that must wait (an earlier
// result of a procedure that a later statement may replace) and for RowSet callers.
#pragma once

#include "server/server.h"

namespace server {

class RowBuffer : public RowSink {
public:
    void columns(const std::vector<Column>& cols) override;
    void beginRow() override;
    void null() override;
    void integer(std::int64_t v) override;
    void real(double v) override;
    void currency(std::int64_t v) override;
    void text(std::string_view utf8) override;
    void dateTime(std::int64_t msSinceEpoch) override;
    void endRow() override;

    bool hasColumns() const { return m_hasColumns; }
    void replay(RowSink& sink) const;
    RowSet take();

private:
    void add(Value v);

    bool m_hasColumns = false;
    RowSet m_set;
};

}  // namespace server
