// One cell of the statement as the exports write it, straight from the row store as UTF-8
// without a string per cell: the exact decimal of an amount (at least two decimals in a money
// column), a float's shortest text, a text as stored. Shared by the workbook and CSV writers.
#pragma once

#include "ui/statementexport.h"

#include <optional>
#include <string>
#include <string_view>

namespace ui::cells {

// Appends the cell's text to `out`; true when the cell holds a number (a spreadsheet's number:
// an infinity is a text, as the grid shows it).
bool appendText(const db::RowStore& rows, int row, const ExportColumn& c, std::string& out);

// The number a workbook cell holds; none for an empty cell or a text (in `text`, then).
std::optional<double> number(const db::RowStore& rows, int row, const ExportColumn& c);

// Width in a spreadsheet's character units: a Chinese character takes two.
int displayWidth(std::string_view utf8);
int displayWidth(const QString& s);

// The first and last code points of a UTF-8 text (0 for an empty one).
char32_t firstCodePoint(std::string_view utf8);
char32_t lastCodePoint(std::string_view utf8);

}  // namespace ui::cells
