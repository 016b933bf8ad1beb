// The library's application object. It is created on first use, keeps the library's
// top-level windows (which cannot have a QObject parent) and parents the data modules,
// and destroys whatever of them remains when the library goes away.
#include "framework/ui/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <QWidget>
#include <vector>

namespace ui {
namespace {

Application* g_instance = nullptr;
std::vector<QPointer<QWidget>> g_windows;

// A QApplication keeps references to argc/argv for its whole life.
int g_argc = 1;
char g_argv0[] = "exportpnl";
char* g_argv[] = {g_argv0, nullptr};

// Destroys the application object when the library is unloaded while the host's
// QApplication goes on. When the QApplication is our own, this runs at process exit, where
// Qt's lazily built globals may already be gone and destroying windows or the QApplication
// crashes: then everything is left to the ending process.
struct InstanceReaper {
    ~InstanceReaper() {
        if (g_instance != nullptr && !g_instance->ownsApplication() &&
            QCoreApplication::instance() != nullptr)
            delete static_cast<QObject*>(g_instance);
    }
} g_reaper;

}  // namespace

Application& Application::instance() {
    if (g_instance == nullptr)
        g_instance = new Application();
    return *g_instance;
}

Application::Application() {
    if (QCoreApplication::instance() == nullptr)
        m_ownApp = std::make_unique<QApplication>(g_argc, g_argv);
    setObjectName(QStringLiteral("Application"));
    // Standard buttons and dialogs speak the program's language. A host that translated
    // Qt already keeps its own translation.
    if (QCoreApplication::translate("QPlatformTheme", "OK") == QLatin1String("OK")) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                             QStringLiteral("_"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
            QCoreApplication::installTranslator(translator.get()))
            m_qtTranslation = std::move(translator);
    }
    // The host's application may end before the library is unloaded: the library's windows
    // and data modules must go while the window system is still there.
    if (!m_ownApp)
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                [this] { destroyAll(); });
}

Application::~Application() {
    destroyAll();
    if (m_qtTranslation && QCoreApplication::instance())
        QCoreApplication::removeTranslator(m_qtTranslation.get());
    if (g_instance == this)
        g_instance = nullptr;
}

void Application::adoptWindow(QWidget* window) {
    if (window == nullptr)
        return;
    for (const QPointer<QWidget>& w : g_windows)
        if (w == window)
            return;
    std::erase_if(g_windows, [](const QPointer<QWidget>& w) { return w.isNull(); });
    g_windows.emplace_back(window);
}

void Application::destroyAll() {
    // Windows first: their close handlers may still reach the data modules.
    std::vector<QPointer<QWidget>> windows;
    windows.swap(g_windows);
    for (const QPointer<QWidget>& w : windows) delete w.data();
    const QObjectList owned = children();
    for (QObject* child : owned) delete child;
}

}  // namespace ui
