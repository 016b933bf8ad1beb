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

class PreparedReport;

struct PdfInfo {
    QString title;
    QString creator;
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
