// A drop-down list of one field of every row of a dataset that keeps its selection on the
// dataset's current row in both directions: choosing an item moves the cursor, moving the
// cursor moves the selection. It navigates only; it never writes into the dataset.
#pragma once

#include "framework/db/datalink.h"

#include <QComboBox>
#include <QString>
#include <functional>
#include <memory>

namespace db {
class DataSet;
class Field;
}  // namespace db

class TDBViewCombo;

// The data link through which the combo hears its dataset.
class TViewComboLink : public db::DataLink {
public:
    explicit TViewComboLink(TDBViewCombo* combo);

    const QString& FieldName() const { return FFieldName; }
    db::Field* Field() const { return FField; }
    // Stores a new name (exact comparison) and resolves it against the open dataset.
    void SetFieldName(const QString& name);
    void ResolveField();

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled(int distance) override;
    void EditingChanged() override;

private:
    friend class TDBViewCombo;
    TDBViewCombo* FCombo;  // not owned
    QString FFieldName;
    db::Field* FField = nullptr;  // none while inactive
    bool FEditSeen = false;       // an edit began since the list was last looked at
    bool FRefilling = false;      // a refill from a dataset-changed at BOF is running
};

class TDBViewCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TDBViewCombo(QWidget* parent = nullptr);
    ~TDBViewCombo() override;

    db::DataSource* DataSource() const;
    void SetDataSource(db::DataSource* source);
    const QString& DataField() const;
    void SetDataField(const QString& name);  // field-not-found error when the open dataset lacks it

    int ItemIndex() const { return currentIndex(); }
    QString Text() const { return currentText(); }
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int rows) { setMaxVisibleItems(rows); }
    void SetColor(const QColor& color);

    // Selects item index (without the dataset following when a sync step is running),
    // runs Change, then remembers index as the synchronised one.
    void SelectItem(int index);
    void FillItems();
    void MoveSelection(int distance);
    void ClearItems();

    // Fired once per fill, per synchronising step and per choice by the user.
    std::function<void()> OnChange;
    // Kept for the control's published event set; the control never fires it.
    std::function<void(int key, Qt::KeyboardModifiers shift)> OnKeyUp;

protected:
    virtual void Change();
    virtual void KeyUp(int key, Qt::KeyboardModifiers shift);
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    friend class TViewComboLink;
    void userIndexChanged();

    std::unique_ptr<TViewComboLink> FDataLink;
    int FLastIndex = -1;     // the item that matched the current row at the last sync
    bool FSyncing = false;   // our own moves must not echo back
    bool m_driving = false;  // we set Qt's current index ourselves: not a user choice
    bool m_filling = false;  // notifications caused by our own walk through the rows
};
