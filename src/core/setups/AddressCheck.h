#pragma once

#include <QString>

// A dotted IPv4 address as the setup dialog accepts it: exactly four parts separated by three dots,
// each part one or more decimal digits (leading zeros allowed, "008" is 8) with a value up to 255.
// A sign, a blank, an empty part or any other character makes the address invalid.
bool isValidIpAddress(const QString& text);
