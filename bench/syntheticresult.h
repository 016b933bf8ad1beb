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
    explicit SyntheticResult(int rows) : m_rows(rows) {}

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
            into.appendText("HS" + std::to_string(r));
            for (std::size_t c = 0; c < std::size(kMoney); ++c)
                into.appendCurrency(static_cast<std::int64_t>((r * 7919 + c * 104729) % 100000000));
            into.endRow();
        }
    }

private:
    int m_rows;
};

}  // namespace bench
