// The library's file dialogs for saving and opening its files. The name the dialog checks
// (for an existing file to replace, or for a file to open) is the name finally used, with
// its format's suffix; each kind of file remembers, for the life of the process only, the
// folder last used and the filter last chosen. The library keeps no settings of its own.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace ui {

struct FileDialogSpec {
    QString kind;  // what the folder and filter are remembered under ("csv", "pdf")
    QString caption;
    QStringList filters;   // "Excel 工作簿 (*.xlsx)"; the first is chosen until one was
    QString suffix;        // the format's suffix, without the dot
    QString proposedName;  // a save: the name the name box starts with
};

struct FileChoice {
    QString path;    // empty: the dialog was cancelled
    QString filter;  // the filter chosen
};

// A save: a name typed without the format's suffix gets it before the dialog checks whether
// the file exists, so the question "replace it?" is asked about the file that is written.
FileChoice askSaveFile(QWidget* parent, const FileDialogSpec& request);
// An open: a typed name that names no file is tried with the format's suffix.
FileChoice askOpenFile(QWidget* parent, const FileDialogSpec& request);

// The folder a dialog of `kind` opens in: the last one used, while it exists, else home.
QString fileDialogFolder(const QString& kind);

}  // namespace ui
