// The find-by-shipment-number dialog: the user types a shipment number and the first row of
// the main window's result with that number becomes the current row.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TfrmLoc : public QDialog {
public:
    explicit TfrmLoc(QWidget* parent = nullptr);
    ~TfrmLoc() override;

    QLabel* Label1 = nullptr;
    QLineEdit* edtInvoiceNO = nullptr;
    QPushButton* btnLoc = nullptr;
    QPushButton* btnClose = nullptr;

    void btnLocClick();

protected:
    void showEvent(QShowEvent* event) override;
};
