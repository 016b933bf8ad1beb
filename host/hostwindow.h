// The small window of mis-host: one command, "出口盈亏表", that opens the statement the way
// the real host does, and shows whatever error the plug-in reports.
#pragma once

#include "host/pluginlibrary.h"

#include <QWidget>

namespace host {

class HostWindow : public QWidget {
public:
    HostWindow(PluginLibrary& library, const QString& paramsPath, QWidget* parent = nullptr);

    // Reads the parameter file afresh (the host builds a new record for each call) and opens
    // or raises the statement; errors go to a message box.
    void openStatement();

private:
    PluginLibrary& m_library;
    QString m_paramsPath;
};

}  // namespace host
