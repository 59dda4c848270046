#include "GatewayId.h"

#include "FieldRules.h"

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
    if (text.size() == 8 && text[2] == text[5] && !FieldRules::isHexDigit(text[2]))
        digits = text.left(2) + text.mid(3, 2) + text.mid(6, 2);
    else if (text.size() == 6)
        digits = text;
    else
        return std::nullopt;
    GatewayId id;
    for (int i = 0; i < 3; ++i) {
        const std::optional<quint8> value = FieldRules::hexPair(QStringView(digits).mid(2 * i, 2));
        if (!value)
            return std::nullopt;
        id.bytes[i] = *value;
    }
    return id;
}
