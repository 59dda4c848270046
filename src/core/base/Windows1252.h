#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// Windows-1252, the ANSI code page of German Windows: the 8-bit texts of the setup record, setup
// and settings files without a byte-order mark, and key lists without one. The five bytes that the
// code page leaves unassigned (81, 8D, 8F, 90, 9D) map to the control characters of the same value,
// as Windows converts them, so every byte has a character and every byte string survives a
// decode and encode unchanged.
namespace Windows1252 {

QString decode(QByteArrayView bytes);
// Empty when text holds a character the code page lacks.
std::optional<QByteArray> encode(QStringView text);
bool canEncode(QChar c);
// The first character (a whole surrogate pair where there is one) of text that the code page
// cannot hold; empty when there is none.
QString firstUnencodable(QStringView text);

} // namespace Windows1252
