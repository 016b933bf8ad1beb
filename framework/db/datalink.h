// Data sources and data links: how bound controls (grid, value combo, report) hear a
// dataset. A link hears activity changes, dataset changed, scrolled by a signed distance,
// and editing started/ended. While the dataset's controls are disabled, links hear nothing;
// the last EnableControls sends one dataset-changed.
#pragma once

#include <QObject>
#include <vector>

namespace db {

class DataSet;
class DataLink;

class DataSource : public QObject {
    Q_OBJECT

public:
    explicit DataSource(QObject* parent = nullptr);
    ~DataSource() override;

    DataSet* dataSet() const { return m_dataSet; }
    void setDataSet(DataSet* ds);  // links hear activeChanged when the activity changes

    const std::vector<DataLink*>& links() const { return m_links; }

private:
    friend class DataLink;
    friend class DataSet;
    DataSet* m_dataSet = nullptr;
    std::vector<DataLink*> m_links;
};

using TDataSource = DataSource;

class DataLink {
public:
    DataLink();
    virtual ~DataLink();

    DataSource* dataSource() const { return m_source; }
    // Attaching to or detaching from an open dataset: activeChanged.
    void setDataSource(DataSource* src);
    DataSet* dataSet() const;
    bool Active() const { return m_active; }
    bool Editing() const { return m_editing; }

protected:
    virtual void ActiveChanged() {}
    virtual void DataSetChanged() {}
    virtual void DataSetScrolled(int distance) { (void)distance; }
    virtual void EditingChanged() {}

private:
    friend class DataSet;
    friend class DataSource;
    void updateState();  // recomputes active/editing and sends the right notifications
    void notifyChanged();
    void notifyScrolled(int distance);
    DataSource* m_source = nullptr;
    bool m_active = false;
    bool m_editing = false;
};

using TDataLink = DataLink;

}  // namespace db
