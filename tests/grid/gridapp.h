// The one QApplication of the grid tests, made on first use.
#pragma once

#include <QApplication>

namespace gridtest {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "grid_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance =
        qApp ? static_cast<QApplication*>(qApp) : new QApplication(argc, argv);
    return *instance;
}

}  // namespace gridtest
