// PDF of a prepared report, written directly rather than through a paint engine: rules and
// boxes as vector paths, texts in Type 3 fonts made from the outlines of the glyphs used
// (each glyph once per file, a font per face), with a ToUnicode map so that the text can be
// selected, searched and extracted.
#pragma once

#include <QString>
#include <functional>
#include <vector>

class QIODevice;

namespace report {

// The writer's own zlib level for the streams (PdfInfo::compression -1). Measured on a
// 345-page statement (bench_report): level 1 3.46 MB in 154 ms, 2 3.36 MB in 161 ms, 3
// 3.26 MB in 205 ms, 6 2.96 MB in 385 ms; 2 is most of 3's saving at 1's speed.
inline constexpr int kPdfCompression = 2;

class PreparedReport;

struct PdfInfo {
    QString title;
    QString creator;
    // zlib's level for the streams: -1 the writer's own (chosen by measurement), 0 none
    // (the benchmark's floor deflates such a file), 1 to 9 as zlib has them.
    int compression = -1;
};

// Which pages a write covers, and how far it has got.
struct PdfPages {
    std::vector<int> pages;  // 0-based, in the order written; empty: every page
    // Called after each page with (pages written, pages to write); false stops the write
    // with EAbort.
    std::function<bool(int, int)> progress;
};

// Writes the report to `path` (through a temporary file: a failed or stopped write leaves no
// file and any earlier file as it was). EInvalidOperation naming the cause when the file
// cannot be written.
void writePdf(const PreparedReport& report, const QString& path, const PdfInfo& info,
              const PdfPages& pages = {});
// Writes the report to a device open for writing (a buffer for the print system).
// EInvalidOperation when the device refuses a write.
void writePdf(const PreparedReport& report, QIODevice& device, const PdfInfo& info,
              const PdfPages& pages = {});

}  // namespace report
