#include "RadioIdText.h"

bool isStorableRadioId(const QString& text)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}
