// A band of a banded report: its kind, its height in millimetres and the elements on it,
// painted in the order they were added (so later elements lie over earlier ones).
#pragma once

#include "framework/report/element.h"
#include "framework/report/pageflow.h"

#include <QObject>
#include <vector>

namespace report {

class Report;

class Band : public QObject {
public:
    Band(Report* report, const QString& name, BandKind kind, double height);

    Report* report() const { return m_report; }
    BandKind kind() const { return m_kind; }
    double height() const { return m_height; }
    void setHeight(double mm) { m_height = mm; }
    const std::vector<Element*>& elements() const { return m_elements; }

    void render(const RenderContext& ctx) const;

private:
    friend class Element;
    void addElement(Element* e) { m_elements.push_back(e); }

    Report* m_report;
    BandKind m_kind;
    double m_height;
    std::vector<Element*> m_elements;  // owned as QObject children
};

}  // namespace report
