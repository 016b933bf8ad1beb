// A saved report as a user might open one: the bytes are the file (byte 0 even) or, with
// byte 0 odd, the recording that a file of the current version packs, so that mutations
// reach the checks behind the compression. A report that loads is drawn as the preview
// draws its pages, exported to PDF, saved and loaded again, and must come back equal.
#include "fuzztargets.h"

#include "framework/report/pageview.h"
#include "framework/report/pdfwriter.h"
#include "framework/report/prepared.h"
#include "framework/text/errors.h"

#include <QApplication>
#include <QDataStream>
#include <QImage>
#include <QMarginsF>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

namespace {

void widgetApp() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qApp)
        new QApplication(argc, argv);
}

}  // namespace

int savedReport(const std::uint8_t* data, std::size_t size) {
    outcome().clear();
    if (size == 0)
        return 0;
    widgetApp();
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
    } catch (const EInvalidOperation& e) {
        outcome() = std::string("refused: ") + e.what();
        return 0;  // what a file that is no report must get
    }
    outcome() = "loaded " + std::to_string(rep.pageCount()) + " pages";
    // As the preview shows a page: its size at a zoom, and the page rendered at it (small,
    // so that a large page costs little).
    report::PageView view;
    view.setReport(&rep);
    view.setPixelsPerMm(0.2);
    (void)view.sizeHint();
    for (int p = 0; p < rep.pageCount() && p < 4; ++p) {
        (void)rep.page(p);
        view.setPage(p);
        (void)view.renderPage();
    }
    try {
        report::writePdf(rep, dir.filePath(QStringLiteral("out.pdf")), {});
        outcome() += ", pdf written";
    } catch (const EInvalidOperation& e) {
        // A report the load accepts is one the writer can draw.
        std::fprintf(stderr, "PDF refused a loaded report: %s\n", e.what());
        std::abort();
    }
    const QString again = dir.filePath(QStringLiteral("again.pnlr"));
    rep.save(again);
    if (!(report::PreparedReport::load(again) == rep))
        std::abort();
    return 0;
}

}  // namespace fuzz
