// The engine's elements on a small report of its own: number masks, sum expressions, text
// anchors and auto-size, and the page number.
#include "framework/report/element.h"

#include "framework/report/report.h"
#include "framework/text/errors.h"
#include "framework/ui/application.h"
#include "framework/ui/fonts.h"
#include "support/memdataset.h"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QImage>
#include <optional>

namespace {

struct MaskCase {
    std::int64_t value;  // 1/10000 units
    const char* mask;
    const char* expected;
};

class Mask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(Mask, Formats) {
    EXPECT_EQ(report::formatMasked(GetParam().value, QString::fromLatin1(GetParam().mask)),
              QString::fromLatin1(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Totals, Mask,
    ::testing::Values(MaskCase{0, "0.00", "0.00"}, MaskCase{-125000, "0.00", "-12.50"},
                      MaskCase{12345000, "0.00", "1234.50"}, MaskCase{50, "0.00", "0.01"},
                      MaskCase{-50, "0.00", "-0.01"}, MaskCase{49, "0.00", "0.00"},
                      // A negative sum that rounds to zero carries no sign.
                      MaskCase{-49, "0.00", "0.00"}, MaskCase{123456789, "#,##0.00", "12,345.68"},
                      MaskCase{-99999999950LL, "0.00", "-10000000.00"}, MaskCase{15000, "0", "2"},
                      MaskCase{12000, "0.##", "1.2"}, MaskCase{12345, "0.0000", "1.2345"}));

class Elements : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::instance();
        ds = std::make_unique<testsupport::MemDataSet>(std::vector<db::FieldDef>{
            {"name", db::FieldType::String, 10}, {"amount", db::FieldType::Float}});
        rep.SetDataSet(ds.get());
        rep.page().margins = QMarginsF(0, 0, 0, 0);
        detail = new report::Band(&rep, QStringLiteral("detail"), report::BandKind::Detail, 10);
        summary = new report::Band(&rep, QStringLiteral("summary"), report::BandKind::Summary, 10);
        total = new report::Expr(summary, QStringLiteral("total"));
        total->SetMask(QStringLiteral("0.00"));
        total->setPosition(100, 0);
        total->setAlignment(report::Alignment::Right);
    }
    std::optional<report::DrawOp> op(const QString& text, int page = 0) const {
        for (const auto& o : rep.prepared().page(page)) {
            if (o.kind == report::DrawOp::Kind::Text && o.text == text)
                return o;
        }
        return std::nullopt;
    }
    std::unique_ptr<testsupport::MemDataSet> ds;
    report::Report rep;
    report::Band* detail = nullptr;
    report::Band* summary = nullptr;
    report::Expr* total = nullptr;
};

TEST_F(Elements, SumFunctionNameInAnyCase) {
    ds->addRow({QStringLiteral("a"), 1.25});
    ds->addRow({QStringLiteral("b"), QVariant()});
    ds->addRow({QStringLiteral("c"), 2.5});
    ds->Open();
    for (const char* e : {"sum(amount)", "Sum(AMOUNT)", " SUM ( amount ) "}) {
        total->SetExpression(QString::fromLatin1(e));
        rep.Prepare();
        EXPECT_TRUE(op(QStringLiteral("3.75")).has_value()) << e;
    }
}

TEST_F(Elements, BadExpressionsFail) {
    ds->Open();
    total->SetExpression(QStringLiteral("avg(amount)"));
    EXPECT_THROW(rep.Prepare(), EInvalidOperation);
    total->SetExpression(QStringLiteral("amount + 1"));
    EXPECT_THROW(rep.Prepare(), EInvalidOperation);
    total->SetExpression(QStringLiteral("sum(nosuch)"));
    EXPECT_THROW(rep.Prepare(), EDatabaseError);
}

// A summed text column: before, printing refused it outright while the grid's footer summed
// its numbers and skipped its other texts without a word. Both now sum the numbers and stop
// at a text that is no number with the same reason.
TEST_F(Elements, TextsSumAsTheGridsFooterSumsThem) {
    ds->addRow({QStringLiteral(" 12.5 "), 1.0});
    ds->addRow({QString(), 1.0});
    ds->addRow({QStringLiteral("7"), 1.0});
    ds->Open();
    total->SetExpression(QStringLiteral("sum(name)"));
    rep.Prepare();
    EXPECT_TRUE(op(QStringLiteral("19.50")).has_value());

    ds->Close();
    ds->addRow({QStringLiteral("abc"), 1.0});
    ds->Open();
    try {
        rep.Prepare();
        ADD_FAILURE() << "a text that is no number was summed";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Field 'name': the text 'abc' is not a number"));
    }
}

TEST_F(Elements, AutoSizeKeepsTheAnchor) {
    ds->addRow({QStringLiteral("a"), 1.0});
    ds->Open();
    total->SetExpression(QStringLiteral("sum(amount)"));
    struct Case {
        report::Alignment align;
        const char* text;
    };
    const Case cases[] = {{report::Alignment::Left, "left"},
                          {report::Alignment::Right, "right"},
                          {report::Alignment::Center, "centre"},
                          {report::Alignment::BandCenter, "band"}};
    for (const Case& c : cases) {
        auto* l = new report::Label(detail, QString::fromLatin1(c.text));
        l->SetCaption(QString::fromLatin1(c.text));
        l->setPosition(50, 1);
        l->setAlignment(c.align);
    }
    rep.Prepare();
    const double bandWidth = rep.page().printableWidth();
    EXPECT_NEAR(op(QStringLiteral("left"))->rect.left(), 50, 1e-9);
    EXPECT_NEAR(op(QStringLiteral("right"))->rect.right(), 50, 1e-9);
    EXPECT_NEAR(op(QStringLiteral("centre"))->rect.center().x(), 50, 1e-9);
    EXPECT_NEAR(op(QStringLiteral("band"))->rect.center().x(), bandWidth / 2, 1e-9);
    // Longer text, wider box.
    EXPECT_GT(op(QStringLiteral("centre"))->rect.width(), op(QStringLiteral("left"))->rect.width());
    EXPECT_NEAR(op(QStringLiteral("left"))->rect.top(), 1,
                1e-9);  // no page header: row 1 at the top
}

TEST_F(Elements, FieldTextAndPageNumberPerPage) {
    for (int i = 0; i < 40; ++i) ds->addRow({QStringLiteral("r%1").arg(i), 1.0});
    ds->Open();
    total->SetExpression(QStringLiteral("sum(amount)"));
    auto* name = new report::DBText(detail, QStringLiteral("name"));
    name->SetDataField(QStringLiteral("NAME"));
    auto* footer =
        new report::Band(&rep, QStringLiteral("footer"), report::BandKind::PageFooter, 10);
    auto* num = new report::SysData(footer, QStringLiteral("num"));
    num->setPosition(0, 0);
    rep.Prepare();
    // A4 portrait without margins: 297 mm less a 10 mm footer holds 28 rows of 10 mm.
    ASSERT_EQ(rep.PageCount(), 2);
    EXPECT_TRUE(op(QStringLiteral("r27"), 0).has_value());
    EXPECT_TRUE(op(QStringLiteral("r28"), 1).has_value());
    EXPECT_TRUE(op(QStringLiteral("1"), 0).has_value());
    EXPECT_TRUE(op(QStringLiteral("2"), 1).has_value());
    EXPECT_TRUE(op(QStringLiteral("40.00"), 1).has_value());
    EXPECT_EQ(ds->RecNo(), 40);  // the walk ends on the last row
}

TEST_F(Elements, NotPrintedWhenEmptyUnlessAsked) {
    ds->Open();
    total->SetExpression(QStringLiteral("sum(amount)"));
    rep.options().printIfEmpty = false;
    rep.Prepare();
    EXPECT_EQ(rep.PageCount(), 0);
    rep.options().printIfEmpty = true;
    rep.Prepare();
    EXPECT_EQ(rep.PageCount(), 1);
    EXPECT_TRUE(op(QStringLiteral("0.00")).has_value());
}

}  // namespace

// The layout sums the advances of amounts and numbers instead of shaping them; the widths
// must be exactly what shaping gives, or positions would move.
TEST(TextMeasure, WidthsAreExactlyThoseOfTheFontMetrics) {
    ui::Application::instance();
    QImage device(1, 1, QImage::Format_ARGB32);
    device.setDotsPerMeterX(qRound(1200 / 0.0254));
    device.setDotsPerMeterY(qRound(1200 / 0.0254));
    QFont bold = ui::songti(18);
    bold.setBold(true);
    const QFont fonts[] = {ui::songti(9), ui::songti(6.5), bold,
                           QFont(QStringLiteral("DejaVu Sans"), 9)};
    const char* texts[] = {"0",       "-12345678.9012", "26EX00001",  "HS26-00001",
                           "1.5",     "AV WAVE To",     "ffi fl",     "业务一部",
                           "合   计", "第 12 页",       "￥1,234.50", "",
                           " ",       "Mixed 中文 12"};
    for (const QFont& font : fonts) {
        const QFontMetricsF fm(font, &device);
        for (int repeat = 0; repeat < 2; ++repeat) {  // measured, then from the cache
            for (const char* t : texts) {
                const QString s = QString::fromUtf8(t);
                EXPECT_EQ(report::measureText(font, s).width(),
                          fm.horizontalAdvance(s) * (25.4 / 1200))
                    << t << " in " << font.toString().toStdString();
                EXPECT_EQ(report::measureText(font, s).height(), fm.height() * (25.4 / 1200));
            }
        }
    }
}
