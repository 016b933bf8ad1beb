// Footer row of the grid. Geometry comes from the two views' headers at paint time, so
// nothing is cached that a resize, move or scroll could leave stale.
#include "framework/grid/footerrow.h"

#include "framework/grid/celltext.h"
#include "framework/grid/gridview.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace grid {

namespace {
const QColor kFooterColor(255, 255, 0);  // yellow
}  // namespace

FooterRow::FooterRow(GridView* view, TextOf text, AlignOf align, TextOf tip, QWidget* parent)
    : QWidget(parent),
      m_view(view),
      m_text(std::move(text)),
      m_align(std::move(align)),
      m_tip(std::move(tip)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAutoFillBackground(false);
}

QSize FooterRow::sizeHint() const {
    return QSize(100, fontMetrics().height() + 6);
}

int FooterRow::leftEdge() const {
    const QHeaderView* ind = m_view->verticalHeader();
    // The view sits at the same x as this row inside the grid.
    return m_view->x() - x() + m_view->frameWidth() + (ind->isHidden() ? 0 : ind->width());
}

QRect FooterRow::cellRect(int logical) const {
    const QHeaderView* header = m_view->horizontalHeader();
    if (logical < 0 || logical >= header->count() || header->isSectionHidden(logical))
        return {};
    const int left = leftEdge();
    if (m_view->isFrozenColumn(logical)) {
        const QHeaderView* fh = m_view->frozenView()->horizontalHeader();
        return QRect(left + fh->sectionViewportPosition(logical), 0, fh->sectionSize(logical),
                     height());
    }
    return QRect(left + header->sectionViewportPosition(logical), 0, header->sectionSize(logical),
                 height());
}

int FooterRow::columnAt(int x) const {
    const QHeaderView* header = m_view->horizontalHeader();
    // Frozen columns lie over the scrolling ones: they are asked first.
    for (int pass = 0; pass < 2; ++pass) {
        for (int logical = 0; logical < header->count(); ++logical) {
            if (m_view->isFrozenColumn(logical) != (pass == 0))
                continue;
            const QRect r = cellRect(logical);
            if (r.isValid() && x >= r.left() && x <= r.right())
                return logical;
        }
    }
    return -1;
}

QString FooterRow::toolTipText(int logical) const {
    if (logical < 0)
        return QString();
    if (m_tip) {
        const QString tip = m_tip(logical);
        if (!tip.isEmpty())
            return tip;
    }
    const QString text = m_text(logical);
    const QRect cell = cellRect(logical).adjusted(0, 0, -1, 0);  // less the column's line
    return fitCellText(font(), fontMetrics(), text, cell, m_align(logical)).placed.cut ? text
                                                                                       : QString();
}

bool FooterRow::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipText(columnAt(help->pos().x()));
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this);
        }
        return true;
    }
    return QWidget::event(event);
}

void FooterRow::paintCell(QPainter& p, int logical, const QRect& rect) const {
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(rect.topRight(), rect.bottomRight());
    const Qt::Alignment align = m_align(logical);
    const FittedCellText fitted =
        fitCellText(font(), fontMetrics(), m_text(logical), rect.adjusted(0, 0, -1, 0), align);
    p.setPen(Qt::black);  // on yellow whatever the palette
    p.setFont(fitted.font);
    p.drawText(fitted.placed.rect, align.toInt() | Qt::TextSingleLine, fitted.placed.shown);
    p.setFont(font());
}

void FooterRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kFooterColor);
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, 0, width(), 0);
    p.setFont(font());

    const QHeaderView* header = m_view->horizontalHeader();
    const int left = leftEdge();
    const int frozenRight = left + m_view->frozenWidth();
    const int right = left + m_view->viewport()->width();
    // Scrolling columns first, clipped to the part of the viewport the overlay leaves free.
    p.save();
    p.setClipRect(QRect(frozenRight, 0, qMax(0, right - frozenRight), height()));
    for (int logical = 0; logical < header->count(); ++logical) {
        if (m_view->isFrozenColumn(logical))
            continue;
        const QRect r = cellRect(logical);
        if (r.isValid() && r.right() >= frozenRight && r.left() < right)
            paintCell(p, logical, r);
    }
    p.restore();
    p.save();
    p.setClipRect(QRect(left, 0, qMax(0, right - left), height()));
    for (int logical = 0; logical < header->count(); ++logical) {
        if (!m_view->isFrozenColumn(logical))
            continue;
        const QRect r = cellRect(logical);
        if (r.isValid())
            paintCell(p, logical, r);
    }
    p.restore();
}

}  // namespace grid
