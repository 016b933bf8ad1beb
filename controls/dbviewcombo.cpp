// The value combo and its data link. The combo drives the dataset (a choice moves the
// cursor by the item distance) and the link drives the combo (scrolls move the selection,
// dataset-changed refills or re-selects); FSyncing keeps either side from echoing the other.
#include "controls/dbviewcombo.h"

#include "framework/db/dataset.h"
#include "framework/db/field.h"
#include "framework/ui/boundary.h"

#include <QKeyEvent>
#include <QPalette>
#include <QStringList>

namespace {

// Sets a flag for one scope and gives back the value it had, also when an error leaves.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~FlagScope() { m_flag = m_old; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

// Restores the cursor and re-enables the dataset's controls however the walk ends.
class WalkScope {
public:
    explicit WalkScope(db::DataSet& ds) : m_ds(ds), m_bookmark(ds.GetBookmark()) {
        m_ds.DisableControls();
    }
    ~WalkScope() {
        m_ds.GotoBookmark(m_bookmark);
        m_ds.EnableControls();
    }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;

private:
    db::DataSet& m_ds;
    db::DataSet::Bookmark m_bookmark;
};

}  // namespace

// ---- TViewComboLink ----

TViewComboLink::TViewComboLink(TDBViewCombo* combo) : FCombo(combo) {}

void TViewComboLink::SetFieldName(const QString& name) {
    if (name == FFieldName)
        return;
    FFieldName = name;
    ResolveField();
}

void TViewComboLink::ResolveField() {
    db::DataSource* source = dataSource();
    db::DataSet* ds = source ? source->dataSet() : nullptr;
    if (!ds || !ds->Active() || FFieldName.isEmpty())
        return;
    FField = ds->FieldByName(FFieldName);  // a missing field throws before anything changes
    if (Active())
        FCombo->FillItems();
}

void TViewComboLink::ActiveChanged() {
    if (Active()) {
        if (!FField)
            ResolveField();
        return;
    }
    FField = nullptr;
    FCombo->ClearItems();
}

void TViewComboLink::DataSetChanged() {
    db::DataSet* ds = dataSet();
    if (!ds || !ds->Active() || FCombo->m_filling)
        return;
    const db::DataSetState state = ds->State();
    if (state == db::DataSetState::Edit || state == db::DataSetState::Insert ||
        state == db::DataSetState::SetKey)
        return;

    if (ds->Bof()) {
        if (!FRefilling) {
            FlagScope refilling(FRefilling);
            FCombo->FillItems();
        }
    } else if (ds->Eof()) {
        FlagScope syncing(FCombo->FSyncing);
        FCombo->SelectItem(FCombo->count() - 1);
    } else {
        if (FEditSeen) {
            FEditSeen = false;
            FCombo->FillItems();
        }
        if (ds->RecordCount() < FCombo->count())
            FCombo->FillItems();
    }
}

void TViewComboLink::DataSetScrolled(int distance) {
    if (distance != 0 && !FCombo->m_filling)
        FCombo->MoveSelection(distance);
}

void TViewComboLink::EditingChanged() {
    if (Editing())
        FEditSeen = true;
}

// ---- TDBViewCombo ----

TDBViewCombo::TDBViewCombo(QWidget* parent)
    : QComboBox(parent), FDataLink(std::make_unique<TViewComboLink>(this)) {
    setEditable(false);  // a drop-down list: list items only, no typed text
    setMaxVisibleItems(8);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int) { userIndexChanged(); });
}

TDBViewCombo::~TDBViewCombo() {
    // Detach before the widget goes, so no notification reaches a half-destroyed combo, and
    // ignore whatever index changes the base class still reports while it is torn down.
    m_driving = true;
    FDataLink.reset();
}

db::DataSource* TDBViewCombo::DataSource() const {
    return FDataLink->dataSource();
}

void TDBViewCombo::SetDataSource(db::DataSource* source) {
    if (source == FDataLink->dataSource())
        return;
    // Going from one open dataset to another must still be heard as inactive, then active,
    // or the field of the old dataset would be kept.
    if (FDataLink->Active())
        FDataLink->setDataSource(nullptr);
    FDataLink->setDataSource(source);
}

const QString& TDBViewCombo::DataField() const {
    return FDataLink->FieldName();
}

void TDBViewCombo::SetDataField(const QString& name) {
    FDataLink->SetFieldName(name);
}

void TDBViewCombo::SetColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::Base, color);
    pal.setColor(QPalette::Button, color);
    setPalette(pal);
}

void TDBViewCombo::SelectItem(int index) {
    {
        FlagScope driving(m_driving);
        setCurrentIndex(index);
    }
    Change();
    FLastIndex = index;
}

void TDBViewCombo::FillItems() {
    db::DataSet* ds = FDataLink->dataSet();
    if (!FDataLink->FField || !ds || !ds->Active())
        return;

    ClearItems();
    // The item to select is the row the cursor stands on. Matching record contents instead
    // picks the last of several identical rows, and later choices then move by the wrong
    // distance.
    const int current = ds->currentRow();
    QStringList texts;
    {
        FlagScope filling(m_filling);
        WalkScope walk(*ds);
        db::Field* field = FDataLink->FField;
        ds->First();
        while (!ds->Eof()) {
            texts.append(field->AsString());  // a null is an empty item
            ds->Next();
        }
    }
    {
        FlagScope driving(m_driving);
        addItems(texts);
    }
    FlagScope syncing(FSyncing);
    SelectItem(current < count() ? current : -1);
}

void TDBViewCombo::MoveSelection(int distance) {
    if (FSyncing)
        return;
    FlagScope syncing(FSyncing);
    SelectItem(currentIndex() + distance);
}

void TDBViewCombo::ClearItems() {
    FlagScope driving(m_driving);
    clear();
}

void TDBViewCombo::Change() {
    db::DataSource* source = FDataLink->dataSource();
    if (!FSyncing && source && source->dataSet() && FDataLink->FField) {
        FlagScope syncing(FSyncing);
        const int index = currentIndex();
        source->dataSet()->MoveBy(index - FLastIndex);
        FLastIndex = index;
    }
    if (OnChange)
        OnChange();
}

void TDBViewCombo::KeyUp(int, Qt::KeyboardModifiers) {
    // Deliberately empty: the control's key-up event is never raised.
}

void TDBViewCombo::keyReleaseEvent(QKeyEvent* event) {
    KeyUp(event->key(), event->modifiers());
    QComboBox::keyReleaseEvent(event);
}

void TDBViewCombo::userIndexChanged() {
    if (m_driving)
        return;
    // A user's choice arrives from Qt's event loop: errors stop at the event boundary.
    ui::guarded([this] { Change(); });
}
