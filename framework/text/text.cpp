// GBK conversion goes through Qt's codec-free decoder (QStringDecoder, "GB18030"), which is
// a superset of GBK for the byte ranges the host uses.
#include "framework/text/text.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

namespace text {

QString fromGbk(std::string_view bytes) {
    QStringDecoder decoder("GB18030");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string toGbk(const QString& s) {
    QStringEncoder encoder("GB18030");
    if (!encoder.isValid())
        return s.toLatin1().toStdString();
    QByteArray out = encoder.encode(s);
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

namespace {
bool isBlank(QChar c) {
    return c.unicode() <= 0x20;
}
bool isBlankByte(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}
}  // namespace

QString trim(const QString& s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s.at(begin))) ++begin;
    while (end > begin && isBlank(s.at(end - 1))) --end;
    return s.mid(begin, end - begin);
}

std::string trimBytes(std::string_view bytes) {
    std::size_t begin = 0;
    std::size_t end = bytes.size();
    while (begin < end && isBlankByte(bytes[begin])) ++begin;
    while (end > begin && isBlankByte(bytes[end - 1])) --end;
    return std::string(bytes.substr(begin, end - begin));
}

std::string gbkPrefix(std::string_view bytes, std::size_t n) {
    if (n >= bytes.size())
        return std::string(bytes);
    // Walk characters from the start: a lead byte (0x81..0xFE) begins a two-byte character.
    std::size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const std::size_t width = (b >= 0x81 && b <= 0xFE && i + 1 < bytes.size()) ? 2 : 1;
        if (i + width > n)
            break;
        i += width;
    }
    return std::string(bytes.substr(0, i));
}

QString withSuffix(const QString& path, const QString& suffix) {
    if (path.isEmpty() || QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) == 0)
        return path;
    return path + (path.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")) + suffix;
}

QString safeFileName(const QString& name) {
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString out = name;
    for (QChar& ch : out) {
        if (forbidden.contains(ch) || ch.unicode() < 0x20)
            ch = QLatin1Char('_');
    }
    return out;
}

}  // namespace text
