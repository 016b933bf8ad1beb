// Layout of the statement's report: A4 landscape, 5 mm side and 10 mm top and bottom
// margins, fifteen ruled columns in the order of the result grid, totals with the mask
// "0.00", and a footer reading "第 n 页 共 m 页". All positions are millimetres in the band.
#include "report/tfrmexportprn.h"

#include "framework/ui/fonts.h"

namespace {

using report::Alignment;
using report::Band;
using report::BandKind;

constexpr double kPen = 0.2;          // thin solid rule
constexpr double kRuleHigh = 0.26;    // height of a horizontal rule and overhang of the verticals
constexpr double kRowHigh = 5.29;     // column header, detail, summary and footer bands
constexpr double kCaptionTop = 1.06;  // header captions and footer texts
constexpr double kValueTop = 0.79;    // detail values and totals
// A figure's box (white behind its text) may reach a rule but not cover its ink: the rules
// are drawn first, so a box over one hid it.
constexpr double kRuleInk = kPen / 2;
// Between a text that runs past its column and the next figure, so two never read as one.
constexpr double kFigureGap = 0.5;

struct Column {
    const char* caption;  // nullptr: no header caption
    double captionLeft;
    const char* field;
    Alignment align;
    double anchor;
    const char* total;  // nullptr: no total; a "sum(...)" expression
    double totalRight;
};

// The fifteen columns, left to right. The first column's total is the caption "合   计".
const Column kColumns[] = {
    {"运 编 号", 6.61, "InvoiceNO", Alignment::Left, 1.32, nullptr, 0},
    {nullptr, 0, "unexchtag", Alignment::Left, 26.46, nullptr, 0},
    {"部 门", 35.98, "dept", Alignment::Left, 32.28, nullptr, 0},
    {"收入美元", 53.45, "srUSD", Alignment::Right, 69.06, "sum(srUSD)", 69.06},
    {"收入人民币", 71.97, "srRMB", Alignment::Right, 88.64, "sum(srRMB)", 88.64},
    {"运费美元", 93.66, "yfUSD", Alignment::Right, 108.74, "sum(yfUSD)", 108.74},
    {"运费人民币", 111.65, "yfRMB", Alignment::Right, 128.85, "sum(yfRMB)", 128.85},
    {"保费美元", 133.61, "bfUSD", Alignment::Right, 149.23, "sum(bfUSD)", 149.23},
    {"保费人民币", 152.14, "bfRMB", Alignment::Right, 169.33, "Sum(bfRMB)", 169.33},
    {"佣金美元", 173.30, "yjUSD", Alignment::Right, 188.65, "sum(yjUSD)", 188.91},
    {"佣金人民币", 192.09, "yjRMB", Alignment::Right, 208.23, "sum(yjRMB)", 208.76},
    {"成 本", 216.16, "cb", Alignment::Right, 228.60, "sum(cb)", 228.86},
    {"核算单", 233.10, "Value_no", Alignment::Left, 230.98, nullptr, 0},
    {"利 润", 252.41, "lirun", Alignment::Right, 264.58, "sum(lirun)", 264.85},
    {"净收汇", 271.20, "shouhui", Alignment::Right, 285.75, "sum(shouhui)", 285.75},
};
constexpr int kProfitColumn = 13;

constexpr double kOuterLeft = 0.40;
constexpr double kOuterRight = 286.68;
constexpr double kHeaderBoxRight = 286.54;

report::Label* label(Band* band, const QString& name, const QString& caption, double x, double top,
                     Alignment align = Alignment::Left) {
    auto* l = new report::Label(band, name);
    l->SetCaption(caption);
    l->setPosition(x, top);
    l->setAlignment(align);
    l->setFont(ui::font9());
    return l;
}

void vline(Band* band, const QString& name, double x, double top, double height) {
    auto* s = new report::Shape(band, name, report::Shape::Kind::VertLine);
    s->setPosition(x, top);
    s->setSize(0, height);
    s->setPen(kPen);
}

void rect(Band* band, const QString& name, double x, double top, double w, double h,
          const QColor& fill) {
    auto* s = new report::Shape(band, name, report::Shape::Kind::Rectangle);
    s->setPosition(x, top);
    s->setSize(w, h);
    s->setPen(kPen);
    s->setFill(fill);
}

// Detail and summary rows: rules above and below and a vertical at every column edge.
void ruleRow(Band* band, const QString& prefix, double topRuleRight, double lineAt3109Top,
             double lineAt3109Height) {
    rect(band, prefix + QStringLiteral("TopRule"), 0, -kRuleHigh, topRuleRight, kRuleHigh,
         Qt::black);
    rect(band, prefix + QStringLiteral("BottomRule"), 0, kRowHigh - kRuleHigh, kHeaderBoxRight,
         kRuleHigh, Qt::black);
    vline(band, prefix + QStringLiteral("Line0"), kOuterLeft, -kRuleHigh, kRowHigh + kRuleHigh);
    for (int i = 0; i < 14; ++i) {
        const double x = TfrmExportPrn::kInnerRules[i];
        const bool special = (i == 1);  // the rule at 31.09
        vline(band, prefix + QStringLiteral("Line%1").arg(i + 1), x,
              special ? lineAt3109Top : -kRuleHigh,
              special ? lineAt3109Height : kRowHigh + kRuleHigh);
    }
    vline(band, prefix + QStringLiteral("Line15"), kOuterRight, -kRuleHigh, kRowHigh + kRuleHigh);
}

}  // namespace

const double TfrmExportPrn::kInnerRules[14] = {25.00,  31.09,  49.87,  69.98,  89.83,
                                               109.93, 129.78, 150.15, 170.26, 189.84,
                                               209.95, 229.79, 246.46, 266.04};

TfrmExportPrn::TfrmExportPrn(db::DataSet* result, QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("frmExportPrn"));
    QuickRep1 = new report::Report(this, QStringLiteral("QuickRep1"));
    QuickRep1->SetDataSet(result);
    report::PageSetup& page = QuickRep1->page();
    page.paper = QSizeF(210, 297);
    page.orientation = report::Orientation::Landscape;
    page.margins = QMarginsF(5, 10, 5, 10);
    QuickRep1->options() = {true, true, true};
    QuickRep1->font() = ui::font105();

    PageHeaderBand1 =
        new Band(QuickRep1, QStringLiteral("PageHeaderBand1"), BandKind::PageHeader, 22.75);
    ColumnHeaderBand1 =
        new Band(QuickRep1, QStringLiteral("ColumnHeaderBand1"), BandKind::ColumnHeader, kRowHigh);
    DetailBand1 = new Band(QuickRep1, QStringLiteral("DetailBand1"), BandKind::Detail, kRowHigh);
    SummaryBand1 = new Band(QuickRep1, QStringLiteral("SummaryBand1"), BandKind::Summary, kRowHigh);
    PageFooterBand1 =
        new Band(QuickRep1, QStringLiteral("PageFooterBand1"), BandKind::PageFooter, kRowHigh);

    buildPageHeader();
    buildColumnHeader();
    buildDetail();
    buildSummary();
    buildPageFooter();
}

TfrmExportPrn::~TfrmExportPrn() = default;

void TfrmExportPrn::buildPageHeader() {
    Band* b = PageHeaderBand1;
    report::Label* title = label(b, QStringLiteral("qrlTitle"), QStringLiteral("出 口 盈 亏 表"), 0,
                                 0.26, Alignment::BandCenter);
    QFont big = ui::songti(18);
    big.setBold(true);
    title->setFont(big);
    qrlMonth = label(b, QStringLiteral("qrlMonth"), QString(), 0, 10.58, Alignment::BandCenter);
    qrlDept = label(b, QStringLiteral("qrlDept"), QStringLiteral("打印对象:"), 1.59, 18.52);
    qrlDate = label(b, QStringLiteral("qrlDate"), QStringLiteral("打印日期:"), 60.59, 18.52);
    qrlCount = label(b, QStringLiteral("qrlCount"), QStringLiteral("共有数据:"), 120.12, 18.52);
}

void TfrmExportPrn::buildColumnHeader() {
    Band* b = ColumnHeaderBand1;
    rect(b, QStringLiteral("qrsHeaderBox"), 0, -kRuleHigh, kHeaderBoxRight, kRowHigh + kRuleHigh,
         Qt::white);
    for (int i = 0; i < 14; ++i)
        vline(b, QStringLiteral("qrsHeaderLine%1").arg(i + 1), kInnerRules[i], -kRuleHigh,
              kRowHigh + kRuleHigh);
    int n = 0;
    for (const Column& c : kColumns) {
        if (c.caption)
            label(b, QStringLiteral("qrlCaption%1").arg(++n), QString::fromUtf8(c.caption),
                  c.captionLeft, kCaptionTop);
    }
}

void TfrmExportPrn::buildDetail() {
    Band* b = DetailBand1;
    ruleRow(b, QStringLiteral("qrsDetail"), 286.28, -kRuleHigh, kRowHigh + kRuleHigh);
    report::DBText* values[15];
    for (int i = 0; i < 15; ++i) {
        const Column& c = kColumns[i];
        const QString field = QString::fromLatin1(c.field);
        auto* t = new report::DBText(b, i == kProfitColumn ? QStringLiteral("qrdbt_lirun")
                                                           : QStringLiteral("qrdbt_") + field);
        t->SetDataField(field);
        t->setPosition(c.anchor, kValueTop);
        t->setAlignment(c.align);
        t->setFont(ui::font9());
        values[i] = t;
        if (i == kProfitColumn)
            qrdbt_lirun = t;
    }
    // An amount too wide for its column prints smaller, right of the rule on its left (it
    // crossed it). A text may run on over its right rule, but not into the next figure,
    // whose white box covered it.
    for (int i = 0; i < 15; ++i) {
        if (kColumns[i].align == Alignment::Right)
            values[i]->setFitLeft(kInnerRules[i - 1] + kRuleInk);
        else
            values[i]->setFitRight(kInnerRules[i] - kRuleInk, values[i + 1], kFigureGap);
    }
}

void TfrmExportPrn::buildSummary() {
    Band* b = SummaryBand1;
    ruleRow(b, QStringLiteral("qrsSummary"), kHeaderBoxRight, 0, 5.56);
    label(b, QStringLiteral("qrlTotal"), QStringLiteral("合   计"), 7.14, kValueTop);
    for (int i = 0; i < 15; ++i) {
        const Column& c = kColumns[i];
        if (!c.total)
            continue;
        auto* e = new report::Expr(
            b, i == kProfitColumn ? QStringLiteral("qrexpr_lirun")
                                  : QStringLiteral("qrexpr_") + QString::fromLatin1(c.field));
        e->SetExpression(QString::fromLatin1(c.total));
        e->SetMask(QStringLiteral("0.00"));
        e->setPosition(c.totalRight, kValueTop);
        e->setAlignment(Alignment::Right);
        e->setFont(ui::font9());
        // A total too wide for its column prints smaller, clear of the rule on its left:
        // else it ran over the neighbour's figures or under its white box. Only then: one
        // that fits keeps 9 pt however near the rule it ends.
        e->setFitLeft(kInnerRules[i - 1] + kRuleInk);
        if (i == kProfitColumn)
            qrexpr_lirun = e;
    }
}

void TfrmExportPrn::buildPageFooter() {
    Band* b = PageFooterBand1;
    label(b, QStringLiteral("qrlPageWord"), QStringLiteral("第"), 239.98, kCaptionTop);
    auto* num = new report::SysData(b, QStringLiteral("qrsdPageNumber"));
    num->setPosition(245.27, kCaptionTop);
    num->setFont(ui::font9());
    label(b, QStringLiteral("qrlPageOf"), QStringLiteral("页 共"), 250.56, kCaptionTop);
    qrlPagecount = label(b, QStringLiteral("qrlPagecount"), QString(), 260.35, kCaptionTop);
    label(b, QStringLiteral("qrlPagesWord"), QStringLiteral("页"), 267.49, kCaptionTop);
}
