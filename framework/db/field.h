// A column of an open dataset, read at the dataset's current row. Fields are created once
// per column when the dataset opens and address the dataset's RowStore by index.
#pragma once

#include "framework/db/money.h"
#include "framework/db/rowstore.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <string>

namespace db {

class DataSet;

class Field {
public:
    Field(DataSet* dataSet, int index);

    DataSet* dataSet() const { return m_dataSet; }
    int Index() const { return m_index; }
    const QString& FieldName() const;
    FieldType DataType() const;
    int Size() const;

    bool IsNull() const;
    QString AsString() const;        // plain text of the value ("" for null)
    std::int64_t AsInteger() const;  // EConvertError when the text is no whole number
    double AsFloat() const;
    QDateTime AsDateTime() const;
    // The value as a user sees it: currency fields in a currency format while Currency()
    // is on, otherwise the general number format (<= 15 significant digits, no grouping).
    QString DisplayText() const;
    QString DisplayTextAt(int row) const;  // the same for any row, without moving the cursor
    // DisplayTextAt(row) as UTF-8 appended to `out`: what the report lays out, without a
    // string per cell where the type allows.
    void appendDisplayText(int row, std::string& out) const;

    bool Currency() const { return m_currency; }
    // Changing the flag on an open dataset tells its links (dataset changed) so bound
    // controls redraw with the new format.
    void SetCurrency(bool on);

    // Writing requires the dataset in edit or insert state.
    void SetAsString(const QString& v);
    void SetAsInteger(std::int64_t v);
    void SetAsFloat(double v);
    void SetAsDateTime(const QDateTime& v);
    void Clear();  // null

private:
    int currentRow() const;
    DataSet* m_dataSet;
    int m_index;
    bool m_currency = false;  // on from the start for currency fields only
};

// General number format used when currency display is off: 1234.5, 1200, -0.25.
// (formatGeneralScaled4 and formatCurrencyScaled4 for scaled values are in money.h.)
QString formatGeneral(double v);
// Date-time display: date and time, or the date alone at midnight.
QString formatDateTime(const QDateTime& v);

}  // namespace db
