#pragma once

#include "GatewayId.h"

#include <QString>

// Names and readers' defaults of the setup files that this program shares with other programs.
namespace SetupKeys {

inline const QString Get = QStringLiteral("GET");
inline const QString GetTime = QStringLiteral("GETTIME");
inline const QString Senden = QStringLiteral("SENDEN");
inline const QString SendTime = QStringLiteral("SENDTIME");

inline const QString Netzwerk = QStringLiteral("NETZWERK");
inline const QString GwId2 = QStringLiteral("GW_ID2");
inline const QString GwId1 = QStringLiteral("GW_ID1");
inline const QString GwId0 = QStringLiteral("GW_ID0");
inline const QString Aort = QStringLiteral("AORT");
inline const QString SrvDns = QStringLiteral("SRV_DNS");
inline const QString Port = QStringLiteral("PORT");
inline const QString Dhcp = QStringLiteral("DHCP");
inline const QString FestIp = QStringLiteral("FEST_IP");
inline const QString GwIp = QStringLiteral("GW_IP");
inline const QString SubIp = QStringLiteral("SUB_IP");
inline const QString DnsIp = QStringLiteral("DNS_IP");
inline const QString NtpIp = QStringLiteral("NTP_IP");
inline const QString Sofort = QStringLiteral("SOFORT");
inline const QString ProH = QStringLiteral("PROH");
inline const QString ProTag = QStringLiteral("PROTAG");
inline const QString ProMonat = QStringLiteral("PROMONAT");
inline const QString MasterKey = QStringLiteral("MASTERKEY");

inline const QString Software = QStringLiteral("SOFTWARE");
inline const QString V1 = QStringLiteral("V1");
inline const QString V2 = QStringLiteral("V2");
inline const QString V3 = QStringLiteral("V3");

inline const QString WMBus = QStringLiteral("WM-BUS");
inline const QString ModeT = QStringLiteral("MODET");
inline const QString ModeS = QStringLiteral("MODES");
inline const QString FilterHersteller = QStringLiteral("FILTER_HERSTELLER");
inline const QString FilterMedium = QStringLiteral("FILTER_MEDIUM");
inline const QString FilterIds = QStringLiteral("FILTER_IDS");
inline QString filterHs(int n)
{
    return QStringLiteral("FILTER_HS%1").arg(n);
}
inline QString filterMc(int n)
{
    return QStringLiteral("FILTER_MC%1").arg(n);
}

inline const QString WMBusIds = QStringLiteral("WM-BUS_IDS");
inline QString radioIdKey(int n)
{
    return QStringLiteral("ID%1").arg(n);
}

inline const QString FileFilter = QStringLiteral("Gateway Setup  (*.gwini)");

// Defaults shared by every reader.
inline const QString DefaultMasterKey = QStringLiteral("7C3E9A15D2084BF6E1A05C93D76F2B48");
inline const QString DefaultTimeStamp = QStringLiteral("0.0.0 00:00:00");
inline const QString DefaultManufacturer = QStringLiteral("QLB");
inline const QString DefaultMedium = QStringLiteral("8");
constexpr int DefaultPort = 23;
constexpr bool DefaultDhcp = true;
constexpr bool DefaultSofort = false;
constexpr bool DefaultProH = true;
constexpr bool DefaultProTag = false;
constexpr bool DefaultProMonat = false;
constexpr bool DefaultModeT = true;
constexpr bool DefaultFilterMedium = false;
constexpr bool DefaultFilterIds = false;
// The two readers disagree: the dialog shows the manufacturer filter off, the conversion turns it on.
constexpr bool DefaultFilterHerstellerDialog = false;
constexpr bool DefaultFilterHerstellerConversion = true;
constexpr int DefaultV1 = 1;
constexpr int DefaultV2 = 0;
constexpr int DefaultV3 = 0;

// Dialog defaults for the address keys it shows.
inline const QString DefaultSubnetMask = QStringLiteral("255.255.255.0");
inline const QString DefaultDnsServer = QStringLiteral("9.9.9.9");
inline const QString DefaultNtpServer = QStringLiteral("192.53.103.108");

} // namespace SetupKeys

// What the window, the dialog and the command line say when a gateway has no setup file.
inline const QString NoSetupForGatewayText = QStringLiteral("Kein Setup für diese GWID vorhanden!");

// folder (ending with a separator) + "SETUPGW_0A_1B_2C.GWINI".
QString SetupFilePath(const QString& folder, const GatewayId& id);
