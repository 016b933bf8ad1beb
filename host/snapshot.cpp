// The headless run. Everything modal that the plug-in may open on the way (its error box,
// the preview window's loop) blocks the caller, so a watcher timer keeps looking at the
// top-level windows: it answers message boxes (reporting them on stderr) and has the
// preview export its pages to PDF and close.
#include "host/snapshot.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <exception>

namespace host {
namespace {

void complain(const QString& text) { std::fprintf(stderr, "mis-host: %s\n", text.toUtf8().constData()); }

QWidget* topLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

class Watcher {
public:
    explicit Watcher(const QString& pdfPath) : m_pdfPath(pdfPath) {
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start();
    }
    int errors() const { return m_errors; }
    bool previewSeen() const { return m_previewSeen; }

private:
    void look() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible())
                continue;
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                complain(QStringLiteral("%1: %2").arg(box->windowTitle(), box->text()));
                if (box->icon() == QMessageBox::Critical || box->icon() == QMessageBox::Warning)
                    ++m_errors;
                box->done(QMessageBox::Ok);
            } else if (w->objectName() == QLatin1String("frmPreview") && !m_handled.contains(w)) {
                m_handled.insert(w);
                m_previewSeen = true;
                exportAndClose(w);
            }
        }
    }

    void exportAndClose(QWidget* preview) {
        QPointer<QWidget> guard(preview);
        preview->setProperty("exportPdfPath", m_pdfPath);
        if (auto* exportPdf = preview->findChild<QAction*>(QStringLiteral("actExportPdf")))
            exportPdf->trigger();
        else
            complain(QStringLiteral("the preview window offers no actExportPdf"));
        if (guard.isNull())
            return;
        if (auto* close = preview->findChild<QAction*>(QStringLiteral("actClose")))
            close->trigger();
        else
            preview->close();
    }

    QString m_pdfPath;
    QTimer m_timer;
    QSet<QWidget*> m_handled;
    int m_errors = 0;
    bool m_previewSeen = false;
};

}  // namespace

int runSnapshot(PluginLibrary& library, const TDllParams& record, const QString& outDir) {
    const QDir dir(outDir);
    if (!QDir().mkpath(dir.absolutePath())) {
        complain(QStringLiteral("cannot create %1").arg(outDir));
        return 1;
    }
    const QString pngPath = dir.absoluteFilePath(QStringLiteral("window.png"));
    const QString pdfPath = dir.absoluteFilePath(QStringLiteral("report.pdf"));
    QFile::remove(pngPath);  // a file left from an earlier run must not pass for this one
    QFile::remove(pdfPath);

    Watcher watcher(pdfPath);
    try {
        library.open(record);
    } catch (const std::exception& e) {
        complain(QString::fromUtf8(e.what()));
        return 1;
    }

    QWidget* window = topLevel(QStringLiteral("frmmain"));
    if (window == nullptr) {
        complain(QStringLiteral("the statement window did not open"));
        return 1;
    }
    window->showNormal();
    window->setGeometry(0, 0, 1280, 800);
    settle();
    if (!window->grab().save(pngPath, "PNG")) {
        complain(QStringLiteral("cannot write %1").arg(pngPath));
        return 1;
    }

    auto* print = window->findChild<QAbstractButton*>(QStringLiteral("btnPrint"));
    if (print == nullptr) {
        complain(QStringLiteral("the statement window has no btnPrint"));
        return 1;
    }
    print->click();  // returns once the preview has closed
    settle();
    int code = 0;
    if (!watcher.previewSeen() || QFileInfo(pdfPath).size() <= 0) {
        complain(QStringLiteral("no report was written to %1").arg(pdfPath));
        code = 1;
    }

    if (QWidget* still = topLevel(QStringLiteral("frmmain")))
        still->close();
    settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (library.onScreen()) {
        complain(QStringLiteral("the statement window is still up after closing"));
        code = 1;
    }
    if (watcher.errors() > 0)
        code = 1;
    return code;
}

}  // namespace host
