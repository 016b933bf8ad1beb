#include "framework/report/printsetup.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSpinBox>
#include <QVBoxLayout>

namespace report {

namespace {

QString mm(double value) {
    return QStringLiteral("%1 毫米").arg(QString::number(value, 'g', 4));
}

QLabel* fixedText(const QString& objectName, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

QString PrintSetupDialog::paperText(QSizeF paperMm) {
    const QSizeF portrait = paperMm.width() > paperMm.height() ? paperMm.transposed() : paperMm;
    const QPageSize size(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
    const QString dims = QStringLiteral("%1 × %2 毫米")
                             .arg(QString::number(paperMm.width(), 'g', 4),
                                  QString::number(paperMm.height(), 'g', 4));
    if (size.id() == QPageSize::Custom)
        return dims;
    return QStringLiteral("%1（%2）").arg(QPageSize::name(size.id()), dims);
}

QString PrintSetupDialog::orientationText(QSizeF paperMm) {
    return paperMm.width() > paperMm.height() ? QStringLiteral("横向") : QStringLiteral("纵向");
}

QString PrintSetupDialog::marginsText(std::optional<QMarginsF> marginsMm) {
    if (!marginsMm)
        return QStringLiteral("未记录");
    return QStringLiteral("上 %1，下 %2，左 %3，右 %4")
        .arg(mm(marginsMm->top()), mm(marginsMm->bottom()), mm(marginsMm->left()),
             mm(marginsMm->right()));
}

PrintSetupDialog::PrintSetupDialog(QPrinter& printer, QSizeF paperMm,
                                   std::optional<QMarginsF> marginsMm, QWidget* parent)
    : QDialog(parent), m_printer(printer) {
    setObjectName(QStringLiteral("dlgPrintSetup"));
    setWindowTitle(QStringLiteral("打印设置"));

    auto* page = new QGroupBox(QStringLiteral("页面（由报表版式决定）"), this);
    auto* pageForm = new QFormLayout(page);
    pageForm->addRow(QStringLiteral("纸张："),
                     fixedText(QStringLiteral("lblPaper"), paperText(paperMm), page));
    pageForm->addRow(QStringLiteral("方向："),
                     fixedText(QStringLiteral("lblOrientation"), orientationText(paperMm), page));
    pageForm->addRow(QStringLiteral("页边距："),
                     fixedText(QStringLiteral("lblMargins"), marginsText(marginsMm), page));

    auto* output = new QGroupBox(QStringLiteral("打印"), this);
    auto* outputForm = new QFormLayout(output);
    m_printerBox = new QComboBox(output);
    m_printerBox->setObjectName(QStringLiteral("cboPrinter"));
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (names.isEmpty()) {
        m_printerBox->addItem(QStringLiteral("（没有可用的打印机）"));
        m_printerBox->setEnabled(false);
    } else {
        m_printerBox->addItems(names);
        QString current = printer.printerName();
        if (current.isEmpty() || !names.contains(current))
            current = QPrinterInfo::defaultPrinterName();
        m_printerBox->setCurrentIndex(std::max(0, static_cast<int>(names.indexOf(current))));
    }
    outputForm->addRow(QStringLiteral("打印机："), m_printerBox);
    m_copies = new QSpinBox(output);
    m_copies->setObjectName(QStringLiteral("spinCopies"));
    m_copies->setRange(1, 999);
    m_copies->setValue(std::max(1, printer.copyCount()));
    outputForm->addRow(QStringLiteral("份数："), m_copies);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(page);
    layout->addWidget(output);
    layout->addWidget(buttons);
}

void PrintSetupDialog::accept() {
    if (m_printerBox->isEnabled())
        m_printer.setPrinterName(m_printerBox->currentText());
    m_printer.setCopyCount(m_copies->value());
    QDialog::accept();
}

}  // namespace report
