#pragma once

#include <QChar>

#include <optional>

// The value of an ASCII digit in base 10 or 16 (A-F in either case), nullopt for any other
// character: no other script's digits, no sign. The one digit reading of the whole program.
inline std::optional<int> digitValue(QChar c, int base = 10)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (base == 16 && u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (base == 16 && u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return std::nullopt;
}
