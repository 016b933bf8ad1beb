// Fuzz targets: each takes one input and drives one part of the plug-in with it, catching
// only the errors that part reports on purpose (a crash, a sanitizer report, a hang or an
// escaping exception is a finding). libFuzzer programs wrap them one each; the regression
// test replays every stored input through them in every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// What the last input came to: the error the part reported on purpose, or a short account
// of what it read. The regression test checks that every kept input still comes to the code
// it was kept for (a changed framing would otherwise pass it by without a word).
std::string& outcome();

// Byte 0 picks the mode (0 query, 1 execute, 2 body of a procedure P that is then called
// with an input @v and an output @o), the rest is T-SQL sent to a fresh embedded server.
int serverStatements(const std::uint8_t* data, std::size_t size);

// Byte 0 picks a server type from the decoder's table, byte 1 the length (cut to what is
// left), then the value's bytes: decoded into a result column, read back as text, in
// 1/10000 units and as each declared parameter type.
int tdsValue(const std::uint8_t* data, std::size_t size);

// Byte 0 bit 0 clear: answer to a batch; set: answer to a procedure call with an output
// parameter. The rest is the whole token stream a loopback server sends after the login,
// before it closes the link.
int tdsWire(const std::uint8_t* data, std::size_t size);

// The bytes as a host parameter record (cut or padded with zeros to 7168 bytes), taken in
// by the entry adjustments, every field read as bytes and text, and the rights check.
int hostRecord(const std::uint8_t* data, std::size_t size);

// Read from the end: a column type, how a value goes in (as integer, float or currency
// units) and the value; the rest is text. The value goes through the row store and a
// field's display text with the currency format on; the text through the text, number
// and date conversions.
int conversions(const std::uint8_t* data, std::size_t size);

// Byte 0 even: the rest is a saved report file; odd: the rest is the recording that a file
// of the current version packs. Loaded, drawn as the preview draws a page, exported to PDF,
// saved and loaded again.
int savedReport(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
