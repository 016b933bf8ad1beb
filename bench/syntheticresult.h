// A statement result generated straight into the row store, standing in for a server
// result: shipment numbers, flags, a department, costing-sheet numbers and twelve money
// columns with up to four decimals.
#pragma once

#include "framework/db/dataset.h"

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

inline const char* const kMoney[] = {"srUSD", "srRMB", "yfUSD", "yfRMB", "bfUSD",      "bfRMB",
                                     "yjUSD", "yjRMB", "cb",    "lirun", "lirun_true", "shouhui"};

class SyntheticResult : public db::DataSet {
public:
    // large: a large company's amounts, from thousands to 10 digits before the point, with
    // losses of up to 10 digits in the profit columns, and 10-character costing sheets.
    explicit SyntheticResult(int rows, bool large = false) : m_rows(rows), m_large(large) {}

protected:
    void fetchRows(db::RowStore& into) override {
        std::vector<db::FieldDef> defs = {{"invoiceno", db::FieldType::String, 20},
                                          {"UnExchTag", db::FieldType::String, 2},
                                          {"dept", db::FieldType::String, 20},
                                          {"value_no", db::FieldType::String, 20}};
        for (const char* m : kMoney) defs.push_back({m, db::FieldType::Currency, 0});
        into.setColumns(defs);
        into.reserve(m_rows);
        for (int r = 0; r < m_rows; ++r) {
            into.beginRow();
            into.appendText("EX" + std::to_string(100000 + r));
            into.appendText(r % 3 ? "" : "*");
            into.appendText("业务一科");
            into.appendText(m_large ? "HS" + std::to_string(24000000 + r)
                                    : "HS" + std::to_string(r));
            for (std::size_t c = 0; c < std::size(kMoney); ++c) {
                const std::int64_t n = r * 7919 + static_cast<std::int64_t>(c) * 104729;
                if (!m_large) {
                    into.appendCurrency(n % 100000000);
                    continue;
                }
                std::int64_t magnitude = 1000;
                for (std::size_t k = 0; k < (r + c) % 8; ++k) magnitude *= 10;
                const bool loss = c >= 9 && c <= 10 && r % 4 == 0;  // lirun, lirun_true
                const std::int64_t spread = n * 2654435761LL;       // digits in every place
                const std::int64_t cents = (spread % magnitude) * 100 + n % 100;
                into.appendCurrency((loss ? -cents : cents) * 100);
            }
            into.endRow();
        }
    }

private:
    int m_rows;
    bool m_large;
};

}  // namespace bench
