// Loading the plug-in with the system loader. The library stays mapped until the process
// ends: its windows and Qt's registries may still refer to its code after a close.
#include "host/pluginlibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <stdexcept>

namespace host {
namespace {

template <typename Fn>
Fn entry(void* handle, const char* name, const QString& path) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr)
        throw std::runtime_error(
            QStringLiteral("'%1' has no entry point %2").arg(path, QLatin1String(name)).toStdString());
    return reinterpret_cast<Fn>(symbol);
}

}  // namespace

PluginLibrary::PluginLibrary(const QString& path) : m_path(path) {
    m_handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (m_handle == nullptr)
        throw std::runtime_error(QStringLiteral("Cannot load the plug-in: %1")
                                     .arg(QString::fromLocal8Bit(dlerror()))
                                     .toStdString());
    m_main = entry<void (*)(const void*)>(m_handle, "dllmain", path);
    m_onScreen = entry<unsigned char (*)()>(m_handle, "dllonscreen", path);
    m_bringToFront = entry<void (*)()>(m_handle, "dllbringtofront", path);
}

PluginLibrary::~PluginLibrary() {
    if (m_handle != nullptr)
        dlclose(m_handle);
}

void PluginLibrary::open(const TDllParams& record) {
    if (m_onScreen() != 0)
        m_bringToFront();
    else
        m_main(&record);
}

QString PluginLibrary::defaultPath() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(QStringLiteral("libexportpnl.so"));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(
        programDir.filePath(QStringLiteral(EXPORTPNL_PLUGIN_FROM_BINDIR "/libexportpnl.so")));
}

}  // namespace host
