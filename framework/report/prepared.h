// A prepared report: every page recorded as a list of draw operations in millimetres on the
// paper, independent of any device. Pages replay onto any QPaintDevice at its resolution,
// and the whole recording saves to and loads from a versioned file.
#pragma once

#include <QColor>
#include <QFont>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>
#include <vector>

class QPainter;
class QPaintDevice;

namespace report {

enum class TextAlign { Left, Right, Center };

const QFont& noFont();  // shared default for ops without text (cheap to copy)

struct DrawOp {
    enum class Kind { Text, Rect, Line };
    Kind kind = Kind::Text;
    QRectF rect;  // mm from the paper's top-left; a line runs from topLeft to bottomLeft
    QString text;
    QFont font = noFont();
    TextAlign align = TextAlign::Left;  // where the text sits in its box
    bool opaque = false;                // white box behind the text
    double penWidth = 0;                // mm; 0: no outline
    QColor fill;                        // invalid: no fill
};

using PageOps = std::vector<DrawOp>;

class PreparedReport {
public:
    QSizeF paperSize() const { return m_paper; }  // mm, as printed (landscape: wide)
    void setPaperSize(QSizeF mm) { m_paper = mm; }
    // The layout's margins (mm), for showing; unknown in reports saved before they were kept.
    std::optional<QMarginsF> margins() const { return m_margins; }
    void setMargins(QMarginsF mm) { m_margins = mm; }

    int pageCount() const { return static_cast<int>(m_pages.size()); }
    const PageOps& page(int index) const { return m_pages.at(static_cast<std::size_t>(index)); }
    PageOps& page(int index) { return m_pages.at(static_cast<std::size_t>(index)); }
    PageOps& addPage();
    void clear() { m_pages.clear(); }

    // Paints page `index` (0-based) with the painter's origin on the paper's top-left corner.
    void paintPage(QPainter& painter, int index) const;

    // Own file format; EInvalidOperation when the file cannot be written or read, or is not
    // a report of this format.
    void save(const QString& path) const;
    static PreparedReport load(const QString& path);

    friend bool operator==(const PreparedReport& a, const PreparedReport& b);

private:
    QSizeF m_paper{297, 210};
    std::optional<QMarginsF> m_margins;
    std::vector<PageOps> m_pages;
};

bool operator==(const DrawOp& a, const DrawOp& b);

// Width and height of `text` in `font`, in millimetres, measured at a fixed high resolution
// so that the layout does not depend on the screen.
QSizeF measureText(const QFont& font, const QString& text);

}  // namespace report
