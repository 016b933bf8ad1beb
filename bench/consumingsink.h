// A row sink that reads every cell the server hands it and keeps nothing but a count and a
// checksum: the server's side of a call alone, for the benchmarks.
#pragma once

#include "server/server.h"

#include <cstdint>

namespace bench {

class ConsumingSink : public server::RowSink {
public:
    void columns(const std::vector<server::Column>&) override { rows = 0; }
    void beginRow() override {}
    void null() override {}
    void integer(std::int64_t v) override { add(v); }
    void real(double v) override { add(static_cast<std::int64_t>(v)); }
    void currency(std::int64_t v) override { add(v); }
    void text(std::string_view utf8) override { sum += utf8.size(); }
    void dateTime(std::int64_t ms) override { add(ms); }
    void endRow() override { ++rows; }
    std::size_t rows = 0;
    std::uint64_t sum = 0;

private:
    void add(std::int64_t v) { sum += static_cast<std::uint64_t>(v); }
};

}  // namespace bench
