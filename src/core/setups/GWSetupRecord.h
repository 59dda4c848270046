#pragma once

#include "GatewayId.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <utility>

// A gateway's complete setup as it travels on the wire: 1116 bytes, integers little-endian,
// addresses first octet first. Reserved bytes are carried, never interpreted.
// All access is byte-wise, so the layout does not depend on the host's endianness or packing.
class GWSetupRecord final
{
public:
    static constexpr int Size = 1116;
    static constexpr int RadioIdSlots = 250;
    static constexpr int ServerNameSize = 32;
    static constexpr int MasterKeySize = 16;
    static constexpr int FilterCodes = 4;

    // Offsets of the fields.
    enum Offset : int
    {
        OffGatewayId = 3,
        OffFixedIp = 6,
        OffRouterIp = 10,
        OffSubnetMask = 14,
        OffServerName = 22,
        OffNtpIp = 58,
        OffDnsIp = 62,
        OffServerPort = 66,
        OffRadioIds = 76,
        OffManufacturerCodes = 1076,
        OffMediumCodes = 1088,
        OffWMBusFlags = 1092,
        OffMasterKey = 1096,
        OffFirmware = 1112,
        OffNetworkFlags = 1115,
    };

    // Bits of WMBusFlags (offset 1092).
    enum WMBusFlag : quint8
    {
        ManufacturerFilter = 0x01,
        MediumFilter = 0x02,
        ModeT = 0x10, // clear means S mode
        RadioIdFilter = 0x20,
    };
    // Bits of NetworkFlags (offset 1115).
    enum NetworkFlag : quint8
    {
        Dhcp = 0x01,
        ReportImmediately = 0x04,
        ReportHourly = 0x08,
        ReportDaily = 0x10,
        ReportMonthly = 0x20,
    };

    using Address = std::array<quint8, 4>;

    // Bytes no setup file holds and no conversion writes: the reserved ranges and the firmware
    // version. They travel back to a gateway exactly as it reported them. {offset, size}.
    static constexpr std::array<std::pair<int, int>, 5> ReservedRanges{{{0, 3}, {18, 4}, {54, 4}, {68, 8}, {1093, 3}}};
    static constexpr std::pair<int, int> FirmwareRange{OffFirmware, 3};
    // Copies the reserved bytes and the firmware version of from into to.
    static void copyCarried(const GWSetupRecord& from, GWSetupRecord& to);

    GWSetupRecord() = default;
    // The first Size bytes; nothing when fewer are given.
    static std::optional<GWSetupRecord> fromRaw(const QByteArray& bytes);

    const std::array<quint8, Size>& raw() const { return m_raw; }
    std::array<quint8, Size>& raw() { return m_raw; }
    QByteArray toByteArray() const;

    GatewayId gatewayId() const;
    void setGatewayId(const GatewayId& id);

    Address fixedIp() const { return address(OffFixedIp); }
    void setFixedIp(const Address& a) { setAddress(OffFixedIp, a); }
    Address routerIp() const { return address(OffRouterIp); }
    void setRouterIp(const Address& a) { setAddress(OffRouterIp, a); }
    Address subnetMask() const { return address(OffSubnetMask); }
    void setSubnetMask(const Address& a) { setAddress(OffSubnetMask, a); }
    Address ntpIp() const { return address(OffNtpIp); }
    void setNtpIp(const Address& a) { setAddress(OffNtpIp, a); }
    Address dnsIp() const { return address(OffDnsIp); }
    void setDnsIp(const Address& a) { setAddress(OffDnsIp, a); }
    Address address(int offset) const;
    void setAddress(int offset, const Address& a);

    // The 32 raw bytes of the server name field, and the name up to the first zero byte (Latin-1).
    QByteArray serverNameField() const;
    QByteArray serverName() const;
    // Zero-fills the field, then copies at most 32 bytes (a name of 32 bytes has no terminator).
    void setServerName(const QByteArray& name);

    quint16 serverPort() const;
    void setServerPort(quint16 port);

    quint32 radioIdSlot(int slot) const; // BCD, 0 = empty
    void setRadioIdSlot(int slot, quint32 bcd);

    // Code n (0..3): three ASCII letters, first letter first.
    QByteArray manufacturerCode(int n) const;
    void setManufacturerCode(int n, const QByteArray& threeBytes);
    quint8 mediumCode(int n) const { return m_raw[OffMediumCodes + n]; }
    void setMediumCode(int n, quint8 code) { m_raw[OffMediumCodes + n] = code; }

    quint8 wmbusFlags() const { return m_raw[OffWMBusFlags]; }
    void setWMBusFlags(quint8 f) { m_raw[OffWMBusFlags] = f; }
    bool wmbusFlag(WMBusFlag f) const { return m_raw[OffWMBusFlags] & f; }
    void setWMBusFlag(WMBusFlag f, bool on);

    quint8 networkFlags() const { return m_raw[OffNetworkFlags]; }
    void setNetworkFlags(quint8 f) { m_raw[OffNetworkFlags] = f; }
    bool networkFlag(NetworkFlag f) const { return m_raw[OffNetworkFlags] & f; }
    void setNetworkFlag(NetworkFlag f, bool on);

    std::array<quint8, MasterKeySize> masterKey() const;
    void setMasterKey(const std::array<quint8, MasterKeySize>& key);

    std::array<quint8, 3> firmwareVersion() const;
    void setFirmwareVersion(const std::array<quint8, 3>& v);
    QString firmwareText() const; // "1.4.12"

    // BCD helpers: 12345678 <-> 0x12345678. toBcd needs 0..99999999.
    static quint32 toBcd(quint32 decimal);
    static bool isValidBcd(quint32 bcd);

    friend bool operator==(const GWSetupRecord&, const GWSetupRecord&) = default;

private:
    std::array<quint8, Size> m_raw{};
};
