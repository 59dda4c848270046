#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// The encodings that Windows text files of other programs come in, as Windows tells them apart: a
// byte-order mark selects UTF-8 or UTF-16 (either byte order); a file without one holds ANSI bytes,
// Windows-1252 here. Nothing is guessed from the bytes themselves, so a file never changes its
// encoding because of what a rewrite put into it.
enum class TextEncoding
{
    Windows1252, // no byte-order mark
    Utf8,        // EF BB BF
    Utf16LE,     // FF FE
    Utf16BE,     // FE FF
};

namespace TextEncodings {

// The encoding that bytes declare, and the length of their byte-order mark.
struct Detected
{
    TextEncoding encoding = TextEncoding::Windows1252;
    int bomSize = 0;
};
Detected detect(QByteArrayView bytes);

QByteArray byteOrderMark(TextEncoding encoding);
// Bytes per code unit: 2 for UTF-16, else 1.
int unitSize(TextEncoding encoding);
// "Windows-1252", "UTF-8", "UTF-16 LE", "UTF-16 BE": for messages.
QString name(TextEncoding encoding);

// Bytes (without the mark) to text. UTF-16 code units are taken as they stand, lone surrogates
// included, so decode and encode give back the same bytes; an odd last byte is not decoded.
// Invalid UTF-8 decodes to replacement characters.
QString decode(TextEncoding encoding, QByteArrayView bytes);
// Text to bytes (without the mark); empty when the encoding cannot hold the text: a character
// outside Windows-1252, or a lone surrogate for UTF-8.
std::optional<QByteArray> encode(TextEncoding encoding, QStringView text);

} // namespace TextEncodings
