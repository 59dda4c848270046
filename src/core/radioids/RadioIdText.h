#pragma once

#include <QString>

#include <optional>

// A radio ID as an ID slot of the setup record can hold it: 1 to 8 decimal digits (leading zeros
// allowed), value 1..99999999 (0 marks an empty slot). Nothing else: no sign, no blank.
// This is the one radio-ID rule: the add step, both importers, the dialog's check and the setup
// file conversion all use it.
std::optional<quint32> parseRadioId(const QString& text);
// The importers skip what this refuses instead of handing it over.
bool isStorableRadioId(const QString& text);
