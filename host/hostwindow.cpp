// The host window: a caption, the parameter file in use and the one command.
#include "host/hostwindow.h"

#include "host/hostparams.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

namespace host {

HostWindow::HostWindow(PluginLibrary& library, const QString& paramsPath, QWidget* parent)
    : QWidget(parent), m_library(library), m_paramsPath(paramsPath) {
    setObjectName(QStringLiteral("misHost"));
    setWindowTitle(QStringLiteral("mis-host"));
    auto* layout = new QVBoxLayout(this);
    auto* info = new QLabel(QStringLiteral("%1\n%2").arg(paramsPath, library.path()), this);
    info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(info);
    auto* command = new QPushButton(QStringLiteral("出口盈亏表"), this);
    command->setObjectName(QStringLiteral("btnExportPnl"));
    command->setMinimumHeight(36);
    layout->addWidget(command);
    connect(command, &QPushButton::clicked, this, [this] { openStatement(); });
}

void HostWindow::openStatement() {
    try {
        m_library.open(readParamsFile(m_paramsPath));
    } catch (const std::exception& e) {
        // Without a parent the box opens centred on the screen, where the statement window
        // would have been, not over this small window in a corner.
        QMessageBox box(QMessageBox::Critical, windowTitle(), QString::fromUtf8(e.what()),
                        QMessageBox::Ok);
        box.exec();
    }
}

}  // namespace host
