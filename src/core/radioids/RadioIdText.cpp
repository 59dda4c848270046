#include "RadioIdText.h"

std::optional<quint32> parseRadioId(const QString& text)
{
    if (text.isEmpty() || text.size() > 8)
        return std::nullopt;
    quint32 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    // 0 marks an empty slot in the record: such an ID would never reach the gateway.
    if (value == 0)
        return std::nullopt;
    return value;
}

bool isStorableRadioId(const QString& text)
{
    return parseRadioId(text).has_value();
}
