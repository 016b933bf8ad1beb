// The export profit-and-loss statement window: period selectors, query option, commands,
// the result grid over StoredProc1 and a three-panel status bar. Its creation reads the
// server date, fills the selectors and runs the statistics once; closing it ends the
// plug-in's use and frees both data modules.
#pragma once

#include "ui/globals.h"

#include <QWidget>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QStatusBar;

namespace db {
class DataSet;
class DataSource;
class StoredProc;
}  // namespace db
namespace grid {
class DBGrid;
}

class Tfrmmain : public QWidget {
public:
    explicit Tfrmmain(QWidget* parent = nullptr);
    ~Tfrmmain() override;

    // Top bar.
    QFrame* Panel1 = nullptr;  // the bar itself
    QFrame* Panel2 = nullptr;  // the raised period box
    QLabel* Label1 = nullptr;  // "从"
    QComboBox* cbxYear1 = nullptr;
    QComboBox* cbxMonth1 = nullptr;
    QLabel* Label2 = nullptr;  // "到"
    QComboBox* cbxyear2 = nullptr;
    QComboBox* cbxmonth2 = nullptr;
    QComboBox* cbxOption = nullptr;
    QPushButton* btnView = nullptr;
    QPushButton* btnQuery = nullptr;
    QPushButton* btnSetOption = nullptr;
    QPushButton* btnPrint = nullptr;
    QFrame* Panel3 = nullptr;  // frame of the row-select box
    QCheckBox* chkRowSelect = nullptr;
    QPushButton* BitBtn5 = nullptr;

    grid::DBGrid* DBGridEh1 = nullptr;
    // The grid's context menu also exports the statement (objectNames as here).
    QAction* actExportXlsx = nullptr;
    QAction* actExportCsv = nullptr;
    QStatusBar* SBar = nullptr;
    QLabel* SBarPanel[3] = {nullptr, nullptr, nullptr};

    // Non-visual members, all on the business connection "DB_Calvesteri".
    db::DataSource* DataSource1 = nullptr;
    db::StoredProc* sp_ImportYYCWData = nullptr;
    db::StoredProc* StoredProc1 = nullptr;

    // First and last year the financial-accounting system holds, from the last run.
    qint32 MinYear = 0;
    qint32 MaxYear = 0;

    // The statistics run: period check, import, statistics, status bar, print texts.
    void RunStatistics();
    // The whole statement of the last run to an .xlsx (excel) or .csv file, with a progress
    // dialog. The file dialog proposes 出口盈亏表_<period>; the dynamic properties
    // kExportPathProperty and kExportGbkProperty stand in for the dialog's answers.
    void ExportStatement(bool excel);
    static constexpr const char* kExportPathProperty = "exportPath";
    static constexpr const char* kExportGbkProperty = "exportGbk";
    // The middle status panel before the first run counts a result.
    static const QString kDesignCountText;

    // Handlers; each body runs inside the event boundary when a control fires it.
    void FormCreate();
    void FormClose();
    // Clears `key` (sets it to the null character) unless it is a digit or backspace.
    void cbxYear1KeyPress(QObject* sender, QChar& key);
    void btnViewClick();
    void btnQueryClick();
    void btnSetOptionClick();
    void btnPrintClick();
    void chkRowSelectClick();
    // Touches nothing of the window, so that benchmarks open results as the window does.
    static void StoredProc1AfterOpen(db::DataSet& dataSet);

    // The query option of the run whose result StoredProc1 holds (-1 before any opened);
    // the print run uses it so the profit column always belongs to the rows printed.
    qint32 resultQueryOption() const { return m_resultQueryOption; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTopBar();
    void buildGrid();
    void buildStatusBar();
    void buildDataSets();
    qint32 m_resultQueryOption = -1;
};
