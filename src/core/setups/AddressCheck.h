#pragma once

#include <QString>

// A dotted IPv4 address as the setup dialog and the setup file accept it (FieldRules::address):
// exactly four parts separated by three dots, each part 1 to 3 decimal digits ("008" is 8) with a
// value up to 255. A sign, a blank, an empty part or any other character makes it invalid.
bool isValidIpAddress(const QString& text);
