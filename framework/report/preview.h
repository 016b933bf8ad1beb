// The preview window of a prepared report (object name "frmPreview"): page moves, zoom,
// printer set-up, printing with the print dialog, saving and loading a prepared report,
// PDF export and closing. It is not modal; exec() waits for it in a local event loop.
#pragma once

#include "framework/report/prepared.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QPrinter;
class QScrollArea;
class QSpinBox;

namespace report {

class PageView;

class Preview : public QMainWindow {
public:
    // The window keeps its own pages: printing prints what it shows.
    explicit Preview(PreparedReport pages, QWidget* parent = nullptr);
    ~Preview() override;

    // Shows the window maximised at page width and returns once it has been closed; other
    // windows keep working meanwhile. onShown runs once the window is up.
    void exec(const std::function<void(Preview&)>& onShown = {});
    bool isClosed() const { return m_closed; }

    const PreparedReport& prepared() const { return m_pages; }
    int pageCount() const { return m_pages.pageCount(); }
    int currentPage() const;  // 0-based
    void setPage(int index);  // clamped to the pages there are

    enum class Zoom { WholePage, Actual, PageWidth, Custom };
    void setZoom(Zoom mode);
    Zoom zoom() const { return m_zoom; }
    double pixelsPerMm() const;
    // Ctrl+wheel: the current scale times `factor`, kept within 0.5 to 20 pixels per mm; the
    // point of the page under `anchor` (viewport coordinates) stays where it is.
    void zoomBy(double factor, QPoint anchor = {});
    QString pageIndicatorText() const;

    // Prints the pages as the printer is set up (a file, a CUPS queue: its page range, copies
    // and collation) under a progress box, and says in the status bar where they went.
    // Throws when printing fails; a cancelled print leaves nothing and says so.
    void print(QPrinter& printer);
    // The print job's name in the queue (and the printed PDF's title).
    void setDocumentName(const QString& name) { m_documentName = name; }
    const QString& documentName() const { return m_documentName; }
    QString printStatus() const;  // the status bar's word on the last print
    // Both under the progress box of long jobs; cancelled, they leave no file.
    void exportPdf(const QString& path);  // A4 as prepared, fonts embedded
    void saveToFile(const QString& path);
    void loadFromFile(const QString& path);  // shows the loaded pages; printing prints them

    // The name, without suffix, that saving and the PDF export propose ("出口盈亏表_…").
    void setFileBaseName(const QString& name) { m_fileBaseName = name; }
    const QString& fileBaseName() const { return m_fileBaseName; }

    // Set this dynamic property to a path and actExportPdf writes there without a dialog.
    static constexpr const char* kExportPathProperty = "exportPdfPath";

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* makeAction(const QString& name, const QString& text, const QKeySequence& key,
                        const std::function<void()>& handler);
    void applyZoom();
    void showPages();
    void onPrint();
    void onPrintSetup();
    void onSave();
    void onLoad();
    void onExportPdf();
    QString proposedName(const QString& suffix) const;

    PreparedReport m_pages;
    QString m_fileBaseName;
    Zoom m_zoom = Zoom::PageWidth;
    double m_customPpm = 0;
    bool m_closed = false;
    std::function<void()> m_onClosed;
    PageView* m_view = nullptr;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_indicator = nullptr;
    QLabel* m_printStatus = nullptr;
    QString m_documentName = QStringLiteral("出口盈亏表");
    QSpinBox* m_pageBox = nullptr;  // the page to go to, typed
    std::unique_ptr<QPrinter> m_printer;
};

}  // namespace report
