// Test data for the statement's report: an in-memory result with the statistics columns
// (money display off, as the main window leaves it), and helpers that run a print and read
// the recorded pages back as texts and lines in millimetres.
#pragma once

#include "framework/report/prepared.h"
#include "framework/report/preview.h"
#include "framework/ui/application.h"
#include "report/printrun.h"
#include "support/memdataset.h"

#include <QVariant>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace stmt {

constexpr double kLeft = 5;  // left margin: band x 0 on the paper
constexpr double kTop = 10;  // top margin
constexpr double kHeader = 22.75;
constexpr double kRow = 5.29;

inline std::unique_ptr<testsupport::MemDataSet> makeResult() {
    using db::FieldType;
    std::vector<db::FieldDef> cols = {
        {"invoiceno", FieldType::String, 20}, {"UnExchTag", FieldType::String, 2},
        {"dept", FieldType::String, 20},      {"srUSD", FieldType::Currency},
        {"srRMB", FieldType::Currency},       {"yfUSD", FieldType::Currency},
        {"yfRMB", FieldType::Currency},       {"bfUSD", FieldType::Currency},
        {"bfRMB", FieldType::Currency},       {"yjUSD", FieldType::Currency},
        {"yjRMB", FieldType::Currency},       {"cb", FieldType::Currency},
        {"value_no", FieldType::String, 20},  {"lirun_True", FieldType::Currency},
        {"shouhui", FieldType::Currency},     {"lirun", FieldType::Currency}};
    auto ds = std::make_unique<testsupport::MemDataSet>(std::move(cols));
    ds->AfterOpen = [](db::DataSet& d) {
        for (int i = 0; i < d.FieldCount(); ++i) {
            if (d.fieldAt(i)->DataType() == FieldType::Currency)
                d.fieldAt(i)->SetCurrency(false);
        }
    };
    return ds;
}

struct Row {
    QString invoice = QStringLiteral("S05-001");
    QString dept = QStringLiteral("一部");
    QVariant amount = 1.5;  // every one of the nine amount columns
    QVariant lirunTrue = 2.0;
    QVariant lirun = 3.0;
    QVariant shouhui = 4.0;
};

inline void addRow(testsupport::MemDataSet& ds, const Row& r) {
    ds.addRow({r.invoice, QStringLiteral("*"), r.dept, r.amount, r.amount, r.amount, r.amount,
               r.amount, r.amount, r.amount, r.amount, r.amount, QStringLiteral("HS01"),
               r.lirunTrue, r.shouhui, r.lirun});
}

inline void addRows(testsupport::MemDataSet& ds, int n) {
    for (int i = 0; i < n; ++i) {
        Row r;
        r.invoice = QStringLiteral("S05-%1").arg(i + 1, 3, 10, QLatin1Char('0'));
        addRow(ds, r);
    }
}

struct PrintArgs {
    QString view = QStringLiteral("全公司");
    QString period = QStringLiteral("2005年03月份");
    int option = 0;
};

// Runs the print; the hook copies the previewed pages and closes the preview at once.
inline report::PreparedReport printAndCapture(db::DataSet& ds, const PrintArgs& a = {}) {
    report::PreparedReport captured;
    setPreviewHook([&](report::Preview& p) {
        captured = p.prepared();
        p.close();
    });
    RunPrint(&ds, a.view, a.period, a.option, 2005, 3, 7);
    setPreviewHook(nullptr);
    return captured;
}

inline std::vector<const report::DrawOp*> texts(const report::PageOps& page) {
    std::vector<const report::DrawOp*> out;
    for (const auto& op : page) {
        if (op.kind == report::DrawOp::Kind::Text)
            out.push_back(&op);
    }
    return out;
}

inline const report::DrawOp* findText(const report::PageOps& page, const QString& text) {
    for (const auto* op : texts(page)) {
        if (op->text == text)
            return op;
    }
    return nullptr;
}

inline int countText(const report::PageOps& page, const QString& text) {
    int n = 0;
    for (const auto* op : texts(page)) n += op->text == text ? 1 : 0;
    return n;
}

// Texts whose top lies in the band starting at paper y `bandTop` (mm), left to right.
inline std::vector<const report::DrawOp*> textsInBand(const report::PageOps& page, double bandTop) {
    std::vector<const report::DrawOp*> out;
    for (const auto* op : texts(page)) {
        if (op->rect.top() >= bandTop - 1e-6 && op->rect.top() < bandTop + kRow - 1e-6)
            out.push_back(op);
    }
    std::sort(out.begin(), out.end(),
              [](auto* a, auto* b) { return a->rect.left() < b->rect.left(); });
    return out;
}

// Band-relative x of every vertical line that starts at or just above `bandTop`.
inline std::vector<double> verticalsOfBand(const report::PageOps& page, double bandTop) {
    std::vector<double> xs;
    for (const auto& op : page) {
        if (op.kind == report::DrawOp::Kind::Line && op.rect.top() >= bandTop - 0.3 &&
            op.rect.top() <= bandTop + 1e-6)
            xs.push_back(op.rect.left() - kLeft);
    }
    std::sort(xs.begin(), xs.end());
    return xs;
}

}  // namespace stmt
