// The runtime folder, its removal on every way out, the display check and the message
// filter behind host::QtEnvironment.
#include "host/qtenvironment.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QtGlobal>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

QtMessageHandler previousHandler = nullptr;

// A fixed buffer, so that the signal handler reads it without allocating.
char runtimePath[4096] = {};

void removeRuntimeFolder() {
    if (runtimePath[0] == '\0')
        return;
    QDir(QFile::decodeName(runtimePath)).removeRecursively();
    runtimePath[0] = '\0';
}

void removeOnSignal(int sig) {
    // Only what is safe in a signal handler: the folder is empty unless the platform put a
    // socket there, and then rmdir leaves it, as little as can be done.
    if (runtimePath[0] != '\0')
        rmdir(runtimePath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void filterMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg &&
        text == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    previousHandler(type, context, text);
    if (type != QtFatalMsg)
        return;
    // Qt aborts after a fatal message, past every destructor.
    removeRuntimeFolder();
    if (text.contains(QLatin1String("platform plugin"))) {
        // A display that is named but cannot be reached: a failed start, not a crash.
        std::fputs("mis-host: without a display, run mis-host --snapshot DIR PARAMS.ini\n", stderr);
        std::_Exit(1);
    }
}

}  // namespace

QtEnvironment::QtEnvironment() {
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/mis-host-runtime-XXXXXX";
        if (static_cast<std::size_t>(pattern.size()) < sizeof runtimePath) {
            std::memcpy(runtimePath, pattern.constData(), pattern.size() + 1);
            // mkdtemp makes the folder with mode 0700, which Qt insists on.
            if (mkdtemp(runtimePath) != nullptr) {
                qputenv("XDG_RUNTIME_DIR", runtimePath);
                std::atexit(removeRuntimeFolder);
                for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, removeOnSignal);
            } else {
                runtimePath[0] = '\0';
            }
        }
    }
    previousHandler = qInstallMessageHandler(filterMessage);
}

QtEnvironment::~QtEnvironment() {
    qInstallMessageHandler(previousHandler);
    if (runtimePath[0] != '\0') {
        removeRuntimeFolder();
        qunsetenv("XDG_RUNTIME_DIR");
    }
}

bool QtEnvironment::displayMissing() {
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool needsDisplay = platform.isEmpty() || platform.startsWith(QLatin1String("xcb")) ||
                              platform.startsWith(QLatin1String("wayland"));
    return needsDisplay && qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace host
