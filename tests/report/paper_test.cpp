// A large company's year on paper: figures of 9 and 10 digits, losses of 7, long costing-
// sheet numbers. The PDF is read back with pdftotext -bbox and every word is checked against
// the layout's rules: inside its column, clear of the next figure, and smaller than 9 pt
// only when 9 pt would not have fitted.
#include "framework/report/pdfwriter.h"
#include "report/tfrmexportprn.h"
#include "statementdata.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <algorithm>
#include <map>

namespace {

constexpr double kMmPerPt = 25.4 / 72;
constexpr double kInk = 0.1;        // half the rules' pen: a box may not cover it
constexpr double kFigureGap = 0.5;  // between a text run past its column and the next figure
constexpr double kTolerance = 0.05;
constexpr double kFirstRowTop = stmt::kTop + stmt::kHeader + stmt::kRow;  // below the header

struct Word {
    QString text;
    double left, right, top, bottom;  // band millimetres (x) and paper millimetres (y)
    double height() const { return bottom - top; }
};

// Every word of every page, by page.
std::vector<std::vector<Word>> pdfWords(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression page(QStringLiteral("<page "));
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    std::vector<std::vector<Word>> pages;
    for (const QString& chunk : html.split(page).mid(1)) {
        pages.emplace_back();
        for (auto it = word.globalMatch(chunk); it.hasNext();) {
            const auto m = it.next();
            pages.back().push_back({QTextDocumentFragment::fromHtml(m.captured(5)).toPlainText(),
                                    m.captured(1).toDouble() * kMmPerPt - stmt::kLeft,
                                    m.captured(3).toDouble() * kMmPerPt - stmt::kLeft,
                                    m.captured(2).toDouble() * kMmPerPt,
                                    m.captured(4).toDouble() * kMmPerPt});
        }
    }
    return pages;
}

// The layout's columns as a reader of the paper sees them.
struct Column {
    bool right;     // a right-aligned figure
    double anchor;  // its right edge (figures) or left edge (texts), detail rows
    double total;   // the total's right edge; 0 without a total
};
const Column kColumns[15] = {
    {false, 1.32, 0},       {false, 26.46, 0},      {false, 32.28, 0},      {true, 69.06, 69.06},
    {true, 88.64, 88.64},   {true, 108.74, 108.74}, {true, 128.85, 128.85}, {true, 149.23, 149.23},
    {true, 169.33, 169.33}, {true, 188.65, 188.91}, {true, 208.23, 208.76}, {true, 228.60, 228.86},
    {false, 230.98, 0},     {true, 264.58, 264.85}, {true, 285.75, 285.75},
};

// The column a word was printed in: by the edge its alignment keeps; -1 for none.
int columnOf(const Word& w, bool summary) {
    for (int c = 0; c < 15; ++c) {
        const Column& col = kColumns[c];
        const double edge = col.right ? (summary ? col.total : col.anchor) : col.anchor;
        if (std::abs((col.right ? w.right : w.left) - edge) < 0.3 && (!summary || col.total > 0))
            return c;
    }
    return -1;
}

double leftRule(int column) {
    return TfrmExportPrn::kInnerRules[column - 1];
}

// Rows of a statement a large exporter has in a year: most figures small, some of 9 and
// 10 digits before the point, losses of 7 digits, costing-sheet numbers of 10 characters.
void addYear(testsupport::MemDataSet& ds, int rows) {
    const double amounts[] = {1234.5,        245000000.84, 98765.43,     1500000000.5,
                              12.75,         333444555.66, 6100000.08,   7.2,
                              9999999999.99, 88000.01,     123456789.12, 45678.9};
    const double profits[] = {-1234567.89, 5600.25, -9876543.21, 123456789.01, -0.5, 77.7};
    for (int i = 0; i < rows; ++i) {
        std::vector<QVariant> row = {
            QStringLiteral("24EX%1").arg(i + 1, 5, 10, QLatin1Char('0')),
            i % 3 == 0 ? QStringLiteral("*") : QString(),
            i % 4 == 0 ? QStringLiteral("业务三部") : QStringLiteral("二部")};
        for (int c = 0; c < 8; ++c) row.push_back(amounts[(i + 5 * c) % 12]);
        row.push_back(amounts[(i + 7) % 12]);  // cb
        row.push_back(i % 3 != 1 ? QStringLiteral("HS%1").arg(24000000 + i)
                                 : QStringLiteral("HS1"));
        row.push_back(profits[(i + 1) % 6]);   // lirun_True
        row.push_back(amounts[(i + 3) % 12]);  // shouhui
        row.push_back(profits[i % 6]);         // lirun, printed with 全部
        ds.addRow(row);
    }
}

TEST(Paper, ALargeCompanysYearKeepsEveryFigureInsideItsColumn) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    ui::Application::instance();
    auto ds = stmt::makeResult();
    addYear(*ds, 29 * 4 + 10);
    ds->Open();
    const report::PreparedReport rep = stmt::printAndCapture(*ds);
    ASSERT_EQ(rep.pageCount(), 5);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("year.pdf"));
    report::writePdf(rep, pdf, {QStringLiteral("出口盈亏表"), QStringLiteral("test")});
    // For a look at the paper: kept in the folder named by EXPORTPNL_TEST_PICTURES.
    if (const QString kept = qEnvironmentVariable("EXPORTPNL_TEST_PICTURES"); !kept.isEmpty())
        QFile::copy(pdf, QDir(kept).filePath(QStringLiteral("large-year.pdf")));
    const auto pages = pdfWords(pdf);
    ASSERT_EQ(pages.size(), 5u);

    // The full size: the tallest figure (the small amounts are never shrunk).
    double full = 0;
    for (const Word& w : pages[0])
        if (w.text == QStringLiteral("1234.5"))
            full = std::max(full, w.height());
    ASSERT_GT(full, 0);

    int figures = 0, shrunk = 0, wideAtFullSize = 0, textsShrunk = 0;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        std::map<int, std::vector<Word>> rows;  // by row below the column header
        for (const Word& w : pages[p]) {
            const double middle = (w.top + w.bottom) / 2;
            if (middle > kFirstRowTop && middle < 200 - stmt::kRow)
                rows[static_cast<int>((middle - kFirstRowTop) / stmt::kRow)].push_back(w);
        }
        for (auto& [index, words] : rows) {
            const bool summary = words.front().text == QStringLiteral("合");
            std::sort(words.begin(), words.end(),
                      [](const Word& a, const Word& b) { return a.left < b.left; });
            for (std::size_t i = 0; i < words.size(); ++i) {
                const Word& w = words[i];
                if (summary && (w.text == QStringLiteral("合") || w.text == QStringLiteral("计")))
                    continue;
                const int c = columnOf(w, summary);
                SCOPED_TRACE(QStringLiteral("page %1 row %2 \"%3\" at %4..%5")
                                 .arg(p + 1)
                                 .arg(index)
                                 .arg(w.text)
                                 .arg(w.left)
                                 .arg(w.right)
                                 .toStdString());
                // Two figures that touch come back as one word, printed nowhere expected.
                ASSERT_GE(c, 0) << "a word away from every column's edge";
                const double scale = full / w.height();  // its width at 9 pt, by this
                EXPECT_GE(w.height(), full * 6 / 9 - kTolerance) << "never below 6 pt";
                const bool smaller = w.height() < full - kTolerance;
                if (kColumns[c].right) {
                    ++figures;
                    const double room = w.right - (leftRule(c) + kInk);
                    EXPECT_GE(w.left, leftRule(c) + kInk - kTolerance) << "across its left rule";
                    if (smaller) {
                        EXPECT_GT((w.right - w.left) * scale, room - kTolerance)
                            << "shrunk though 9 pt fitted";
                    }
                    shrunk += smaller;
                    wideAtFullSize += !smaller && w.right - w.left > 18.5;
                } else if (i + 1 < words.size()) {
                    // A text may run past its rule, never to within a gap of the next figure.
                    const Word& next = words[i + 1];
                    const double rule = TfrmExportPrn::kInnerRules[c] - kInk;
                    if (w.right > rule + kTolerance) {
                        EXPECT_LE(w.right, next.left - kFigureGap + kTolerance)
                            << "into \"" << next.text.toStdString() << "\"";
                    }
                    if (smaller) {
                        ++textsShrunk;
                        const double limit = std::max(rule, next.left - kFigureGap);
                        EXPECT_GT(w.left + (w.right - w.left) * scale, limit - kTolerance)
                            << "shrunk though 9 pt fitted";
                    }
                }
            }
        }
    }
    // The year holds what the checks are about.
    EXPECT_GT(figures, 29 * 4 * 11);
    EXPECT_GT(shrunk, 100);
    EXPECT_GT(wideAtFullSize, 10) << "figures that fit their column keep 9 pt";
    EXPECT_GT(textsShrunk, 0) << "costing-sheet numbers that met a loss";
}

}  // namespace
