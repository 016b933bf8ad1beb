// The runtime folder and the message filter behind host::QtEnvironment.
#include "host/qtenvironment.h"

#include <QFile>
#include <QString>
#include <QtGlobal>

namespace host {
namespace {

QtMessageHandler previousHandler = nullptr;

void dropKnownNoise(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg &&
        text == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    previousHandler(type, context, text);
}

}  // namespace

QtEnvironment::QtEnvironment() {
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // QTemporaryDir creates the folder with mode 0700, which Qt insists on.
        m_runtimeDir = std::make_unique<QTemporaryDir>();
        if (m_runtimeDir->isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtimeDir->path()));
    }
    previousHandler = qInstallMessageHandler(dropKnownNoise);
}

QtEnvironment::~QtEnvironment() {
    qInstallMessageHandler(previousHandler);
    if (m_runtimeDir)
        qunsetenv("XDG_RUNTIME_DIR");
}

}  // namespace host
