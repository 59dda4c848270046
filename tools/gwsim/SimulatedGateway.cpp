#include "SimulatedGateway.h"

#include <algorithm>

using namespace Qt::StringLiterals;

MasterKey SimulatedGateway::defaultMasterKey()
{
    return {0x7C, 0x3E, 0x9A, 0x15, 0xD2, 0x08, 0x4B, 0xF6, 0xE1, 0xA0, 0x5C, 0x93, 0xD7, 0x6F, 0x2B, 0x48};
}

MasterKey SimulatedGateway::otherMasterKey(const MasterKey& key)
{
    MasterKey other;
    for (size_t i = 0; i < key.size(); ++i)
        other[i] = quint8(~key[i]);
    return other;
}

static void fill(GWSetupRecord& record, int offset, std::initializer_list<quint8> bytes)
{
    for (quint8 b : bytes)
        record.raw()[offset++] = b;
}

SimulatedGateway SimulatedGateway::scaledDown(int divisor) const
{
    SimulatedGateway g = *this;
    for (int* delay : {&g.answerDelayMs, &g.restartDelayMs, &g.longRestartMs, &g.splitPauseMs, &g.trickleIntervalMs,
                       &g.resetPauseMs, &g.lateAckMs})
        *delay = *delay > 0 ? std::max(1, *delay / divisor) : 0;
    g.byteIntervalMs /= divisor;
    return g;
}

SimulatedGateway SimulatedGateway::makeDefault(const QHostAddress& address, const GatewayId& id)
{
    SimulatedGateway g;
    g.address = address;
    g.id = id;
    GWSetupRecord& r = g.record;

    // Reserved ranges: 0..2, 18..21, 54..57, 68..75, 1093..1095.
    fill(r, 0, {0xA1, 0xA2, 0xA3});
    fill(r, 18, {0xB1, 0xB2, 0xB3, 0xB4});
    fill(r, 54, {0xC1, 0xC2, 0xC3, 0xC4});
    fill(r, 68, {0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8});
    fill(r, 1093, {0xE1, 0xE2, 0xE3});

    r.setGatewayId(id);
    // A gateway with a fixed address listens on it; setups that keep it cause no restart.
    const quint32 ip = address.toIPv4Address();
    r.setFixedIp({quint8(ip >> 24), quint8(ip >> 16), quint8(ip >> 8), quint8(ip)});
    r.setRouterIp({192, 168, 40, 1});
    r.setSubnetMask({255, 255, 255, 0});
    r.setDnsIp({192, 168, 40, 1});
    r.setNtpIp({192, 168, 40, 2});
    r.setServerName("collector.mbus.lan");
    r.setServerPort(4711);

    r.setRadioIdSlot(0, GWSetupRecord::toBcd(12345678));
    r.setRadioIdSlot(1, GWSetupRecord::toBcd(20240517));
    r.setRadioIdSlot(2,
                     GWSetupRecord::toBcd(90000000 + (id.bytes[0] << 16 | id.bytes[1] << 8 | id.bytes[2]) % 10000000));
    r.setManufacturerCode(0, "QLB");
    r.setManufacturerCode(1, "QLC");
    r.setManufacturerCode(2, "QLD");
    r.setManufacturerCode(3, "QLE");
    r.setMediumCode(0, 7);
    r.setMediumCode(1, 6);
    r.setMediumCode(2, 4);
    r.setMediumCode(3, 2);
    r.setWMBusFlags(GWSetupRecord::ManufacturerFilter | GWSetupRecord::MediumFilter | GWSetupRecord::ModeT |
                    GWSetupRecord::RadioIdFilter);
    r.setMasterKey(g.masterKey);
    r.setFirmwareVersion({1, 4, 12});
    const bool ipv4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    r.setNetworkFlags(quint8(GWSetupRecord::ReportHourly | (ipv4 ? 0 : GWSetupRecord::Dhcp)));
    return g;
}
