#include "AddressCheck.h"

#include <QStringList>

bool isValidIpAddress(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        if (part.isEmpty())
            return false;
        int value = 0;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return false;
            value = value * 10 + (c.unicode() - u'0');
            if (value > 255)
                return false;
        }
    }
    return true;
}
