#include "SetupFormValues.h"

#include "base/IniFile.h"

#include "FieldRules.h"
#include "SetupFile.h"

using namespace SetupKeys;

namespace {

QString addressMessage(const QString& text)
{
    return QStringLiteral("Das ist keine gültige IP-Adresse=") + text;
}

std::optional<qint64> wholeNumber(const QString& text)
{
    return IniFile::parseInteger(text);
}

// Radio IDs are read as numbers and shown with eight digits; anything else stays visible as it is,
// so the save can name it.
QString radioIdText(const QString& stored)
{
    const std::optional<qint64> number = wholeNumber(stored);
    if (!number)
        return stored;
    return QString::asprintf("%.8lld", static_cast<long long>(*number));
}

} // namespace

SetupFormValues SetupFormValues::initial()
{
    SetupFormValues v;
    v.serverDns = SetupFormDefaults::ServerHost;
    v.dnsSrv = threeDigitAddress(DefaultDnsServer);
    v.ntp = threeDigitAddress(DefaultNtpServer);
    v.masterKey = DefaultMasterKey;
    v.hs.fill(DefaultManufacturer);
    v.mc.fill(QStringLiteral("7"));
    return v;
}

QString threeDigitAddress(const QString& dotted)
{
    QStringList parts = dotted.split(QLatin1Char('.'));
    for (QString& part : parts)
        part = part.rightJustified(3, QLatin1Char('0'));
    return parts.join(QLatin1Char('.'));
}

void loadSetupFormValues(const IniFile& ini, const QString& id2, const QString& id1, const QString& id0,
                         SetupFormValues& v)
{
    v.sendTime = ini.readString(Senden, SendTime, DefaultTimeStamp);
    v.empfTime = ini.readString(Get, GetTime, DefaultTimeStamp);
    if (id2.isEmpty() || id1.isEmpty() || id0.isEmpty()) {
        v.gwId2 = ini.readString(Netzwerk, GwId2, QStringLiteral("00"));
        v.gwId1 = ini.readString(Netzwerk, GwId1, QStringLiteral("00"));
        v.gwId0 = ini.readString(Netzwerk, GwId0, QStringLiteral("00"));
    } else {
        v.gwId2 = id2;
        v.gwId1 = id1;
        v.gwId0 = id0;
    }
    v.softVer = QStringLiteral("%1.%2.%3")
                    .arg(ini.readInteger(Software, V1, DefaultV1))
                    .arg(ini.readInteger(Software, V2, DefaultV2))
                    .arg(ini.readInteger(Software, V3, DefaultV3));
    v.anbauort = ini.readString(Netzwerk, Aort);
    v.serverDns = ini.readString(Netzwerk, SrvDns);
    v.port = QString::number(ini.readInteger(Netzwerk, Port, DefaultPort));
    v.dhcp = ini.readBool(Netzwerk, Dhcp, DefaultDhcp);
    v.festIp = ini.readString(Netzwerk, FestIp);
    v.gw = ini.readString(Netzwerk, GwIp);
    v.subMsk = ini.readString(Netzwerk, SubIp, DefaultSubnetMask);
    v.dnsSrv = ini.readString(Netzwerk, DnsIp, DefaultDnsServer);
    v.ntp = ini.readString(Netzwerk, NtpIp, DefaultNtpServer);

    // Setting a radio button clears the others of its group, clearing one touches only itself:
    // the last interval set in the file wins.
    const bool interval[] = {ini.readBool(Netzwerk, Sofort, DefaultSofort), ini.readBool(Netzwerk, ProH, DefaultProH),
                             ini.readBool(Netzwerk, ProTag, DefaultProTag),
                             ini.readBool(Netzwerk, ProMonat, DefaultProMonat)};
    int last = -1;
    for (int i = 0; i < 4; ++i) {
        if (interval[i])
            last = i;
    }
    v.sofort = last == 0;
    v.proH = last == 1;
    v.proTag = last == 2;
    v.proMonat = last == 3;

    v.masterKey = ini.readString(Netzwerk, MasterKey, DefaultMasterKey);

    const bool modeT = ini.readBool(WMBus, ModeT, DefaultModeT);
    v.modeS = ini.readBool(WMBus, ModeS, !modeT);
    v.modeT = modeT && !v.modeS;

    v.filtManCode = ini.readBool(WMBus, FilterHersteller, DefaultFilterHerstellerDialog);
    for (int n = 0; n < SetupFormValues::FilterCodes; ++n)
        v.hs[n] = ini.readString(WMBus, filterHs(n), DefaultManufacturer);
    v.filtMC = ini.readBool(WMBus, FilterMedium, DefaultFilterMedium);
    for (int n = 0; n < SetupFormValues::FilterCodes; ++n)
        v.mc[n] = ini.readString(WMBus, filterMc(n), DefaultMedium);
    v.filtFunkId = ini.readBool(WMBus, FilterIds, DefaultFilterIds);

    v.radioIds.clear();
    const QStringList idKeys = ini.keys(WMBusIds);
    for (const QString& key : idKeys)
        v.radioIds << radioIdText(ini.readString(WMBusIds, key));
}

QStringList setupFormProblems(const SetupFormValues& v)
{
    QStringList problems;

    for (const QString& pair : {v.gwId2, v.gwId1, v.gwId0}) {
        if (!FieldRules::hexPair(pair))
            problems << QStringLiteral("Ungültige Gateway ID: \"%1\" (zwei Hex-Ziffern erwartet)").arg(pair);
    }

    for (const QString& address : {v.festIp, v.gw, v.subMsk, v.dnsSrv, v.ntp}) {
        if (!FieldRules::address(address))
            problems << addressMessage(address);
    }

    // A fixed address must be a host of the network its own mask makes (with DHCP on it is not used).
    if (!v.dhcp) {
        const auto fixed = FieldRules::address(v.festIp);
        const auto mask = FieldRules::address(v.subMsk);
        if (fixed && mask)
            if (const QString problem = FieldRules::fixedAddressProblem(*fixed, *mask); !problem.isEmpty())
                problems << problem;
    }

    // An entry that starts like a number is meant as an address; anything else is a host name.
    if (!v.serverDns.isEmpty() && (v.serverDns[0].isDigit() || v.serverDns[0] == u'.') &&
        !FieldRules::address(v.serverDns))
        problems << addressMessage(v.serverDns);
    if (FieldRules::serverNameHasForeignCharacters(v.serverDns))
        problems << QStringLiteral("Server-Name enthält Zeichen, die das Gateway nicht kennt: \"%1\"").arg(v.serverDns);
    else if (!FieldRules::serverNameBytes(v.serverDns))
        problems << QStringLiteral("Server-Name zu lang: \"%1\" (höchstens 32 Zeichen)").arg(v.serverDns);

    if (!FieldRules::port(v.port))
        problems << QStringLiteral("Ungültiger Server Port: \"%1\" (1 bis 65535)").arg(v.port);

    if (v.radioIds.size() > SetupFormValues::MaxRadioIds)
        problems << QStringLiteral("Zu viele Funk-IDs: %1 (höchstens %2)")
                        .arg(v.radioIds.size())
                        .arg(SetupFormValues::MaxRadioIds);
    for (const QString& id : v.radioIds) {
        if (!FieldRules::radioId(id)) {
            problems << QStringLiteral("Ungültige Funk-ID: \"%1\" (1 bis 8 Ziffern)").arg(id);
            break;
        }
    }

    if (!FieldRules::masterKey(v.masterKey))
        problems << QStringLiteral("Ungültiger Master KEY: \"%1\" (genau 32 Hex-Ziffern)").arg(v.masterKey);

    for (const QString& code : v.hs) {
        if (!FieldRules::isManufacturerCodeText(code))
            problems << QStringLiteral("Ungültiger Hersteller-Code: \"%1\" (drei Buchstaben)").arg(code);
    }
    for (const QString& code : v.mc) {
        if (!FieldRules::mediumCode(code))
            problems << QStringLiteral("Ungültiger Mediumcode: \"%1\" (0 bis 255)").arg(code);
    }
    return problems;
}

Status validateSetupForm(const SetupFormValues& values)
{
    const QStringList problems = setupFormProblems(values);
    return problems.isEmpty() ? Status() : Status::failure(problems.first());
}

Status writeSetupForm(IniFile& ini, const SetupFormValues& v, const QDateTime& now)
{
    // Each write in form order; the first failure ends it.
    Status status;
    const auto text = [&ini, &status](const QString& section, const QString& key, const QString& value) {
        if (status)
            status = ini.writeString(section, key, value);
    };
    const auto flag = [&text](const QString& section, const QString& key, bool on) {
        text(section, key, on ? QStringLiteral("1") : QStringLiteral("0"));
    };

    text(Senden, SendTime, now.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    text(Netzwerk, GwId2, v.gwId2);
    text(Netzwerk, GwId1, v.gwId1);
    text(Netzwerk, GwId0, v.gwId0);
    text(Netzwerk, Aort, v.anbauort);
    text(Netzwerk, SrvDns, v.serverDns);
    text(Netzwerk, Port, QString::number(FieldRules::port(v.port).value_or(0)));
    flag(Netzwerk, Dhcp, v.dhcp);
    text(Netzwerk, FestIp, v.festIp);
    text(Netzwerk, GwIp, v.gw);
    text(Netzwerk, SubIp, v.subMsk);
    text(Netzwerk, DnsIp, v.dnsSrv);
    text(Netzwerk, NtpIp, v.ntp);
    flag(Netzwerk, Sofort, v.sofort);
    flag(Netzwerk, ProH, v.proH);
    flag(Netzwerk, ProTag, v.proTag);
    flag(Netzwerk, ProMonat, v.proMonat);
    text(Netzwerk, MasterKey, v.masterKey);
    if (!status)
        return status;

    ini.eraseSection(WMBus);
    flag(WMBus, ModeT, v.modeT);
    // MODES follows MODET, not the S button: with neither button checked the gateway runs S.
    flag(WMBus, ModeS, !v.modeT);
    flag(WMBus, FilterHersteller, v.filtManCode);
    for (int n = 0; n < SetupFormValues::FilterCodes; ++n)
        text(WMBus, filterHs(n), v.hs[n]);
    flag(WMBus, FilterMedium, v.filtMC);
    for (int n = 0; n < SetupFormValues::FilterCodes; ++n)
        text(WMBus, filterMc(n), v.mc[n]);
    flag(WMBus, FilterIds, v.filtFunkId);
    if (!status)
        return status;

    ini.eraseSection(WMBusIds);
    for (int k = 0; k < v.radioIds.size(); ++k)
        text(WMBusIds, radioIdKey(k), QString::number(FieldRules::radioId(v.radioIds[k]).value_or(0)));
    return status;
}
