// PDF of a prepared report, written directly rather than through a paint engine: rules and
// boxes as vector paths, texts in Type 3 fonts made from the outlines of the glyphs used
// (each glyph once per file, a font per face), with a ToUnicode map so that the text can be
// selected, searched and extracted.
#pragma once

#include <QString>
#include <functional>

namespace report {

class PreparedReport;

struct PdfInfo {
    QString title;
    QString creator;
};

// Called with the pages written so far; false cancels (EAbort).
using PageProgress = std::function<bool(int pagesDone)>;

// Writes the whole report to `path` (through a temporary file: a failed or cancelled write
// leaves no file and any earlier file as it was). EInvalidOperation naming the cause when
// the file cannot be written.
void writePdf(const PreparedReport& report, const QString& path, const PdfInfo& info,
              const PageProgress& progress = {});

}  // namespace report
