// Reading printed paper back with poppler's tools: page count and size (pdfinfo), text
// (pdftotext), a page as pixels (pdftoppm), and how closely a rendered page matches the
// preview's own painting of it.
#pragma once

#include "framework/report/prepared.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>

namespace paper {

inline bool havePoppler() {
    for (const char* tool : {"pdfinfo", "pdftotext", "pdftoppm"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    return true;
}

inline QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct Info {
    int pages = 0;
    QSizeF sizePt;  // of the first page as shown, its rotation applied
};

inline Info info(const QString& pdf) {
    const QString out = run(QStringLiteral("pdfinfo"), {pdf});
    Info i;
    i.pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(out).captured(1).toInt();
    const auto size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)")).match(out);
    const int rot =
        QRegularExpression(QStringLiteral("Page rot:\\s+(\\d+)")).match(out).captured(1).toInt();
    i.sizePt = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());
    if (rot % 180 != 0)
        i.sizePt.transpose();
    return i;
}

// page 0: every page, pages separated by form feeds.
inline QString text(const QString& pdf, int page = 0) {
    QStringList args{QStringLiteral("-layout")};
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
             << QString::number(page);
    return run(QStringLiteral("pdftotext"), args << pdf << QStringLiteral("-"));
}

// Page `page` (1-based) in grey at `dpi`.
inline QImage render(const QString& pdf, int page, const QString& scratchDir, int dpi = 100) {
    const QString stem = QDir(scratchDir).filePath(QStringLiteral("page%1").arg(page));
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"), QStringLiteral("-f"),
         QString::number(page), QStringLiteral("-l"), QString::number(page),
         QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf, stem});
    return QImage(stem + QStringLiteral(".png"));
}

// The preview's painting of page `index` at the size of `like`.
inline QImage painted(const report::PreparedReport& rep, int index, const QImage& like,
                      int dpi = 100) {
    QImage img(like.size(), QImage::Format_RGB32);
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    img.fill(Qt::white);
    QPainter painter(&img);
    rep.paintPage(painter, index);
    return img;
}

// The share of dark pixels of `one` that have a dark pixel of `other` within two pixels:
// about 0.99 for the same page, 0.96 for a baseline half an ascent off.
inline double darkMatch(const QImage& one, const QImage& other) {
    const auto dark = [](const QImage& img, int x, int y) { return qGray(img.pixel(x, y)) < 110; };
    int darkCount = 0, matched = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) {
            if (!dark(one, x, y))
                continue;
            ++darkCount;
            bool near = false;
            for (int dy = -2; dy <= 2 && !near; ++dy)
                for (int dx = -2; dx <= 2 && !near; ++dx) {
                    const int px = x + dx, py = y + dy;
                    near = px >= 0 && py >= 0 && px < other.width() && py < other.height() &&
                           dark(other, px, py);
                }
            matched += near;
        }
    return darkCount < 5000 ? 0.0 : double(matched) / darkCount;
}

}  // namespace paper
