// The dataset cursor, its states and the notifications its links hear.
// Bof/Eof follow the framework's usual rules: Open and First set Bof, Last sets Eof, a move
// past either end sets the flag and leaves the cursor on the end row.
#include "framework/db/dataset.h"

#include "framework/db/database.h"
#include "framework/db/datalink.h"
#include "framework/text/errors.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace db {

DataSet::DataSet(QObject* parent) : QObject(parent) {
    Session::Default().addDataSet(this);
}

DataSet::~DataSet() {
    m_disableCount = 0;
    Close();
    const std::vector<DataSource*> sources = m_sources;
    m_sources.clear();
    for (DataSource* s : sources) {
        s->m_dataSet = nullptr;
        const std::vector<DataLink*> links = s->m_links;
        for (DataLink* l : links) l->updateState();
    }
    Session::Default().removeDataSet(this);
}

void DataSet::SetDatabaseName(const QString& name) {
    if (Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_databaseName = name;
}

Database* DataSet::database() const {
    return Session::Default().FindDatabase(m_databaseName);
}

Database& DataSet::requireDatabase() const {
    Database* d = database();
    if (d == nullptr) {
        if (m_databaseName.isEmpty())
            throw EDatabaseError(QStringLiteral("%1: no database name").arg(objectName()));
        throw EDatabaseError(QStringLiteral("Unknown database '%1'").arg(m_databaseName));
    }
    if (!d->Connected())
        d->Open();
    return *d;
}

void DataSet::Open() {
    if (Active())
        return;
    m_store.clear();
    try {
        fetchRows(m_store);
        if (!m_fieldList.empty()) {
            std::vector<int> order;
            order.reserve(m_fieldList.size());
            for (const FieldDef& f : m_fieldList) {
                const int c = m_store.indexOf(f.name);
                if (c < 0)
                    throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(f.name));
                order.push_back(c);
            }
            m_store.keepColumns(order);
        }
        m_store.fitCapacity();
    } catch (...) {
        m_store.clear();
        throw;
    }
    m_fields.clear();
    m_fields.reserve(m_store.columnCount());
    for (int i = 0; i < m_store.columnCount(); ++i)
        m_fields.push_back(std::make_unique<Field>(this, i));
    m_row = m_store.rowCount() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_store.rowCount() == 0;
    m_modified = false;
    setState(DataSetState::Browse);
    if (AfterOpen)
        AfterOpen(*this);
}

void DataSet::Close() {
    if (!Active())
        return;
    // Links hear the change while the fields still exist, then the fields go.
    setState(DataSetState::Inactive);
    m_fields.clear();
    m_store.clear();
    m_editSnapshot.clear();
    m_row = -1;
    m_bof = true;
    m_eof = true;
    m_modified = false;
}

void DataSet::checkActive() const {
    if (!Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void DataSet::checkBrowseMode() {
    checkActive();
    switch (m_state) {
        case DataSetState::Edit:
            Post();
            break;
        case DataSetState::Insert:
            if (m_modified)
                Post();
            else
                Cancel();
            break;
        case DataSetState::SetKey:
            Cancel();
            break;
        default:
            break;
    }
}

void DataSet::beginFieldWrite() {
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw EDatabaseError(QStringLiteral("Dataset not in edit or insert mode"));
    m_modified = true;
}

void DataSet::First() {
    checkBrowseMode();
    m_row = m_store.rowCount() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_store.rowCount() == 0;
    notifyLinks(kChanged);
}

void DataSet::Last() {
    checkBrowseMode();
    m_row = m_store.rowCount() - 1;
    m_eof = true;
    m_bof = m_store.rowCount() == 0;
    notifyLinks(kChanged);
}

void DataSet::Next() {
    MoveBy(1);
}

void DataSet::Prior() {
    MoveBy(-1);
}

int DataSet::MoveBy(int distance) {
    checkBrowseMode();
    if (!((distance > 0 && !m_eof) || (distance < 0 && !m_bof)))
        return 0;
    m_bof = false;
    m_eof = false;
    int moved = 0;
    const int last = m_store.rowCount() - 1;
    if (distance > 0) {
        const int room = last - m_row;
        moved = distance <= room ? distance : room;
        m_eof = distance > room;
    } else {
        const int room = m_row;
        moved = -distance <= room ? distance : -room;
        m_bof = -distance > room;
    }
    m_row += moved;
    notifyLinks(kScrolled, moved);
    return moved;
}

bool DataSet::IsEmpty() const {
    return !Active() || m_store.rowCount() == 0;
}

int DataSet::RecordCount() const {
    checkActive();
    return m_store.rowCount() - (m_state == DataSetState::Insert ? 1 : 0);
}

int DataSet::RecNo() const {
    checkActive();
    return m_row + 1;
}

void DataSet::GotoBookmark(Bookmark b) {
    checkBrowseMode();
    if (b == -1 && m_store.rowCount() == 0)
        return;
    if (b < 0 || b >= m_store.rowCount())
        throw EDatabaseError(QStringLiteral("Record not found"));
    m_row = b;
    m_bof = false;
    m_eof = false;
    notifyLinks(kChanged);
}

void DataSet::DisableControls() {
    if (m_disableCount == 0)
        m_disableState = m_state;
    ++m_disableCount;
}

void DataSet::EnableControls() {
    if (m_disableCount == 0)
        return;
    if (--m_disableCount > 0)
        return;
    if (m_disableState != m_state)
        notifyLinks(kUpdateState);
    if (m_disableState != DataSetState::Inactive && m_state != DataSetState::Inactive)
        notifyLinks(kChanged);
}

namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether an ASCII cell text equals the ASCII `wanted` (already lower case) ignoring case.
bool equalsAsciiFolded(std::string_view cell, std::string_view wanted) {
    if (cell.size() != wanted.size())
        return false;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (asciiLower(cell[i]) != wanted[i])
            return false;
    }
    return true;
}

}  // namespace

bool DataSet::Locate(const QString& fieldName, const QString& value) {
    checkBrowseMode();
    const int col = FieldByName(fieldName)->Index();
    const FieldType type = m_store.columns()[static_cast<std::size_t>(col)].type;
    // Text cells are compared as their UTF-8 bytes when both sides are ASCII, without
    // making a string per row; anything else (a non-ASCII cell may fold to ASCII, as the
    // Kelvin sign does) is compared as Unicode text.
    std::string wanted = value.toStdString();
    const bool bytes = (type == FieldType::String || type == FieldType::Memo) && isAscii(wanted);
    std::transform(wanted.begin(), wanted.end(), wanted.begin(), asciiLower);
    for (int r = 0; r < m_store.rowCount(); ++r) {
        bool found = false;
        if (bytes) {
            const std::string_view cell = m_store.text(r, col);
            found = isAscii(cell) ? equalsAsciiFolded(cell, wanted)
                                  : m_store.string(r, col).compare(value, Qt::CaseInsensitive) == 0;
        } else {
            found = m_store.string(r, col).compare(value, Qt::CaseInsensitive) == 0;
        }
        if (found) {
            m_row = r;
            m_bof = false;
            m_eof = false;
            notifyLinks(kChanged);
            return true;
        }
    }
    return false;
}

void DataSet::Edit() {
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    checkBrowseMode();
    if (m_store.rowCount() == 0) {
        Insert();
        return;
    }
    m_editSnapshot = m_store.snapshotRow(m_row);
    m_modified = false;
    setState(DataSetState::Edit);
    notifyLinks(kChanged);
}

void DataSet::Insert() {
    checkBrowseMode();
    const int at = m_row < 0 ? 0 : m_row;
    m_store.insertRow(at);
    m_row = at;
    m_bof = false;
    m_eof = false;
    m_modified = false;
    setState(DataSetState::Insert);
    notifyLinks(kChanged);
}

void DataSet::Post() {
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert &&
        m_state != DataSetState::SetKey)
        return;
    m_editSnapshot.clear();
    m_modified = false;
    m_bof = false;
    m_eof = false;
    setState(DataSetState::Browse);
    notifyLinks(kChanged);
}

void DataSet::Cancel() {
    checkActive();
    switch (m_state) {
        case DataSetState::Edit:
            m_store.restoreRow(m_row, m_editSnapshot);
            m_editSnapshot.clear();
            break;
        case DataSetState::Insert:
            m_store.removeRow(m_row);
            placeCursorAfterRemoval();
            break;
        case DataSetState::SetKey:
            break;
        default:
            return;
    }
    m_modified = false;
    setState(DataSetState::Browse);
    notifyLinks(kChanged);
}

void DataSet::Delete() {
    checkActive();
    if (m_state == DataSetState::Insert || m_state == DataSetState::SetKey) {
        Cancel();
        return;
    }
    if (m_store.rowCount() == 0)
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    m_store.removeRow(m_row);
    m_editSnapshot.clear();
    m_modified = false;
    placeCursorAfterRemoval();
    setState(DataSetState::Browse);
    notifyLinks(kChanged);
}

void DataSet::placeCursorAfterRemoval() {
    const int n = m_store.rowCount();
    if (m_row >= n)
        m_row = n - 1;
    m_bof = n == 0;
    m_eof = n == 0;
}

void DataSet::SetKey() {
    checkBrowseMode();
    setState(DataSetState::SetKey);
    notifyLinks(kChanged);
}

Field* DataSet::FindField(const QString& name) const {
    for (const auto& f : m_fields) {
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

Field* DataSet::FieldByName(const QString& name) const {
    Field* f = FindField(name);
    if (f == nullptr)
        throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    return f;
}

Field* DataSet::fieldAt(int index) const {
    return m_fields.at(index).get();
}

int DataSet::FieldCount() const {
    return static_cast<int>(m_fields.size());
}

void DataSet::setState(DataSetState s) {
    if (m_state == s)
        return;
    m_state = s;
    notifyLinks(kUpdateState);
}

void DataSet::notifyLinks(int kind, int distance) {
    if (m_disableCount > 0)
        return;
    // Copies: a link's handler may move the cursor or attach and detach links.
    const std::vector<DataSource*> sources = m_sources;
    for (DataSource* s : sources) {
        const std::vector<DataLink*> links = s->m_links;
        for (DataLink* l : links) {
            switch (kind) {
                case kUpdateState:
                    l->updateState();
                    break;
                case kChanged:
                    l->notifyChanged();
                    break;
                case kScrolled:
                    l->notifyScrolled(distance);
                    break;
                default:
                    break;
            }
        }
    }
}

void DataSet::registerSource(DataSource* s) {
    m_sources.push_back(s);
}

void DataSet::unregisterSource(DataSource* s) {
    std::erase(m_sources, s);
}

}  // namespace db
