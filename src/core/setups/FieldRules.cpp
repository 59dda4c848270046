#include "FieldRules.h"

#include "base/Windows1252.h"

namespace {

// 1 to maxDigits decimal digits, nothing else.
std::optional<quint32> digits(QStringView text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    quint32 value = 0;
    for (const QChar c : text) {
        if (!FieldRules::isDecimalDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// 1 to 3 decimal digits, 0..255.
std::optional<quint8> decimalByte(QStringView text)
{
    const std::optional<quint32> value = digits(text, 3);
    if (!value || *value > 255)
        return std::nullopt;
    return quint8(*value);
}

quint32 toNumber(const GWSetupRecord::Address& a)
{
    return quint32(a[0]) << 24 | quint32(a[1]) << 16 | quint32(a[2]) << 8 | quint32(a[3]);
}

QString dotted(const GWSetupRecord::Address& a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return u - u'a' + 10;
}

// One 8-bit character of a record text: any Windows-1252 character but a zero byte or a line
// break, which no setup file line can carry.
std::optional<QByteArray> recordText(QStringView text)
{
    std::optional<QByteArray> bytes = Windows1252::encode(text);
    if (bytes && (bytes->contains('\0') || bytes->contains('\r') || bytes->contains('\n')))
        return std::nullopt;
    return bytes;
}

} // namespace

namespace FieldRules {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f');
}

bool isDecimalDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

std::optional<quint8> hexPair(QStringView text)
{
    if (text.size() != 2 || !isHexDigit(text[0]) || !isHexDigit(text[1]))
        return std::nullopt;
    return quint8(hexValue(text[0]) * 16 + hexValue(text[1]));
}

std::optional<std::array<quint8, GWSetupRecord::MasterKeySize>> masterKey(QStringView text)
{
    if (text.size() != 2 * GWSetupRecord::MasterKeySize)
        return std::nullopt;
    std::array<quint8, GWSetupRecord::MasterKeySize> key{};
    for (int i = 0; i < GWSetupRecord::MasterKeySize; ++i) {
        const std::optional<quint8> byte = hexPair(text.mid(2 * i, 2));
        if (!byte)
            return std::nullopt;
        key[i] = *byte;
    }
    return key;
}

std::optional<QByteArray> serverNameBytes(QStringView text)
{
    std::optional<QByteArray> bytes = recordText(text);
    if (!bytes || bytes->size() > GWSetupRecord::ServerNameSize)
        return std::nullopt;
    return bytes;
}

bool serverNameHasForeignCharacters(QStringView text)
{
    return !recordText(text).has_value();
}

std::optional<QByteArray> manufacturerCodeBytes(QStringView text)
{
    if (text.size() != 3)
        return std::nullopt;
    return recordText(text);
}

bool isManufacturerCodeText(QStringView text)
{
    if (text.size() != 3)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z')))
            return false;
    }
    return true;
}

std::optional<quint8> mediumCode(QStringView text)
{
    return decimalByte(text);
}

std::optional<quint16> port(QStringView text)
{
    const std::optional<quint32> value = digits(text, 5);
    if (!value || *value < 1 || *value > 65535)
        return std::nullopt;
    return quint16(*value);
}

std::optional<quint8> addressPart(QStringView text)
{
    return decimalByte(text);
}

std::optional<GWSetupRecord::Address> address(QStringView text)
{
    GWSetupRecord::Address a{};
    qsizetype start = 0;
    for (int i = 0; i < 4; ++i) {
        const qsizetype dot = text.indexOf(u'.', start);
        if ((i < 3) != (dot >= 0))
            return std::nullopt; // fewer or more than four parts
        const qsizetype end = dot < 0 ? text.size() : dot;
        const std::optional<quint8> part = addressPart(text.mid(start, end - start));
        if (!part)
            return std::nullopt;
        a[i] = *part;
        start = end + 1;
    }
    return a;
}

std::optional<GWSetupRecord::Address> hostAddress(QStringView text)
{
    const std::optional<GWSetupRecord::Address> a = address(text);
    if (!a || (*a)[3] == 0 || (*a)[3] == 255)
        return std::nullopt;
    return a;
}

AddressRole addressRole(const GWSetupRecord::Address& address, const GWSetupRecord::Address& mask)
{
    const quint32 host = ~toNumber(mask);
    if (host <= 1)
        return AddressRole::Host; // /31 and /32: point-to-point or a single host, every address usable
    const quint32 value = toNumber(address);
    if ((value & host) == 0)
        return AddressRole::Network;
    if ((value & host) == host)
        return AddressRole::Broadcast;
    return AddressRole::Host;
}

QString fixedAddressProblem(const GWSetupRecord::Address& address, const GWSetupRecord::Address& mask)
{
    switch (addressRole(address, mask)) {
    case AddressRole::Network:
        return QStringLiteral("Die feste IP-Adresse %1 ist die Netzadresse ihres Netzes (Subnetzmaske %2); ein "
                              "Gateway kann sie nicht haben.")
            .arg(dotted(address), dotted(mask));
    case AddressRole::Broadcast:
        return QStringLiteral("Die feste IP-Adresse %1 ist die Broadcast-Adresse ihres Netzes (Subnetzmaske %2); "
                              "ein Gateway kann sie nicht haben.")
            .arg(dotted(address), dotted(mask));
    case AddressRole::Host:
        break;
    }
    return QString();
}

QString fixedAddressProblem(const GWSetupRecord& record)
{
    if (record.networkFlag(GWSetupRecord::Dhcp))
        return QString();
    return fixedAddressProblem(record.fixedIp(), record.subnetMask());
}

} // namespace FieldRules
