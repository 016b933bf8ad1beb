// A read-only data-aware grid over a data source: frozen leading columns, a two-line
// centred title row, a row indicator, one yellow footer row of texts and sums, whole-row
// selection on or off. It follows the dataset's current row both ways.
#pragma once

#include "framework/db/money.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

namespace db {
class DataSource;
}

class QAction;
class QMimeData;
class QTableView;

namespace grid {

enum class Align { FieldOwn, Left, Right, Center };  // FieldOwn: text left, numbers right
enum class FooterKind { None, Text, Sum };

struct ColumnSpec {
    QString fieldName;  // matched case-insensitively; a missing field leaves the column empty
    QString title;
    int width = 64;  // pixels at 96 dpi
    Align align = Align::FieldOwn;
    FooterKind footer = FooterKind::None;
    QString footerText;  // FooterKind::Text
};

class DBGrid : public QWidget {
public:
    explicit DBGrid(QWidget* parent = nullptr);
    ~DBGrid() override;

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const;
    void setColumns(std::vector<ColumnSpec> columns);
    const std::vector<ColumnSpec>& columns() const;
    void setFrozenCols(int n);
    void setRowSelect(bool on);  // whole-row highlight vs. cell highlight
    bool rowSelect() const;

    // What the footer shows for column i ("合计", a formatted sum, "0", or "").
    QString footerText(int column) const;

    // The selected cells (or rows) as the clipboard gets them: tab-separated text and an
    // HTML document (UTF-8) of one table, the column titles first, in the columns' on-screen
    // order; with every row selected the footer line follows. Nothing selected: the current
    // cell.
    std::unique_ptr<QMimeData> selectionMimeData() const;
    void copySelection() const;  // actCopy (Ctrl+C, context menu "复制")
    // Adds an action to the grid's context menu (after "复制"); the grid does not own it.
    void addContextAction(QAction* action);
    // The row the grid highlights (0-based; -1 when none) and the cell text it shows.
    int currentRow() const;
    QString cellText(int row, int column) const;
    int rowCount() const;  // 0 while the dataset is closed

    int frozenCols() const;
    // The footer total of column i in 1/10000 units (0 without a sum).
    db::Scaled4 footerTotal(int column) const;
    // Why column i's footer has no total (too large, a text that is no number); "" otherwise.
    QString footerProblem(int column) const;
    // The parts, for the owner's layout and for tests. The footer's objectName follows the
    // grid's: objectName() + "Footer", updated whenever the grid is renamed.
    QTableView* view() const;
    QTableView* frozenView() const;
    QWidget* footer() const;

protected:
    void changeEvent(QEvent* event) override;  // font changes re-size titles, rows, footer

private:
    class Private;
    std::unique_ptr<Private> d;
};

}  // namespace grid
