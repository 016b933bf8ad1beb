// A host that translated Qt's own texts before the library came keeps its translation: the
// library adds none of its own. (A process of its own: the application object is made once.)
#include "framework/ui/application.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTranslator>

namespace {

class HostTranslation : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (QLatin1String(context) == QLatin1String("QPlatformTheme") &&
            QLatin1String(source) == QLatin1String("OK"))
            return QStringLiteral("Okay");
        return QString();
    }
};

TEST(Application, HostsOwnTranslationIsLeftInPlace) {
    static int argc = 1;
    static char name[] = "host";
    static char* argv[] = {name, nullptr};
    QApplication host(argc, argv);
    HostTranslation translation;
    QCoreApplication::installTranslator(&translation);
    EXPECT_FALSE(ui::Application::instance().installedQtTranslation());
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("Okay"));
    ui::Application::instance().destroyAll();
}

}  // namespace
