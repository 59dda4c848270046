#include "GWSetupRecord.h"

#include <algorithm>
#include <cstring>

std::optional<GWSetupRecord> GWSetupRecord::fromRaw(const QByteArray& bytes)
{
    if (bytes.size() < Size)
        return std::nullopt;
    GWSetupRecord record;
    std::memcpy(record.m_raw.data(), bytes.constData(), Size);
    return record;
}

QByteArray GWSetupRecord::toByteArray() const
{
    return QByteArray(reinterpret_cast<const char*>(m_raw.data()), Size);
}

GatewayId GWSetupRecord::gatewayId() const
{
    return GatewayId{{m_raw[OffGatewayId], m_raw[OffGatewayId + 1], m_raw[OffGatewayId + 2]}};
}

void GWSetupRecord::setGatewayId(const GatewayId& id)
{
    std::copy(id.bytes.begin(), id.bytes.end(), m_raw.begin() + OffGatewayId);
}

GWSetupRecord::Address GWSetupRecord::address(int offset) const
{
    return {m_raw[offset], m_raw[offset + 1], m_raw[offset + 2], m_raw[offset + 3]};
}

void GWSetupRecord::setAddress(int offset, const Address& a)
{
    std::copy(a.begin(), a.end(), m_raw.begin() + offset);
}

QByteArray GWSetupRecord::serverNameField() const
{
    return QByteArray(reinterpret_cast<const char*>(m_raw.data() + OffServerName), ServerNameSize);
}

QByteArray GWSetupRecord::serverName() const
{
    const QByteArray field = serverNameField();
    const qsizetype zero = field.indexOf('\0');
    return zero < 0 ? field : field.left(zero);
}

void GWSetupRecord::setServerName(const QByteArray& name)
{
    std::fill_n(m_raw.begin() + OffServerName, ServerNameSize, quint8(0));
    std::copy_n(name.constData(), std::min<qsizetype>(name.size(), ServerNameSize), m_raw.begin() + OffServerName);
}

quint16 GWSetupRecord::serverPort() const
{
    return quint16(m_raw[OffServerPort] | (m_raw[OffServerPort + 1] << 8));
}

void GWSetupRecord::setServerPort(quint16 port)
{
    m_raw[OffServerPort] = quint8(port & 0xFF);
    m_raw[OffServerPort + 1] = quint8(port >> 8);
}

quint32 GWSetupRecord::radioIdSlot(int slot) const
{
    const int o = OffRadioIds + 4 * slot;
    return quint32(m_raw[o]) | (quint32(m_raw[o + 1]) << 8) | (quint32(m_raw[o + 2]) << 16) |
           (quint32(m_raw[o + 3]) << 24);
}

void GWSetupRecord::setRadioIdSlot(int slot, quint32 bcd)
{
    const int o = OffRadioIds + 4 * slot;
    for (int i = 0; i < 4; ++i)
        m_raw[o + i] = quint8(bcd >> (8 * i));
}

QByteArray GWSetupRecord::manufacturerCode(int n) const
{
    return QByteArray(reinterpret_cast<const char*>(m_raw.data() + OffManufacturerCodes + 3 * n), 3);
}

void GWSetupRecord::setManufacturerCode(int n, const QByteArray& threeBytes)
{
    for (int i = 0; i < 3; ++i)
        m_raw[OffManufacturerCodes + 3 * n + i] = i < threeBytes.size() ? quint8(threeBytes[i]) : 0;
}

void GWSetupRecord::setWMBusFlag(WMBusFlag f, bool on)
{
    m_raw[OffWMBusFlags] = on ? (m_raw[OffWMBusFlags] | f) : (m_raw[OffWMBusFlags] & ~f);
}

void GWSetupRecord::setNetworkFlag(NetworkFlag f, bool on)
{
    m_raw[OffNetworkFlags] = on ? (m_raw[OffNetworkFlags] | f) : (m_raw[OffNetworkFlags] & ~f);
}

std::array<quint8, GWSetupRecord::MasterKeySize> GWSetupRecord::masterKey() const
{
    std::array<quint8, MasterKeySize> key{};
    std::copy_n(m_raw.begin() + OffMasterKey, MasterKeySize, key.begin());
    return key;
}

void GWSetupRecord::setMasterKey(const std::array<quint8, MasterKeySize>& key)
{
    std::copy(key.begin(), key.end(), m_raw.begin() + OffMasterKey);
}

std::array<quint8, 3> GWSetupRecord::firmwareVersion() const
{
    return {m_raw[OffFirmware], m_raw[OffFirmware + 1], m_raw[OffFirmware + 2]};
}

void GWSetupRecord::setFirmwareVersion(const std::array<quint8, 3>& v)
{
    std::copy(v.begin(), v.end(), m_raw.begin() + OffFirmware);
}

QString GWSetupRecord::firmwareText() const
{
    return QStringLiteral("%1.%2.%3").arg(m_raw[OffFirmware]).arg(m_raw[OffFirmware + 1]).arg(m_raw[OffFirmware + 2]);
}

quint32 GWSetupRecord::toBcd(quint32 decimal)
{
    quint32 bcd = 0;
    for (int shift = 0; shift < 32; shift += 4) {
        bcd |= (decimal % 10) << shift;
        decimal /= 10;
    }
    return bcd;
}

bool GWSetupRecord::isValidBcd(quint32 bcd)
{
    for (int shift = 0; shift < 32; shift += 4)
        if (((bcd >> shift) & 0xF) > 9)
            return false;
    return true;
}

void GWSetupRecord::copyCarried(const GWSetupRecord& from, GWSetupRecord& to)
{
    for (const auto& [offset, size] : ReservedRanges)
        std::copy_n(from.m_raw.begin() + offset, size, to.m_raw.begin() + offset);
    std::copy_n(from.m_raw.begin() + FirmwareRange.first, FirmwareRange.second, to.m_raw.begin() + FirmwareRange.first);
}
