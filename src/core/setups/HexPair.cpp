#include "HexPair.h"

#include "FieldRules.h"

static int hexCharValue(QChar c)
{
    const char16_t u = c.toUpper().unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    return int(u) - 55;
}

quint8 HexPairToByte(const QString& text)
{
    const QChar first = text.size() > 0 ? text[0] : QChar(u'0');
    const QChar second = text.size() > 1 ? text[1] : QChar(u'0');
    return static_cast<quint8>((hexCharValue(first) * 16 + hexCharValue(second)) & 0xFF);
}

std::optional<std::array<quint8, 16>> parseMasterKeyText(const QString& text)
{
    return FieldRules::masterKey(text);
}
