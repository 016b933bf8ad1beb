// A banded report over a dataset: page set-up in millimetres, bands and their elements,
// Prepare (lay every page out into device-independent recordings) and Preview (lay out
// again and show the preview window until the user closes it).
#pragma once

#include "framework/report/band.h"
#include "framework/report/prepared.h"

#include <QFont>
#include <QMarginsF>
#include <QObject>
#include <QSizeF>
#include <functional>
#include <vector>

namespace db {
class DataSet;
}

namespace report {

class Preview;

enum class Orientation { Portrait, Landscape };

struct PageSetup {
    QSizeF paper{210, 297};  // mm, portrait
    Orientation orientation = Orientation::Portrait;
    QMarginsF margins{10, 10, 10, 10};  // left, top, right, bottom in mm

    QSizeF printedSize() const {
        return orientation == Orientation::Landscape ? paper.transposed() : paper;
    }
    double printableWidth() const {
        return printedSize().width() - margins.left() - margins.right();
    }
    double bodyHeight() const { return printedSize().height() - margins.top() - margins.bottom(); }
};

struct ReportOptions {
    bool firstPageHeader = true;
    bool lastPageFooter = true;
    bool printIfEmpty = true;
};

class Report : public QObject {
public:
    explicit Report(QObject* parent = nullptr, const QString& name = QString());
    ~Report() override;

    db::DataSet* DataSet() const { return m_dataSet; }
    void SetDataSet(db::DataSet* ds) { m_dataSet = ds; }

    PageSetup& page() { return m_page; }
    const PageSetup& page() const { return m_page; }
    ReportOptions& options() { return m_options; }
    QFont& font() { return m_font; }  // the report's default font

    const std::vector<Band*>& bands() const { return m_bands; }
    Band* band(BandKind kind) const;  // the first band of that kind, or nullptr

    // Walks the dataset from its first row to Eof (it is left on its last row) and lays out
    // every page. Disables nothing: callers that want bound controls quiet do that. Throws
    // the dataset's error when it is closed.
    void Prepare();
    // The print run's second layout: the pages of the last Prepare drawn again with the
    // elements' fixed texts as they are now (a page count set into the footer). Only fixed
    // texts and rules may have changed; the rows' values are those of the last Prepare.
    // Without one it prepares.
    void Relayout();
    int PageCount() const { return m_prepared.pageCount(); }
    const PreparedReport& prepared() const { return m_prepared; }

    // Prepares again and shows the preview window, returning when the user closes it. The
    // hook, when set, runs once the window is up (headless use exports and closes it there).
    void Preview(const std::function<void(report::Preview&)>& onShown = {});
    // Shows the pages of the last Prepare in the preview window without laying them out
    // again, returning when the user closes it. The window holds its own copy of the pages
    // and does not read the dataset: callers may let bound controls follow it meanwhile.
    void ShowPreview(const std::function<void(report::Preview&)>& onShown = {});

private:
    friend class Band;
    void addBand(Band* b) { m_bands.push_back(b); }
    void emitBands(const std::vector<Placement>& placements, bool rowBand);
    BandDrawing drawingOf(const Band& band) const;

    struct BandRecord {
        Band* band = nullptr;
        int drawing = -1;                    // in the prepared report
        std::vector<TextElement*> changing;  // its elements that are not static, in order
    };
    const BandRecord* recordOf(BandKind kind) const;

    db::DataSet* m_dataSet = nullptr;
    PageSetup m_page;
    ReportOptions m_options;
    QFont m_font;
    std::vector<Band*> m_bands;
    PreparedReport m_prepared;
    std::vector<BandRecord> m_records;  // of the last Prepare, in band order
};

}  // namespace report
