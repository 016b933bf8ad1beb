// The data-aware grid: wires the dataset's link to the model, the views and the footer.
// The dataset's cursor and the view's current row follow each other; footer totals are
// taken once per opening (or per change heard), never per scroll or repaint.
#include "framework/grid/dbgrid.h"

#include "framework/db/datalink.h"
#include "framework/db/dataset.h"
#include "framework/grid/footerrow.h"
#include "framework/grid/footersums.h"
#include "framework/grid/gridmodel.h"
#include "framework/grid/gridview.h"
#include "framework/ui/boundary.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <utility>

namespace grid {

class DBGrid::Private {
public:
    explicit Private(DBGrid* q) : q(q), link(this) {}

    class Link : public db::DataLink {
    public:
        explicit Link(Private* p) : p(p) {}

    protected:
        void ActiveChanged() override { p->reload(true); }
        void DataSetChanged() override { p->reload(false); }
        void DataSetScrolled(int) override { p->followCursor(); }

    private:
        Private* p;
    };

    db::DataSet* openDataSet() const {
        db::DataSet* ds = link.dataSet();
        return ds && ds->Active() ? ds : nullptr;
    }
    void reload(bool opened);
    void followCursor();
    void moveCursorTo(int row);
    void applyWidths();
    void applyMetrics();
    void selectRow(int row, int column);
    int firstVisibleColumn() const;
    // Widths and order of the columns as the user left them, kept across a model reset
    // (which gives a header its default widths and order back).
    struct HeaderState {
        std::vector<int> sizes;   // per logical column
        std::vector<int> visual;  // logical column at each visual position
    };
    HeaderState captureHeader() const;
    void restoreHeader(const HeaderState& state);

    DBGrid* q;
    GridView* view = nullptr;
    GridModel* model = nullptr;
    FooterRow* footer = nullptr;
    std::vector<ColumnSpec> columns;
    FooterSums sums;
    // The rows the totals were taken over: a display change or a cursor move leaves them.
    struct Summed {
        const db::RowStore* store = nullptr;
        std::uint64_t version = 0;
    } summed;
    bool rowSelect = true;
    bool syncing = false;  // the view is being moved to the dataset's row
    bool dying = false;
    Link link;  // last: detached first on destruction
};

// Rebuilds the rows from the dataset as it is now. Totals are taken again for an opening
// and when the rows changed since they were taken (an edit, or a reopening while controls
// were disabled, which the link only learns of at the last EnableControls); never for a
// cursor move or a change of display format.
void DBGrid::Private::reload(bool opened) {
    if (dying)
        return;
    db::DataSet* ds = openDataSet();
    const int keepColumn = view->currentIndex().isValid() ? view->currentIndex().column() : -1;
    const bool sameShape =
        ds && model->dataSet() == ds && model->rowCount() == ds->store().rowCount();
    if (!opened && sameShape) {
        model->refresh();
    } else {
        const HeaderState kept = captureHeader();
        model->reload(ds, columns);
        restoreHeader(kept);
    }
    if (!ds) {
        sums.clear(columns.size());
        summed = {};
    } else if (opened || summed.store != &ds->store() || summed.version != ds->store().version()) {
        sums.compute(ds->store(), columns);
        summed = {&ds->store(), ds->store().version()};
    }
    // The totals walk leaves the first row current after an opening.
    if (opened && ds && ds->RecordCount() > 0 && ds->currentRow() != 0)
        ds->First();
    if (ds && keepColumn >= 0 && ds->currentRow() >= 0)
        selectRow(ds->currentRow(), keepColumn);
    else
        followCursor();
    footer->update();
}

int DBGrid::Private::firstVisibleColumn() const {
    return model->columnCount() > 0 ? view->horizontalHeader()->logicalIndex(0) : -1;
}

void DBGrid::Private::selectRow(int row, int column) {
    QItemSelectionModel* sel = view->selectionModel();
    if (!sel)
        return;
    if (column >= model->columnCount())
        column = firstVisibleColumn();
    if (row < 0 || row >= model->rowCount() || column < 0) {
        QScopedValueRollback guard(syncing, true);
        sel->clear();
        return;
    }
    const QModelIndex index = model->index(row, column);
    QScopedValueRollback guard(syncing, true);
    QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
    if (rowSelect)
        flags |= QItemSelectionModel::Rows;
    sel->setCurrentIndex(index, flags);
    view->scrollTo(index);
    view->verticalHeader()->viewport()->update();
}

DBGrid::Private::HeaderState DBGrid::Private::captureHeader() const {
    HeaderState state;
    const QHeaderView* header = view->horizontalHeader();
    if (header->count() != static_cast<int>(columns.size()))
        return state;
    for (int i = 0; i < header->count(); ++i) {
        state.sizes.push_back(header->sectionSize(i));
        state.visual.push_back(header->logicalIndex(i));
    }
    return state;
}

void DBGrid::Private::restoreHeader(const HeaderState& state) {
    QHeaderView* header = view->horizontalHeader();
    if (state.sizes.size() != static_cast<std::size_t>(header->count())) {
        applyWidths();
        return;
    }
    for (int visual = 0; visual < header->count(); ++visual) {
        const int from = header->visualIndex(state.visual[static_cast<std::size_t>(visual)]);
        if (from != visual)
            header->moveSection(from, visual);
    }
    for (int i = 0; i < header->count(); ++i)
        header->resizeSection(i, state.sizes[static_cast<std::size_t>(i)]);
}

// Dataset -> view: highlight the dataset's current row, keeping the current column.
void DBGrid::Private::followCursor() {
    if (dying)
        return;
    db::DataSet* ds = openDataSet();
    const QModelIndex cur = view->currentIndex();
    // The user's own move (with the range he is selecting) already stands on the row.
    if (ds && cur.isValid() && cur.row() == ds->currentRow()) {
        view->verticalHeader()->viewport()->update();
        return;
    }
    const int column = cur.isValid() ? cur.column() : firstVisibleColumn();
    selectRow(ds ? ds->currentRow() : -1, column);
}

// View -> dataset: the user picked another row.
void DBGrid::Private::moveCursorTo(int row) {
    db::DataSet* ds = openDataSet();
    if (!ds || row < 0)
        return;
    ui::guarded([&] {
        const int distance = row - ds->currentRow();
        if (distance != 0)
            ds->MoveBy(distance);
    });
    // The dataset may stop elsewhere (or refuse): show where it really is.
    if (ds->Active() && ds->currentRow() != row && !ds->ControlsDisabled())
        followCursor();
}

void DBGrid::Private::applyWidths() {
    const double scale = q->logicalDpiX() / 96.0;
    QHeaderView* header = view->horizontalHeader();
    for (std::size_t c = 0; c < columns.size() && c < std::size_t(header->count()); ++c)
        header->resizeSection(int(c), qMax(1, qRound(columns[c].width * scale)));
}

void DBGrid::Private::applyMetrics() {
    const QFontMetrics fm(q->font());
    const int line = fm.height();
    const double scale = q->logicalDpiX() / 96.0;
    view->setMetrics(2 * line + 6, line + 5, qRound(11 * scale));
    footer->updateGeometry();
    footer->update();
}

DBGrid::DBGrid(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(this)) {
    d->view = new GridView(this);
    d->model = new GridModel(this);
    d->view->setModel(d->model);
    d->footer = new FooterRow(
        d->view, [this](int c) { return footerText(c); },
        [this](int c) -> Qt::Alignment {
            const bool sum = c >= 0 && c < int(d->columns.size()) &&
                             d->columns[std::size_t(c)].footer == FooterKind::Sum;
            // Totals read as numbers; a text footer sits like its column's cells.
            return sum ? (Qt::AlignRight | Qt::AlignVCenter) : d->model->cellAlignment(c);
        },
        [this](int c) { return d->sums.overflow(c); }, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(d->view, 1);
    layout->addWidget(d->footer);
    setFocusProxy(d->view);

    // The footer's name follows the grid's so the window's owner can find it by name.
    connect(this, &QObject::objectNameChanged, d->footer, [this](const QString& name) {
        d->footer->setObjectName(name + QStringLiteral("Footer"));
    });
    d->footer->setObjectName(QStringLiteral("Footer"));

    connect(d->view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (d->dying)
                    return;
                d->view->verticalHeader()->viewport()->update();
                if (d->syncing || !current.isValid() || current.row() == previous.row())
                    return;
                d->moveCursorTo(current.row());
            });
    auto repaintFooter = [this] { d->footer->update(); };
    for (QHeaderView* h :
         {d->view->horizontalHeader(), d->view->frozenView()->horizontalHeader()}) {
        connect(h, &QHeaderView::sectionResized, d->footer, repaintFooter);
        connect(h, &QHeaderView::sectionMoved, d->footer, repaintFooter);
        connect(h, &QHeaderView::geometriesChanged, d->footer, repaintFooter);
    }
    connect(d->view->horizontalScrollBar(), &QAbstractSlider::valueChanged, d->footer,
            repaintFooter);

    d->view->setRowSelect(d->rowSelect);
    d->applyMetrics();

    d->view->setExtraWidth(
        [this](int c) { return d->footer->fontMetrics().horizontalAdvance(footerText(c)); });
    auto* copy = new QAction(QStringLiteral("复制"), this);
    copy->setObjectName(QStringLiteral("actCopy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, [this] { copySelection(); });
    addAction(copy);  // the shortcut works wherever in the grid the focus is
    for (QTableView* v : {static_cast<QTableView*>(d->view), d->view->frozenView()}) {
        v->setContextMenuPolicy(Qt::ActionsContextMenu);
        v->addAction(copy);
    }
}

DBGrid::~DBGrid() {
    d->dying = true;
    d->link.setDataSource(nullptr);
    // The parts go while the private data still exists: a view being destroyed still
    // signals, and the handlers connected here read `d`.
    delete std::exchange(d->footer, nullptr);
    delete std::exchange(d->view, nullptr);
}

void DBGrid::setDataSource(db::DataSource* source) {
    if (d->link.dataSource() == source)
        return;
    d->link.setDataSource(source);
    d->reload(true);  // also when the link heard nothing (closed before and after)
}

db::DataSource* DBGrid::dataSource() const {
    return d->link.dataSource();
}

void DBGrid::setColumns(std::vector<ColumnSpec> columns) {
    d->columns = std::move(columns);
    d->summed = {};
    d->model->reload(d->openDataSet(), d->columns);
    d->applyWidths();
    d->reload(false);
}

const std::vector<ColumnSpec>& DBGrid::columns() const {
    return d->columns;
}

void DBGrid::setFrozenCols(int n) {
    d->view->setFrozenCount(n);
    d->footer->update();
}

int DBGrid::frozenCols() const {
    return d->view->frozenCount();
}

void DBGrid::setRowSelect(bool on) {
    d->rowSelect = on;
    d->view->setRowSelect(on);
    // Re-highlight in the new manner without moving the current row.
    const QModelIndex cur = d->view->currentIndex();
    if (cur.isValid())
        d->selectRow(cur.row(), cur.column());
}

bool DBGrid::rowSelect() const {
    return d->rowSelect;
}

void DBGrid::addContextAction(QAction* action) {
    for (QTableView* v : {static_cast<QTableView*>(d->view), d->view->frozenView()})
        v->addAction(action);
    addAction(action);
}

std::unique_ptr<QMimeData> DBGrid::selectionMimeData() const {
    const QHeaderView* header = d->view->horizontalHeader();
    const int columnCount = d->model->columnCount();
    std::vector<bool> rows(static_cast<std::size_t>(d->model->rowCount()), false);
    std::vector<bool> cols(static_cast<std::size_t>(columnCount), false);
    const QItemSelection selection = d->view->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows[static_cast<std::size_t>(r)] = true;
        for (int c = range.left(); c <= range.right(); ++c)
            cols[static_cast<std::size_t>(c)] = true;
    }
    if (selection.isEmpty()) {
        const QModelIndex cur = d->view->currentIndex();
        if (cur.isValid()) {
            rows[static_cast<std::size_t>(cur.row())] = true;
            cols[static_cast<std::size_t>(cur.column())] = true;
        }
    }
    std::vector<int> order;  // logical columns in their on-screen order
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical) && cols[static_cast<std::size_t>(logical)])
            order.push_back(logical);
    }
    const bool everyRow =
        !rows.empty() && std::all_of(rows.begin(), rows.end(), [](bool b) { return b; });

    QStringList lines;
    QString html = QStringLiteral("<table><tr>");
    auto addLine = [&](const std::function<QString(int)>& cell, const char* tag) {
        QStringList cells;
        for (int c : order) {
            cells << cell(c);
            html += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), cell(c).toHtmlEscaped());
        }
        lines << cells.join(QLatin1Char('\t'));
        html += QStringLiteral("</tr><tr>");
    };
    addLine([this](int c) { return d->columns[static_cast<std::size_t>(c)].title; }, "th");
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r])
            addLine([this, r](int c) { return cellText(static_cast<int>(r), c); }, "td");
    }
    if (everyRow)
        addLine([this](int c) { return footerText(c); }, "td");
    html.chop(4);  // the last "<tr>" opened
    // A whole document that names its encoding: programs that read the HTML flavour
    // (Gnumeric among them) took a bare table for Latin-1 and garbled every Chinese text.
    html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body>") +
           html + QStringLiteral("</table></body></html>\n");

    auto mime = std::make_unique<QMimeData>();
    mime->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    mime->setHtml(html);
    return mime;
}

void DBGrid::copySelection() const {
    QApplication::clipboard()->setMimeData(selectionMimeData().release());
}

QString DBGrid::footerText(int column) const {
    if (column < 0 || column >= int(d->columns.size()))
        return QString();
    const db::Field* f = d->model->fieldOf(column);
    return d->sums.text(column, d->columns[std::size_t(column)],
                        f ? f->DataType() : db::FieldType::String, f && f->Currency());
}

db::Scaled4 DBGrid::footerTotal(int column) const {
    return d->sums.total(column);
}

QString DBGrid::footerProblem(int column) const {
    return d->sums.overflow(column);
}

int DBGrid::currentRow() const {
    const QModelIndex cur = d->view->currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

QString DBGrid::cellText(int row, int column) const {
    return d->model->cellText(row, column);
}

int DBGrid::rowCount() const {
    return d->model->rowCount();
}

QTableView* DBGrid::view() const {
    return d->view;
}

QTableView* DBGrid::frozenView() const {
    return d->view->frozenView();
}

QWidget* DBGrid::footer() const {
    return d->footer;
}

void DBGrid::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        d->applyMetrics();
}

}  // namespace grid
