// Table view with frozen leading columns. The overlay never scrolls sideways; the main
// view keeps the frozen columns underneath it, so positions and keyboard moves stay those
// of one ordinary table.
#include "framework/grid/gridview.h"

#include "framework/grid/celldelegate.h"
#include "framework/grid/celltext.h"
#include "framework/grid/rowindicator.h"

#include <QHeaderView>
#include <QInputEvent>
#include <QScrollBar>
#include <memory>

namespace grid {

namespace {

// What a user's move or click does to the selection. Ctrl does not keep the old selection
// here: Ctrl+End, Ctrl+Down, Ctrl+click and Ctrl+Space move the current row (or cell) and
// highlight it like any move, so only Shift with a move, Ctrl+A and a drag select a range.
// Before, Ctrl moves left the highlight behind and Ctrl+click or Ctrl+Space unselected it.
// The event to decide by: `event` itself, or a copy of it without Ctrl kept in `copy`.
const QEvent* withoutCtrl(const QEvent* event, std::unique_ptr<QEvent>& copy) {
    if (!event || !event->isInputEvent())
        return event;
    const auto* input = static_cast<const QInputEvent*>(event);
    if (!(input->modifiers() & Qt::ControlModifier))
        return event;
    copy.reset(event->clone());
    static_cast<QInputEvent*>(copy.get())->setModifiers(input->modifiers() & ~Qt::ControlModifier);
    return copy.get();
}

// The frozen columns' overlay takes clicks and drags on those columns.
class FrozenView : public QTableView {
public:
    using QTableView::QTableView;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        std::unique_ptr<QEvent> copy;
        return QTableView::selectionCommand(index, withoutCtrl(event, copy));
    }
};

void setupCommon(QTableView* v) {
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Ranges of cells or rows for copying (drag, Shift+arrows, Ctrl+A); the current row
    // is still the one the cursor moves.
    v->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->setItemDelegate(new CellDelegate(v));
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    v->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    v->setShowGrid(true);
    v->setWordWrap(false);
    v->setTabKeyNavigation(true);  // Tab moves between cells, not to the next control
    v->horizontalHeader()->setSectionsMovable(true);
    v->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    v->horizontalHeader()->setHighlightSections(false);
    v->horizontalHeader()->setDefaultAlignment(
        Qt::Alignment::fromInt(int(Qt::AlignCenter) | int(Qt::TextWordWrap)));
    v->horizontalHeader()->setMinimumSectionSize(4);
    v->horizontalHeader()->setStretchLastSection(false);
}

}  // namespace

GridView::GridView(QWidget* parent) : QTableView(parent), m_frozen(new FrozenView(this)) {
    setObjectName(QStringLiteral("gridView"));
    m_frozen->setObjectName(QStringLiteral("gridFrozenView"));
    m_indicator = new RowIndicator(this);
    setVerticalHeader(m_indicator);
    setupCommon(this);
    setupCommon(m_frozen);

    m_frozen->setFocusPolicy(Qt::NoFocus);  // keys go to the main view, which has every column
    m_frozen->verticalHeader()->hide();
    m_frozen->setFrameShape(QFrame::NoFrame);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->hide();
    viewport()->stackUnder(m_frozen);
    horizontalHeader()->stackUnder(m_frozen);

    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    // A scroll made before the overlay had its size was clamped there: catch up once it has.
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::rangeChanged, this,
            [this] { m_frozen->verticalScrollBar()->setValue(verticalScrollBar()->value()); });

    // Widths and column order are one state shown in two headers.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int size) {
                if (m_syncing)
                    return;
                m_syncing = true;
                m_frozen->horizontalHeader()->resizeSection(logical, size);
                m_syncing = false;
                updateFrozenGeometry();
            });
    connect(m_frozen->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int size) {
                if (m_syncing || m_frozen->isColumnHidden(logical))
                    return;
                m_syncing = true;
                horizontalHeader()->resizeSection(logical, size);
                m_syncing = false;
                updateFrozenGeometry();
            });
    connect(horizontalHeader(), &QHeaderView::sectionMoved, this, [this](int, int from, int to) {
        if (m_syncing)
            return;
        m_syncing = true;
        m_frozen->horizontalHeader()->moveSection(from, to);
        m_syncing = false;
        syncFrozenColumns();
    });
    connect(m_frozen->horizontalHeader(), &QHeaderView::sectionMoved, this,
            [this](int, int from, int to) {
                if (m_syncing)
                    return;
                m_syncing = true;
                horizontalHeader()->moveSection(from, to);
                m_syncing = false;
                syncFrozenColumns();
            });
    // A double-click on a frozen column's border fits it by the same measure as the others.
    connect(m_frozen->horizontalHeader(), &QHeaderView::sectionHandleDoubleClicked, this,
            [this](int logical) { resizeColumnToContents(logical); });
}

int GridView::sizeHintForColumn(int column) const {
    QAbstractItemModel* m = model();
    if (!m || column < 0 || column >= m->columnCount())
        return -1;
    const QFontMetrics fm(font());
    int widest = 0;
    for (int row = 0; row < m->rowCount(); ++row)
        widest = qMax(widest, fm.horizontalAdvance(m->index(row, column).data().toString()));
    if (m_extraWidth)
        widest = qMax(widest, m_extraWidth(column));
    return widest + 2 * kCellMargin + (showGrid() ? 1 : 0);
}

GridView::~GridView() = default;

void GridView::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    m_frozen->setModel(model);
    m_frozen->setSelectionModel(selectionModel());
    if (model) {
        // A reset drops column widths and order: the owner sets them again, then we follow.
        connect(model, &QAbstractItemModel::modelReset, this, [this] { syncFrozenColumns(); });
    }
    syncFrozenColumns();
}

void GridView::setFrozenCount(int n) {
    m_frozenCount = qMax(0, n);
    syncFrozenColumns();
}

bool GridView::isFrozenColumn(int logicalColumn) const {
    const int visual = horizontalHeader()->visualIndex(logicalColumn);
    return visual >= 0 && visual < m_frozenCount;
}

int GridView::frozenWidth() const {
    return m_frozen->isHidden() ? 0 : m_frozen->width();
}

void GridView::setRowSelect(bool on) {
    const auto b = on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems;
    setSelectionBehavior(b);
    m_frozen->setSelectionBehavior(b);
}

void GridView::setMetrics(int headerHeight, int rowHeight, int indicatorWidth) {
    for (QTableView* v : {static_cast<QTableView*>(this), m_frozen}) {
        v->horizontalHeader()->setFixedHeight(headerHeight);
        v->verticalHeader()->setMinimumSectionSize(qMin(rowHeight, 4));
        v->verticalHeader()->setDefaultSectionSize(rowHeight);
        v->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    }
    m_indicator->setIndicatorWidth(indicatorWidth);
    updateGeometries();
}

void GridView::syncFrozenColumns() {
    QHeaderView* main = horizontalHeader();
    QHeaderView* frozen = m_frozen->horizontalHeader();
    const int count = model() ? model()->columnCount() : 0;
    m_syncing = true;
    for (int visual = 0; visual < count; ++visual) {
        const int logical = main->logicalIndex(visual);
        const int at = frozen->visualIndex(logical);
        if (at != visual && at >= 0)
            frozen->moveSection(at, visual);
    }
    for (int logical = 0; logical < count; ++logical) {
        const bool shown = isFrozenColumn(logical);
        m_frozen->setColumnHidden(logical, !shown);
        if (shown)
            frozen->resizeSection(logical, main->sectionSize(logical));
    }
    m_syncing = false;
    updateFrozenGeometry();
}

void GridView::updateFrozenGeometry() {
    int width = 0;
    const int count = model() ? model()->columnCount() : 0;
    for (int logical = 0; logical < count; ++logical)
        if (isFrozenColumn(logical))
            width += columnWidth(logical);
    const int left = frameWidth() + (verticalHeader()->isHidden() ? 0 : verticalHeader()->width());
    m_frozen->setGeometry(left, frameWidth(), width,
                          viewport()->height() + horizontalHeader()->height());
    m_frozen->setVisible(width > 0);
    m_frozen->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void GridView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid())
        return;
    QScrollBar* h = horizontalScrollBar();
    const int before = h->value();
    QTableView::scrollTo(index, hint);
    if (isFrozenColumn(index.column())) {
        h->setValue(before);  // a frozen cell is always in view: scroll only up or down
        return;
    }
    // A scrolling column must not end up hidden under the overlay.
    const int covered = frozenWidth() - columnViewportPosition(index.column());
    if (covered > 0)
        h->setValue(h->value() - covered);
}

QItemSelectionModel::SelectionFlags GridView::selectionCommand(const QModelIndex& index,
                                                               const QEvent* event) const {
    std::unique_ptr<QEvent> copy;
    return QTableView::selectionCommand(index, withoutCtrl(event, copy));
}

void GridView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
}

void GridView::updateGeometries() {
    QTableView::updateGeometries();
    updateFrozenGeometry();
}

}  // namespace grid
