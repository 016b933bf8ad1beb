// A dataset: all rows fetched at open into one RowStore, a cursor with BOF/EOF, states,
// bookmarks, Locate, in-memory editing, and notifications to the links of its sources.
// Query and StoredProc derive from it and supply the rows (fetchRows).
#pragma once

#include "framework/db/field.h"
#include "framework/db/rowstore.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace db {

class DataSource;
class Database;

enum class DataSetState { Inactive, Browse, Edit, Insert, SetKey };

class DataSet : public QObject {
    Q_OBJECT

public:
    explicit DataSet(QObject* parent = nullptr);
    ~DataSet() override;

    // The connection is found by its connection name in the session at open time.
    const QString& DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString& name);
    Database* database() const;  // the registered connection of that name, or nullptr

    void Open();  // fetches every row; runs AfterOpen; links hear activeChanged
    void Close();
    bool Active() const { return m_state != DataSetState::Inactive; }
    DataSetState State() const { return m_state; }

    void First();
    void Next();
    void Prior();
    void Last();
    // Returns the distance actually moved. Links hear scrolled(moved) for every move that
    // was tried, so a Next on the last row sends scrolled(0) as it sets Eof; a move that
    // cannot start (Next at Eof, Prior at Bof, distance 0) sends nothing.
    int MoveBy(int distance);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    bool IsEmpty() const;                     // true also while closed
    int RecordCount() const;                  // EDatabaseError when closed
    int RecNo() const;                        // 1-based; 0 without rows
    int currentRow() const { return m_row; }  // 0-based; -1 without rows

    using Bookmark = int;  // the row position; -1 on an empty dataset
    Bookmark GetBookmark() const { return m_row; }
    void GotoBookmark(Bookmark b);  // sends dataset-changed; -1 on an empty dataset is a no-op

    void DisableControls();
    void EnableControls();  // the last one sends one dataset-changed
    bool ControlsDisabled() const { return m_disableCount > 0; }

    // Case-insensitive whole-value match of the field's text, from the first row.
    bool Locate(const QString& fieldName, const QString& value);

    // Editing happens in the fetched rows only. Edit/Insert: links hear editing changed, then
    // dataset changed; Post/Cancel/Delete: back to browse and dataset changed. Moving the
    // cursor while editing posts first (an untouched inserted row is dropped instead).
    void Edit();
    void Insert();
    void Post();
    void Cancel();
    void Delete();
    void SetKey();
    bool Modified() const { return m_modified; }

    Field* FieldByName(const QString& name) const;  // "Field '%s' not found"
    Field* FindField(const QString& name) const;    // nullptr when absent
    Field* fieldAt(int index) const;
    int FieldCount() const;
    const RowStore& store() const { return m_store; }

    std::function<void(DataSet&)> AfterOpen;

    // Fixed field list: names that must all be in the result, else Open fails with
    // "Field '%s' not found". Empty: whatever the result has.
    void setFieldList(std::vector<FieldDef> fields) { m_fieldList = std::move(fields); }

protected:
    // Fills the store from the connection (Query: SQL text; StoredProc: procedure call).
    virtual void fetchRows(RowStore& into) = 0;
    Database& requireDatabase() const;  // EDatabaseError when no such connection

private:
    friend class DataSource;
    friend class Field;
    enum NotifyKind { kUpdateState, kChanged, kScrolled };
    void notifyLinks(int kind, int distance = 0);
    void setState(DataSetState s);
    void checkActive() const;  // "Cannot perform this operation on a closed dataset"
    void checkBrowseMode();    // posts or drops a pending edit before the cursor moves
    void beginFieldWrite();    // "Dataset not in edit or insert mode"; marks the row modified
    void placeCursorAfterRemoval();
    void registerSource(DataSource* s);
    void unregisterSource(DataSource* s);

    QString m_databaseName;
    DataSetState m_state = DataSetState::Inactive;
    RowStore m_store;
    std::vector<std::unique_ptr<Field>> m_fields;
    std::vector<FieldDef> m_fieldList;
    std::vector<DataSource*> m_sources;
    std::vector<std::string> m_editSnapshot;
    int m_row = -1;
    bool m_bof = true;
    bool m_eof = true;
    int m_disableCount = 0;
    DataSetState m_disableState = DataSetState::Inactive;  // state when controls were disabled
    bool m_modified = false;
};

}  // namespace db
