// Text helpers shared by every layer: GBK bytes <-> QString, the trimming the product
// means by "leading and trailing blanks and control characters", and byte-wise prefixes
// of GBK text that never keep half a double-byte character.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace text {

// GBK (GB18030-compatible for the single- and double-byte range) bytes to QString.
QString fromGbk(std::string_view bytes);
// QString to GBK bytes; characters GBK cannot hold become '?'.
std::string toGbk(const QString& s);

// Removes every leading and trailing character up to and including the space (U+0000..U+0020).
QString trim(const QString& s);
std::string trimBytes(std::string_view bytes);

// The first n bytes of GBK text, shortened by one byte when the cut would leave the lead
// byte of a double-byte character behind.
std::string gbkPrefix(std::string_view bytes, std::size_t n);

// A file name as typed in a save dialog, ending in its format's suffix: kept when it already
// ends so (in any case), otherwise given "." and the suffix ("x.csv" for xlsx is
// "x.csv.xlsx", "x." is "x.xlsx"); an empty name (the dialog cancelled) stays empty.
QString withSuffix(const QString& path, const QString& suffix);

// `name` with every character that a file name cannot hold on Linux or Windows replaced by
// "_" (separators, wildcards, quotes, control characters).
QString safeFileName(const QString& name);

// The first n characters (QString code units) of s, the whole of s when it is shorter.
inline QString left(const QString& s, qsizetype n) {
    return s.left(n);
}

}  // namespace text
