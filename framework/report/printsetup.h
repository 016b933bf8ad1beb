// The preview's print set-up: the pages are already laid out for their paper, so the dialog
// shows that paper, orientation and margins as they are and lets the user choose only what
// printing honours: the printer and the number of copies.
#pragma once

#include <QDialog>
#include <QMarginsF>
#include <QSizeF>
#include <optional>

class QComboBox;
class QPrinter;
class QSpinBox;

namespace report {

class PrintSetupDialog : public QDialog {
public:
    PrintSetupDialog(QPrinter& printer, QSizeF paperMm, std::optional<QMarginsF> marginsMm,
                     QWidget* parent = nullptr);

    // The texts shown for the layout, as the dialog shows them.
    static QString paperText(QSizeF paperMm);
    static QString orientationText(QSizeF paperMm);
    static QString marginsText(std::optional<QMarginsF> marginsMm);

    void accept() override;  // applies the choices to the printer

private:
    QPrinter& m_printer;
    QComboBox* m_printerBox = nullptr;
    QSpinBox* m_copies = nullptr;
};

}  // namespace report
