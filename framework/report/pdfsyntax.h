// The bytes of a PDF file, for the PDF writer: numbers as the file writes them, hex and text
// strings, and the numbered objects with their offsets, streams deflated through one reused
// compressor.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace report::pdf {

// `v` rounded to thousandths, without trailing zeros, and a blank: formatted as a whole
// number of thousandths (the file needs no more and it costs a fraction of a float's
// formatting). EInvalidOperation for a value past what a page or glyph can hold, so that
// nothing unformatted ever reaches the file.
void num(QByteArray& out, double v);
void hex2(QByteArray& out, unsigned v);
void utf16Hex(QByteArray& out, char32_t c);
void appendNumber(QByteArray& out, std::int64_t v);
// A text string of PDF: UTF-16 with its byte-order mark, in hex.
QByteArray textString(const QString& s);

// The file's numbered objects: each object's offset for the cross-reference table, streams
// deflated (or not) into the sink that takes every byte.
class Objects {
public:
    explicit Objects(std::function<void(const QByteArray&)> sink, int compression);
    ~Objects();

    int reserve();
    void begin(int object);
    void end() { put("\nendobj\n"); }
    void put(const QByteArray& bytes);
    void put(const char* text) { put(QByteArray::fromRawData(text, qstrlen(text))); }
    void stream(int object, const QByteArray& data, const QByteArray& extra = {});
    qint64 position() const { return m_pos; }
    // The cross-reference table and trailer for `catalog` and `info`.
    void finish(int catalog, int info);

private:
    std::function<void(const QByteArray&)> m_sink;
    qint64 m_pos = 0;
    std::vector<qint64> m_offsets{0};  // by object number; 0 is the free head
    int m_compression;                 // 0: streams stored as they are
    struct Deflater;
    std::unique_ptr<Deflater> m_deflater;
    QByteArray m_packed;  // the last stream's deflated bytes, its room kept
};

}  // namespace report::pdf
