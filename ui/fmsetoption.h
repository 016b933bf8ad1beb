// The view-object options dialog: the user picks the whole company, one business department
// or one salesperson/group (kernel list before 2004, financial list from 2004); a choice the
// rights check grants is stored in DllParams. Created per use, shown with exec(), freed on close.
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QToolButton;
class TDBViewCombo;

class TfmSetOption : public QDialog {
    Q_OBJECT
public:
    explicit TfmSetOption(QWidget* parent = nullptr);
    ~TfmSetOption() override;

    // Financial year of the salesperson list and the department mapping (the main window's
    // MaxYear), set before the dialog is shown.
    int CurYear = 0;

    // Runs the opening steps (FormShow) unless done already. exec() calls it first, so a
    // start year that is no number, or a list that cannot be opened, fails out of exec()
    // before anything is shown.
    void Prepare();
    int exec() override;

    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* cmDataset = nullptr;
    QLabel* lbOffice = nullptr;
    TDBViewCombo* dbvwOffice = nullptr;
    QLabel* lbSalers = nullptr;
    TDBViewCombo* dbvwSalers = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cbType = nullptr;
    QComboBox* cbxGroupCode = nullptr;  // financial codes parallel to dbvwSalers' items; hidden
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;

    // Handlers; the controls run them inside the event boundary.
    void FormCreate();
    void FormShow();
    void cmDatasetChange();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void prLocateDept();
    void prLocateSaler();

public slots:
    // The close box ends the dialog with Cancel's result.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    bool salersFromKernel() const;
    bool m_prepared = false;
};

// The dialog while it exists; cleared when it is freed.
extern TfmSetOption* fmSetOption;
