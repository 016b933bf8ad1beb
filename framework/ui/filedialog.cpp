// Qt's own file dialog, not the desktop's: only in it can the typed name be given its
// suffix before the dialog's own check for an existing file, and it speaks Chinese through
// Qt's translations on every desktop.
#include "framework/ui/filedialog.h"

#include "framework/text/text.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>

namespace ui {

namespace {

struct Remembered {
    QString folder;
    QString filter;
};

QHash<QString, Remembered>& memory() {
    static QHash<QString, Remembered> kinds;  // for the process only
    return kinds;
}

class SuffixFileDialog : public QFileDialog {
public:
    SuffixFileDialog(QWidget* parent, const FileDialogSpec& request)
        : QFileDialog(parent, request.caption), m_suffix(request.suffix) {
        setObjectName(QStringLiteral("dlgFile"));
        setOption(QFileDialog::DontUseNativeDialog);
        setNameFilters(request.filters);
        const QString filter = memory().value(request.kind).filter;
        if (!filter.isEmpty() && request.filters.contains(filter))
            selectNameFilter(filter);
        setDirectory(fileDialogFolder(request.kind));
    }

    void accept() override {
        // Qt reads the name box again when it accepts: what stands there is what it checks.
        // A folder typed (to go into it) is left to Qt, and so are several quoted names.
        auto* box = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = box ? box->text() : QString();
        if (!typed.isEmpty() && !typed.contains(QLatin1Char('"')) &&
            !typed.endsWith(QLatin1Char('/')) && !QFileInfo(onDisk(typed)).isDir()) {
            const QString named = text::withSuffix(typed, m_suffix);
            const bool save = acceptMode() == AcceptSave;
            if (named != typed &&
                (save || (!QFileInfo::exists(onDisk(typed)) && QFileInfo::exists(onDisk(named)))))
                box->setText(named);
        }
        QFileDialog::accept();
    }

private:
    // Where a typed name is, as the dialog finds it: in the folder shown, or from home for
    // "~/...".
    QString onDisk(const QString& typed) const {
        const QString here = directory().absoluteFilePath(typed);
        if (QFileInfo::exists(here) ||
            !(typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/"))))
            return here;
        return QDir::homePath() + typed.mid(1);
    }

    QString m_suffix;
};

FileChoice run(SuffixFileDialog& dialog, const QString& kind) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    FileChoice choice{dialog.selectedFiles().first(), dialog.selectedNameFilter()};
    memory()[kind] = {QFileInfo(choice.path).absolutePath(), choice.filter};
    return choice;
}

}  // namespace

QString fileDialogFolder(const QString& kind) {
    const QString folder = memory().value(kind).folder;
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

FileChoice askSaveFile(QWidget* parent, const FileDialogSpec& request) {
    SuffixFileDialog dialog(parent, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.proposedName.isEmpty())
        dialog.selectFile(request.proposedName);
    return run(dialog, request.kind);
}

FileChoice askOpenFile(QWidget* parent, const FileDialogSpec& request) {
    SuffixFileDialog dialog(parent, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run(dialog, request.kind);
}

}  // namespace ui
