#include "RadioIdText.h"

bool isStorableRadioId(const QString& text)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    bool nonZero = false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
        nonZero = nonZero || c != u'0';
    }
    // 0 marks an empty slot in the record: such an ID would never reach the gateway.
    return nonZero;
}
