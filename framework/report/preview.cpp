// The preview window: a tool bar of named actions over a scrolled page view. Every action
// runs inside the event boundary, so a failed print or save shows the standard error box.
#include "framework/report/preview.h"

#include "framework/report/pageview.h"
#include "framework/report/pdfwriter.h"
#include "framework/report/printjob.h"
#include "framework/report/printsetup.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"
#include "framework/ui/boundary.h"
#include "framework/ui/filedialog.h"
#include "framework/ui/messages.h"
#include "framework/ui/progress.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace report {

namespace {

const QString kReportFilter = QStringLiteral("报表文件 (*.pnlr)");
const QString kPdfFilter = QStringLiteral("PDF 文件 (*.pdf)");
const QString kReportKind = QStringLiteral("pnlr");

}  // namespace

Preview::Preview(PreparedReport pages, QWidget* parent)
    : QMainWindow(parent), m_pages(std::move(pages)) {
    setObjectName(QStringLiteral("frmPreview"));
    setWindowTitle(QStringLiteral("打印预览"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowModality(Qt::NonModal);

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("tbPreview"));
    bar->setMovable(false);
    addToolBar(bar);
    auto add = [&](const char* name, const QString& text, const QKeySequence& key,
                   std::function<void()> fn) {
        bar->addAction(makeAction(QString::fromLatin1(name), text, key, fn));
    };
    add("actFirst", QStringLiteral("首页"), QKeySequence(Qt::CTRL | Qt::Key_Home),
        [this] { setPage(0); });
    add("actPrior", QStringLiteral("上页"), QKeySequence(Qt::Key_PageUp),
        [this] { setPage(currentPage() - 1); });
    add("actNext", QStringLiteral("下页"), QKeySequence(Qt::Key_PageDown),
        [this] { setPage(currentPage() + 1); });
    add("actLast", QStringLiteral("末页"), QKeySequence(Qt::CTRL | Qt::Key_End),
        [this] { setPage(pageCount() - 1); });
    m_pageBox = new QSpinBox(bar);
    m_pageBox->setObjectName(QStringLiteral("spinPage"));
    m_pageBox->setToolTip(QStringLiteral("转到页"));
    m_pageBox->setKeyboardTracking(false);  // go when the number is complete
    // Taken by a click only, and given back on Enter, so that the page keys keep working.
    m_pageBox->setFocusPolicy(Qt::ClickFocus);
    bar->addWidget(m_pageBox);
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int page) { setPage(page - 1); });
    connect(m_pageBox, &QSpinBox::editingFinished, this, [this] {
        if (m_pageBox->hasFocus())
            m_scroll->setFocus(Qt::OtherFocusReason);
    });
    bar->addSeparator();
    add("actZoomPage", QStringLiteral("整页"), {}, [this] { setZoom(Zoom::WholePage); });
    add("actZoom100", QStringLiteral("100%"), {}, [this] { setZoom(Zoom::Actual); });
    add("actZoomWidth", QStringLiteral("页宽"), {}, [this] { setZoom(Zoom::PageWidth); });
    bar->addSeparator();
    add("actPrintSetup", QStringLiteral("打印设置"), {}, [this] { onPrintSetup(); });
    add("actPrint", QStringLiteral("打印"), QKeySequence::Print, [this] { onPrint(); });
    add("actSave", QStringLiteral("保存"), QKeySequence::Save, [this] { onSave(); });
    add("actLoad", QStringLiteral("打开"), QKeySequence::Open, [this] { onLoad(); });
    add("actExportPdf", QStringLiteral("导出PDF"), {}, [this] { onExportPdf(); });
    bar->addSeparator();
    add("actClose", QStringLiteral("关闭"), QKeySequence(Qt::Key_Escape), [this] { close(); });

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("sbPages"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new PageView;
    m_scroll->setWidget(m_view);
    m_scroll->setWidgetResizable(false);
    m_scroll->viewport()->installEventFilter(this);
    setCentralWidget(m_scroll);

    m_indicator = new QLabel(this);
    m_indicator->setObjectName(QStringLiteral("lblPageIndicator"));
    statusBar()->addWidget(m_indicator);
    m_printStatus = new QLabel(this);
    m_printStatus->setObjectName(QStringLiteral("lblPrintStatus"));
    statusBar()->addPermanentWidget(m_printStatus);

    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setCopyCount(1);
    m_printer->setPrintRange(QPrinter::AllPages);
    m_printer->setDuplex(QPrinter::DuplexNone);
    m_printer->setPaperSource(QPrinter::Auto);

    resize(1024, 700);
    showPages();
}

Preview::~Preview() = default;

QAction* Preview::makeAction(const QString& name, const QString& text, const QKeySequence& key,
                             const std::function<void()>& handler) {
    auto* act = new QAction(text, this);
    act->setObjectName(name);
    if (!key.isEmpty())
        act->setShortcut(key);
    connect(act, &QAction::triggered, this, [handler] { ui::guarded(handler); });
    return act;
}

void Preview::exec(const std::function<void(Preview&)>& onShown) {
    m_closed = false;
    showMaximized();
    setZoom(Zoom::PageWidth);
    m_scroll->setFocus(Qt::OtherFocusReason);
    if (onShown)
        onShown(*this);
    if (m_closed)
        return;
    QEventLoop loop;
    m_onClosed = [&loop] { loop.quit(); };
    loop.exec();
    m_onClosed = nullptr;
}

void Preview::closeEvent(QCloseEvent* event) {
    m_closed = true;
    event->accept();
    if (m_onClosed)
        m_onClosed();
}

void Preview::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_zoom != Zoom::Actual)
        applyZoom();
}

int Preview::currentPage() const {
    return m_view->page();
}

void Preview::setPage(int index) {
    index = std::clamp(index, 0, std::max(0, pageCount() - 1));
    m_view->setPage(index);
    m_indicator->setText(pageIndicatorText());
    m_scroll->verticalScrollBar()->setValue(0);
    const QSignalBlocker quiet(m_pageBox);
    m_pageBox->setRange(pageCount() > 0 ? 1 : 0, pageCount());
    m_pageBox->setValue(pageCount() > 0 ? index + 1 : 0);
}

bool Preview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const double steps = wheel->angleDelta().y() / 120.0;
            if (steps != 0)
                zoomBy(std::pow(1.1, steps), wheel->position().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Preview::zoomBy(double factor, QPoint anchor) {
    const double before = pixelsPerMm();
    const QPointF onPage = m_view->mapFrom(m_scroll->viewport(), anchor);
    m_customPpm = std::clamp(before * factor, 0.5, 20.0);
    setZoom(Zoom::Custom);
    const double grow = pixelsPerMm() / before;
    const QPointF margin(PageView::kDeskMargin, PageView::kDeskMargin);
    const QPointF moved = margin + (onPage - margin) * grow;
    // With the page wider than the window the view starts at the left edge of the scrolled
    // area, so the bar's value is how far the anchor's page point must move left.
    m_scroll->horizontalScrollBar()->setValue(qRound(moved.x() - anchor.x()));
    m_scroll->verticalScrollBar()->setValue(qRound(moved.y() - anchor.y()));
}

QString Preview::pageIndicatorText() const {
    return QStringLiteral("第 %1 页 / 共 %2 页")
        .arg(pageCount() > 0 ? currentPage() + 1 : 0)
        .arg(pageCount());
}

void Preview::setZoom(Zoom mode) {
    m_zoom = mode;
    applyZoom();
}

double Preview::pixelsPerMm() const {
    return m_view->pixelsPerMm();
}

void Preview::applyZoom() {
    const QSizeF paper = m_pages.paperSize();
    // The room without scroll bars: whichever the zoom needs comes back below.
    const QSize area = m_scroll->maximumViewportSize();
    const double margin = 2.0 * PageView::kDeskMargin;
    const int bar = m_scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scroll);
    double byWidth = (area.width() - margin) / paper.width();
    const double byHeight = (area.height() - margin) / paper.height();
    // At page width the page is taller than the window: the vertical bar takes its width.
    if (paper.height() * byWidth + margin > area.height())
        byWidth = (area.width() - bar - margin) / paper.width();
    double ppm = logicalDpiX() / 25.4;
    if (m_zoom == Zoom::PageWidth)
        ppm = byWidth;
    else if (m_zoom == Zoom::WholePage)
        ppm = std::min(byWidth, byHeight);
    else if (m_zoom == Zoom::Custom)
        ppm = m_customPpm;
    m_view->setPixelsPerMm(std::max(ppm, 0.5));
}

void Preview::showPages() {
    const int keep = m_view->page();
    m_view->setReport(&m_pages);
    setPage(keep);
    applyZoom();
}

void Preview::print(QPrinter& printer) {
    // The pages as shown, not a new layout: the rows under an open preview may have been
    // replaced by a later statistics run meanwhile.
    m_printStatus->clear();
    PrintOutcome outcome;
    try {
        outcome = printPages(m_pages, printer, m_documentName, this);
    } catch (const EAbort&) {
        m_printStatus->setText(QStringLiteral("打印已取消。"));
        return;
    }
    m_printStatus->setText(outcome.status);
    if (!outcome.notice.isEmpty())
        ui::ShowMessage(outcome.notice);
}

QString Preview::printStatus() const {
    return m_printStatus->text();
}

void Preview::exportPdf(const QString& path) {
    ui::JobProgress progress(this, QStringLiteral("正在导出PDF，共%1页…").arg(pageCount()),
                             pageCount());
    writePdf(m_pages, path, {QStringLiteral("出口盈亏表"), QStringLiteral("exportpnl")},
             {{}, [&progress](int done, int) { return progress.step(done); }});
}

void Preview::saveToFile(const QString& path) {
    ui::JobProgress progress(this, QStringLiteral("正在保存报表，共%1页…").arg(pageCount()), 1000);
    m_pages.save(path, progress.callback());
}

void Preview::loadFromFile(const QString& path) {
    PreparedReport loaded = PreparedReport::load(path);
    m_pages = std::move(loaded);
    m_view->setReport(nullptr);
    showPages();
    setPage(0);
}

void Preview::onPrint() {
    QPrintDialog dlg(m_printer.get(), this);
    dlg.setMinMax(1, std::max(1, pageCount()));
    dlg.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintToFile |
                   QAbstractPrintDialog::PrintCollateCopies);
    if (dlg.exec() == QDialog::Accepted)
        print(*m_printer);
}

void Preview::onPrintSetup() {
    // The pages are laid out for their paper: the dialog shows it and offers the printer,
    // copies and paper source, which printing uses, and nothing it would ignore.
    PrintSetupDialog dlg(*m_printer, m_pages.paperSize(), m_pages.margins(), this);
    dlg.exec();
}

QString Preview::proposedName(const QString& suffix) const {
    return m_fileBaseName.isEmpty() ? QString() : m_fileBaseName + QLatin1Char('.') + suffix;
}

void Preview::onSave() {
    const QString suffix = QStringLiteral("pnlr");
    const QString path = ui::askSaveFile(this, {kReportKind,
                                                QStringLiteral("保存报表"),
                                                {kReportFilter},
                                                suffix,
                                                proposedName(suffix)})
                             .path;
    if (!path.isEmpty())
        saveToFile(path);
}

void Preview::onLoad() {
    // Saving and opening share their folder: a report is opened where it was saved.
    const QString path =
        ui::askOpenFile(
            this,
            {kReportKind, QStringLiteral("打开报表"), {kReportFilter}, QStringLiteral("pnlr"), {}})
            .path;
    if (!path.isEmpty())
        loadFromFile(path);
}

void Preview::onExportPdf() {
    const QString suffix = QStringLiteral("pdf");
    QString path = property(kExportPathProperty).toString();
    if (path.isEmpty())
        path = ui::askSaveFile(
                   this,
                   {suffix, QStringLiteral("导出PDF"), {kPdfFilter}, suffix, proposedName(suffix)})
                   .path;
    path = text::withSuffix(path, suffix);
    if (!path.isEmpty())
        exportPdf(path);
}

}  // namespace report
