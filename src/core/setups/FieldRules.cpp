#include "FieldRules.h"

#include "base/Digits.h"
#include "base/Windows1252.h"

namespace {

int digitCount(int value)
{
    int count = 1;
    for (; value >= 10; value /= 10)
        ++count;
    return count;
}

// 1 to 3 decimal digits, 0..255.
std::optional<quint8> decimalByte(QStringView text)
{
    const std::optional<int> value = FieldRules::number(text, FieldRules::ByteRange);
    if (!value)
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

QString Range::text() const
{
    return QStringLiteral("%1 bis %2").arg(min).arg(max);
}

QString masterKeyCountText(qsizetype digits)
{
    return QStringLiteral("%1/%2").arg(digits).arg(MasterKeyDigits);
}

std::optional<int> hexDigitValue(QChar c)
{
    return digitValue(c, 16);
}

bool isHexDigit(QChar c)
{
    return hexDigitValue(c).has_value();
}

bool isDecimalDigit(QChar c)
{
    return digitValue(c).has_value();
}

std::optional<int> number(QStringView text, Range range)
{
    if (text.isEmpty() || text.size() > digitCount(range.max))
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        const std::optional<int> digit = digitValue(c);
        if (!digit)
            return std::nullopt;
        value = value * 10 + *digit;
    }
    if (!range.contains(value))
        return std::nullopt;
    return int(value);
}

std::optional<quint8> hexPair(QStringView text)
{
    if (text.size() != 2)
        return std::nullopt;
    const std::optional<int> high = hexDigitValue(text[0]);
    const std::optional<int> low = hexDigitValue(text[1]);
    if (!high || !low)
        return std::nullopt;
    return quint8(*high * 16 + *low);
}

std::optional<std::array<quint8, GWSetupRecord::MasterKeySize>> masterKey(QStringView text)
{
    if (text.size() != MasterKeyDigits)
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
    const std::optional<int> value = number(text, PortRange);
    if (!value)
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
