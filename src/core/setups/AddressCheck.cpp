#include "AddressCheck.h"

#include "FieldRules.h"

bool isValidIpAddress(const QString& text)
{
    return FieldRules::address(text).has_value();
}
