#include "RadioIdText.h"

#include "base/Digits.h"

std::optional<quint32> parseRadioId(const QString& text)
{
    if (text.isEmpty() || text.size() > 8)
        return std::nullopt;
    quint32 value = 0;
    for (const QChar c : text) {
        const std::optional<int> digit = digitValue(c);
        if (!digit)
            return std::nullopt;
        value = value * 10 + quint32(*digit);
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
