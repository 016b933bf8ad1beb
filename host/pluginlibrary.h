// The plug-in as the host sees it: a shared library loaded at run time with its three entry
// points, opened in the host's calling order (dllonscreen, then dllmain or dllbringtofront).
#pragma once

#include "plugin/dllparams.h"

#include <QString>

namespace host {

class PluginLibrary {
public:
    // Loads `path`; std::runtime_error with the loader's text when it cannot be loaded or
    // lacks an entry point.
    explicit PluginLibrary(const QString& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Opens the statement window, or raises it when it is already up. Start-up errors and
    // focus failures propagate as the plug-in raised them.
    void open(const TDllParams& record);

    bool onScreen() const { return m_onScreen() != 0; }
    const QString& path() const { return m_path; }

    // Next to the running program (the build tree), else the installed plug-in folder.
    static QString defaultPath();

private:
    QString m_path;
    void* m_handle = nullptr;
    void (*m_main)(const void*) = nullptr;
    unsigned char (*m_onScreen)() = nullptr;
    void (*m_bringToFront)() = nullptr;
};

}  // namespace host
