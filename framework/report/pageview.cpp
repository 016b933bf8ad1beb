// Painting of one recorded page for the preview: the page is replayed into an image whose
// resolution matches the zoom, so fonts and rules scale together.
#include "framework/report/pageview.h"

#include "framework/report/prepared.h"

#include <QPaintEvent>
#include <QPainter>

namespace report {

PageView::PageView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pageView"));
    setAutoFillBackground(false);
}

void PageView::setReport(const PreparedReport* report) {
    m_report = report;
    m_page = 0;
    invalidate();
}

void PageView::setPage(int index) {
    if (index == m_page)
        return;
    m_page = index;
    invalidate();
}

void PageView::setPixelsPerMm(double ppm) {
    if (ppm <= 0 || qFuzzyCompare(ppm, m_ppm))
        return;
    m_ppm = ppm;
    invalidate();
}

void PageView::invalidate() {
    m_cacheValid = false;
    updateGeometry();
    resize(sizeHint());
    update();
}

QSize PageView::sizeHint() const {
    const QSizeF paper = m_report ? m_report->paperSize() : QSizeF(297, 210);
    return {qRound(paper.width() * m_ppm) + 2 * kDeskMargin,
            qRound(paper.height() * m_ppm) + 2 * kDeskMargin};
}

QImage PageView::renderPage() const {
    if (m_cacheValid)
        return m_cache;
    const QSizeF paper = m_report ? m_report->paperSize() : QSizeF(297, 210);
    QImage img(qMax(1, qRound(paper.width() * m_ppm)), qMax(1, qRound(paper.height() * m_ppm)),
               QImage::Format_RGB32);
    const int dpm = qRound(m_ppm * 1000.0);
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    img.fill(Qt::white);
    if (m_report && m_page >= 0 && m_page < m_report->pageCount()) {
        QPainter p(&img);
        m_report->paintPage(p, m_page);
    }
    m_cache = img;
    m_cacheValid = true;
    return m_cache;
}

void PageView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), QColor(128, 128, 128));
    const QImage img = renderPage();
    p.fillRect(QRect(kDeskMargin + 3, kDeskMargin + 3, img.width(), img.height()), Qt::black);
    p.drawImage(kDeskMargin, kDeskMargin, img);
}

}  // namespace report
