// Data sources and links. A link is active while its source has an open dataset; it hears
// dataset-changed and scrolled only while active, and activity and editing changes as they
// happen (the dataset holds them back while its controls are disabled).
#include "framework/db/datalink.h"

#include "framework/db/dataset.h"

namespace db {

DataSource::DataSource(QObject* parent) : QObject(parent) {}

DataSource::~DataSource() {
    setDataSet(nullptr);
    const std::vector<DataLink*> links = m_links;
    m_links.clear();
    for (DataLink* l : links) l->m_source = nullptr;
}

void DataSource::setDataSet(DataSet* ds) {
    if (ds == m_dataSet)
        return;
    if (m_dataSet != nullptr)
        m_dataSet->unregisterSource(this);
    m_dataSet = ds;
    if (m_dataSet != nullptr)
        m_dataSet->registerSource(this);
    const std::vector<DataLink*> links = m_links;
    for (DataLink* l : links) l->updateState();
}

DataLink::DataLink() = default;

DataLink::~DataLink() {
    if (m_source != nullptr)
        std::erase(m_source->m_links, this);
}

void DataLink::setDataSource(DataSource* src) {
    if (src == m_source)
        return;
    if (m_source != nullptr)
        std::erase(m_source->m_links, this);
    m_source = src;
    if (m_source != nullptr)
        m_source->m_links.push_back(this);
    updateState();
}

DataSet* DataLink::dataSet() const {
    return m_source != nullptr ? m_source->m_dataSet : nullptr;
}

void DataLink::updateState() {
    const DataSet* ds = dataSet();
    const bool active = ds != nullptr && ds->Active();
    if (active != m_active) {
        m_active = active;
        ActiveChanged();
    }
    const bool editing =
        active && (ds->State() == DataSetState::Edit || ds->State() == DataSetState::Insert ||
                   ds->State() == DataSetState::SetKey);
    if (editing != m_editing) {
        m_editing = editing;
        EditingChanged();
    }
}

void DataLink::notifyChanged() {
    if (m_active)
        DataSetChanged();
}

void DataLink::notifyScrolled(int distance) {
    if (m_active)
        DataSetScrolled(distance);
}

}  // namespace db
