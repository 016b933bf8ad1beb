// The library's application object: title, owner of the library's windows and data
// modules, and the QApplication it runs on (the host's when there is one).
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QApplication;
class QTranslator;
class QWidget;

namespace ui {

class Application : public QObject {
public:
    // The one instance; created on first use. Ensures a QApplication exists (creates one
    // only if the process has none).
    static Application& instance();

    QString Title() const { return m_title; }
    void SetTitle(const QString& title) { m_title = title; }

    // Top-level windows cannot have a QObject parent: the application keeps them and
    // destroys whatever still exists when it is destroyed. Data modules simply use the
    // application object as their QObject parent.
    void adoptWindow(QWidget* window);

    // Destroys every window and data module it owns (library unload, test teardown).
    void destroyAll();

    // True when no QApplication existed on first use and this object created its own.
    bool ownsApplication() const { return m_ownApp != nullptr; }
    // True when Qt's own texts (standard buttons, file and print dialogs) were given their
    // Simplified Chinese translation by this object: only when the host had not translated
    // them itself.
    bool installedQtTranslation() const { return m_qtTranslation != nullptr; }

private:
    Application();
    ~Application() override;
    QString m_title;
    std::unique_ptr<QApplication> m_ownApp;
    std::unique_ptr<QTranslator> m_qtTranslation;  // not a child: destroyAll() keeps it
};

}  // namespace ui
