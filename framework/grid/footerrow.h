// The grid's footer: one yellow row under the table whose cells line up with the table's
// columns as they are resized, moved and scrolled, the frozen columns staying in place.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace grid {

class GridView;

class FooterRow : public QWidget {
public:
    using TextOf = std::function<QString(int column)>;
    using AlignOf = std::function<Qt::Alignment(int column)>;
    // `tip`, when given, is the tool tip of a cell (a note such as why it has no total);
    // a cell without one whose text is cut shows its whole text.
    FooterRow(GridView* view, TextOf text, AlignOf align, TextOf tip = {},
              QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // Where column `logical` is drawn, in this widget's coordinates (empty when hidden).
    QRect cellRect(int logical) const;
    int columnAt(int x) const;  // logical column drawn at x, -1 for none
    // What a tool tip at column `logical` shows ("" for none).
    QString toolTipText(int logical) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void paintCell(QPainter& p, int logical, const QRect& rect) const;
    int leftEdge() const;  // x of the first column

    GridView* m_view;
    TextOf m_text;
    AlignOf m_align;
    TextOf m_tip;
};

}  // namespace grid
