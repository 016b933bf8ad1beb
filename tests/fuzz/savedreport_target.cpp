// A saved report as a user might open one: the bytes are the file (byte 0 even) or, with
// byte 0 odd, the recording that a file of the current version packs, so that mutations
// reach the checks behind the compression. A report that loads is drawn, saved and loaded
// again, and must come back equal.
#include "fuzztargets.h"

#include "framework/report/prepared.h"
#include "framework/text/errors.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QImage>
#include <QMarginsF>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdlib>

namespace fuzz {

namespace {

QGuiApplication& guiApp() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication* app = qGuiApp ? qGuiApp : new QGuiApplication(argc, argv);
    return *app;
}

}  // namespace

int savedReport(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    guiApp();
    static QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("input.pnlr"));
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1,
                          static_cast<qsizetype>(size - 1));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        if (data[0] % 2 == 0) {
            f.write(rest);
        } else {
            QDataStream out(&f);
            out.setVersion(QDataStream::Qt_6_4);
            out << quint32(0x45504e52) << quint16(3) << QSizeF(297, 210) << true
                << QMarginsF(5, 10, 5, 10) << qCompress(rest);
        }
    }
    report::PreparedReport rep;
    try {
        rep = report::PreparedReport::load(file);
    } catch (const EInvalidOperation&) {
        return 0;  // refused: what a file that is no report must get
    }
    QImage page(60, 42, QImage::Format_RGB32);
    for (int p = 0; p < rep.pageCount() && p < 4; ++p) {
        (void)rep.page(p);
        QPainter painter(&page);
        rep.paintPage(painter, p);
    }
    const QString again = dir.filePath(QStringLiteral("again.pnlr"));
    rep.save(again);
    if (!(report::PreparedReport::load(again) == rep))
        std::abort();
    return 0;
}

}  // namespace fuzz
