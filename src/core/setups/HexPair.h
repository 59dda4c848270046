#pragma once

#include <QString>

#include <array>
#include <optional>

// Two hex characters to one byte, the way master key digits have always been converted: upper-case,
// a decimal digit counts as its value, any other character as its code minus 55 ('A'..'F' give
// 10..15), result (first * 16 + second) mod 256. No character is rejected; a missing character
// counts as '0'. Only for texts that passed a check of FieldRules.
quint8 HexPairToByte(const QString& text);

// A master key text of exactly 32 hex digits (either case) as 16 bytes, first pair first
// (FieldRules::masterKey).
std::optional<std::array<quint8, 16>> parseMasterKeyText(const QString& text);
