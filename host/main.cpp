// mis-host: a small host program that loads the plug-in the way the real host does.
//   mis-host [--plugin PATH] [--open] PARAMS.ini        window with the command "出口盈亏表"
//   mis-host [--plugin PATH] --snapshot DIR PARAMS.ini  headless: window.png and report.pdf
//   mis-host --write-demo-params FILE SERVERDIR          parameter file of the demo server
#include "host/hostparams.h"
#include "host/hostwindow.h"
#include "host/pluginlibrary.h"
#include "host/qtenvironment.h"
#include "host/snapshot.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

namespace {

struct Options {
    std::string plugin;
    std::string snapshotDir;
    std::string params;
    bool open = false;
    bool writeDemo = false;
    std::string demoFile;
    std::string demoServer;
};

int usage() {
    std::fputs(
        "usage: mis-host [--plugin PATH] [--open | --snapshot DIR] PARAMS.ini\n"
        "       mis-host --write-demo-params FILE SERVERDIR\n",
        stderr);
    return 2;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasNext = i + 1 < argc;
        if (a == "--plugin" && hasNext)
            o.plugin = argv[++i];
        else if (a == "--snapshot" && hasNext)
            o.snapshotDir = argv[++i];
        else if (a == "--open")
            o.open = true;
        else if (a == "--write-demo-params" && i + 2 < argc) {
            o.writeDemo = true;
            o.demoFile = argv[++i];
            o.demoServer = argv[++i];
        } else if (!a.empty() && a[0] != '-' && o.params.empty())
            o.params = a;
        else
            return false;
    }
    return o.writeDemo || !o.params.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o))
        return usage();

    if (o.writeDemo) {
        try {
            host::writeDemoParams(QString::fromLocal8Bit(o.demoFile.c_str()),
                                  QString::fromLocal8Bit(o.demoServer.c_str()));
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "mis-host: %s\n", e.what());
            return 1;
        }
    }

    // The snapshot needs no display; the window does, and Qt would abort without one.
    if (!o.snapshotDir.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (o.snapshotDir.empty() && host::QtEnvironment::displayMissing()) {
        std::fputs(
            "mis-host: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not "
            "set).\nWithout a display, mis-host --snapshot DIR PARAMS.ini writes the window "
            "to DIR/window.png and the report to DIR/report.pdf.\n",
            stderr);
        return 1;
    }
    const host::QtEnvironment environment;
    QApplication app(argc, argv);

    std::unique_ptr<host::PluginLibrary> library;
    try {
        library = std::make_unique<host::PluginLibrary>(
            o.plugin.empty() ? host::PluginLibrary::defaultPath()
                             : QString::fromLocal8Bit(o.plugin.c_str()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mis-host: %s\n", e.what());
        return 1;
    }
    const QString paramsPath = QString::fromLocal8Bit(o.params.c_str());

    if (!o.snapshotDir.empty()) {
        TDllParams record{};
        try {
            record = host::readParamsFile(paramsPath);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "mis-host: %s\n", e.what());
            return 1;
        }
        // Inside the event loop, so the plug-in's windows see a running application and
        // its quit notification when the run ends.
        int code = 1;
        QTimer::singleShot(0, &app, [&] {
            code =
                host::runSnapshot(*library, record, QString::fromLocal8Bit(o.snapshotDir.c_str()));
            QCoreApplication::exit(code);
        });
        app.exec();
        return code;
    }

    host::HostWindow window(*library, paramsPath);
    window.show();
    if (o.open)
        QTimer::singleShot(0, &window, [&window] { window.openStatement(); });
    return app.exec();
}
