#include "GatewayId.h"

static bool isHexDigit(QChar c)
{
    const char l = c.toUpper().toLatin1();
    return (l >= '0' && l <= '9') || (l >= 'A' && l <= 'F');
}

QString GatewayId::text() const
{
    return QString::asprintf("%.2X.%.2X.%.2X", bytes[0], bytes[1], bytes[2]);
}

QString GatewayId::fileNamePart() const
{
    return QString::asprintf("%.2X_%.2X_%.2X", bytes[0], bytes[1], bytes[2]);
}

std::optional<GatewayId> GatewayId::fromText(const QString& text)
{
    QString digits;
    if (text.size() == 8 && text[2] == text[5] && !isHexDigit(text[2]))
        digits = text.left(2) + text.mid(3, 2) + text.mid(6, 2);
    else if (text.size() == 6)
        digits = text;
    else
        return std::nullopt;
    GatewayId id;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const QString pair = digits.mid(2 * i, 2);
        if (!isHexDigit(pair[0]) || !isHexDigit(pair[1]))
            return std::nullopt;
        const uint value = pair.toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        id.bytes[i] = static_cast<quint8>(value);
    }
    return id;
}
