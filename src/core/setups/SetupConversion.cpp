#include "SetupConversion.h"

#include "FieldRules.h"
#include "SetupFile.h"
#include "base/IniFile.h"
#include "base/Windows1252.h"

#include <QDateTime>

using namespace SetupKeys;

namespace {

QString dottedQuad(const GWSetupRecord::Address& a)
{
    return QString::asprintf("%.3d.%.3d.%.3d.%.3d", a[0], a[1], a[2], a[3]);
}

// 8-bit texts of the record up to the first zero byte, through Windows-1252, which has a character
// for every byte.
QString eightBitText(const QByteArray& bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return Windows1252::decode(zero < 0 ? bytes : bytes.left(zero));
}

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

Status invalidValue(const QString& section, const QString& key, const QString& value, const QString& why = {})
{
    if (value.isEmpty())
        return Status::failure(QStringLiteral("Fehlender Wert in [%1] %2").arg(section, key));
    QString message = QStringLiteral("Ungültiger Wert in [%1] %2: %3").arg(section, key, value);
    if (!why.isEmpty())
        message += QStringLiteral(" (%1)").arg(why);
    return Status::failure(message);
}

} // namespace

QList<SetupFileValue> recordFileValues(const GWSetupRecord& record)
{
    QList<SetupFileValue> values;
    const auto add = [&values](const QString& section, const QString& key, const QString& text) {
        values.append({section, key, text});
    };

    const std::array<quint8, 3> firmware = record.firmwareVersion();
    add(Software, V1, QString::number(firmware[0]));
    add(Software, V2, QString::number(firmware[1]));
    add(Software, V3, QString::number(firmware[2]));

    add(Netzwerk, SrvDns, eightBitText(record.serverNameField()));
    add(Netzwerk, Port, QString::number(record.serverPort()));
    add(Netzwerk, Dhcp, flag(record.networkFlag(GWSetupRecord::Dhcp)));
    add(Netzwerk, FestIp, dottedQuad(record.fixedIp()));
    add(Netzwerk, GwIp, dottedQuad(record.routerIp()));
    add(Netzwerk, SubIp, dottedQuad(record.subnetMask()));
    add(Netzwerk, DnsIp, dottedQuad(record.dnsIp()));
    add(Netzwerk, NtpIp, dottedQuad(record.ntpIp()));
    add(Netzwerk, Sofort, flag(record.networkFlag(GWSetupRecord::ReportImmediately)));
    add(Netzwerk, ProH, flag(record.networkFlag(GWSetupRecord::ReportHourly)));
    add(Netzwerk, ProTag, flag(record.networkFlag(GWSetupRecord::ReportDaily)));
    add(Netzwerk, ProMonat, flag(record.networkFlag(GWSetupRecord::ReportMonthly)));
    QString key;
    for (quint8 b : record.masterKey())
        key += QString::asprintf("%.2X", b);
    add(Netzwerk, MasterKey, key);

    const bool modeT = record.wmbusFlag(GWSetupRecord::ModeT);
    add(WMBus, ModeT, flag(modeT));
    add(WMBus, ModeS, flag(!modeT));
    add(WMBus, FilterHersteller, flag(record.wmbusFlag(GWSetupRecord::ManufacturerFilter)));
    add(WMBus, FilterMedium, flag(record.wmbusFlag(GWSetupRecord::MediumFilter)));
    add(WMBus, FilterIds, flag(record.wmbusFlag(GWSetupRecord::RadioIdFilter)));
    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n)
        add(WMBus, filterHs(n), eightBitText(record.manufacturerCode(n)));
    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n)
        add(WMBus, filterMc(n), QString::number(record.mediumCode(n)));

    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot) {
        const quint32 value = record.radioIdSlot(slot);
        if (value != 0)
            add(WMBusIds, radioIdKey(slot), QString::asprintf("%.8X", value));
    }
    return values;
}

Result<IniFile> SetupRecordToIni(const QString& folder, const GatewayId& id, const GWSetupRecord& record)
{
    Result<IniFile> loaded = IniFile::load(SetupFilePath(folder, id));
    if (!loaded)
        return loaded;
    IniFile& ini = loaded.value();

    Status status =
        ini.writeString(Get, GetTime, QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    const std::pair<QString, QString> ids[] = {
        {GwId2, QString::asprintf("%.2X", id.bytes[0])},
        {GwId1, QString::asprintf("%.2X", id.bytes[1])},
        {GwId0, QString::asprintf("%.2X", id.bytes[2])},
    };
    for (const auto& [key, text] : ids) {
        if (status)
            status = ini.writeString(Netzwerk, key, text);
    }
    ini.eraseSection(WMBusIds);
    for (const SetupFileValue& v : recordFileValues(record)) {
        if (!status)
            break;
        status = ini.writeString(v.section, v.key, v.text);
    }
    if (!status)
        return Result<IniFile>::failure(status.message());
    return loaded;
}

Status SetupRecordToFile(const QString& folder, const GatewayId& id, const GWSetupRecord& record)
{
    const Result<IniFile> ini = SetupRecordToIni(folder, id, record);
    if (!ini)
        return Status::from(ini);
    return ini->save();
}

Status SetupFileToRecord(const QString& folder, const GatewayId& id, GWSetupRecord& record)
{
    const Result<IniFile> loaded = IniFile::load(SetupFilePath(folder, id));
    if (!loaded)
        return Status::from(loaded);
    if (!loaded->existedOnLoad())
        return Status::failure(NoSetupForGatewayText);
    return SetupIniToRecord(*loaded, id, record);
}

Status SetupIniToRecord(const IniFile& ini, const GatewayId& id, GWSetupRecord& record)
{
    GWSetupRecord r = record; // reserved bytes and firmware version are carried
    r.setGatewayId(id);

    const QString serverName = ini.readString(Netzwerk, SrvDns);
    const std::optional<QByteArray> serverBytes = FieldRules::serverNameBytes(serverName);
    if (!serverBytes)
        return invalidValue(Netzwerk, SrvDns, serverName,
                            FieldRules::serverNameHasForeignCharacters(serverName)
                                ? QStringLiteral("Zeichen, die das Gateway nicht speichern kann")
                                : QStringLiteral("mehr als 32 Zeichen"));
    r.setServerName(*serverBytes);

    quint16 port = DefaultPort;
    if (ini.hasKey(Netzwerk, Port)) {
        const QString text = ini.readString(Netzwerk, Port);
        const std::optional<quint16> value = FieldRules::port(text);
        if (!value)
            return invalidValue(Netzwerk, Port, text, QStringLiteral("1 bis 65535"));
        port = *value;
    }
    r.setServerPort(port);

    r.setNetworkFlags(0);
    r.setWMBusFlags(0);
    r.setNetworkFlag(GWSetupRecord::Dhcp, ini.readBool(Netzwerk, Dhcp, DefaultDhcp));

    const struct
    {
        const QString& key;
        int offset;
    } addresses[] = {
        {FestIp, GWSetupRecord::OffFixedIp}, {GwIp, GWSetupRecord::OffRouterIp}, {SubIp, GWSetupRecord::OffSubnetMask},
        {DnsIp, GWSetupRecord::OffDnsIp},    {NtpIp, GWSetupRecord::OffNtpIp},
    };
    for (const auto& a : addresses) {
        const QString text = ini.readString(Netzwerk, a.key);
        const std::optional<GWSetupRecord::Address> address = FieldRules::address(text);
        if (!address)
            return invalidValue(
                Netzwerk, a.key, text,
                QStringLiteral("vier Zahlen von 0 bis 255 mit je 1 bis 3 Ziffern, durch Punkte getrennt"));
        r.setAddress(a.offset, *address);
    }

    r.setNetworkFlag(GWSetupRecord::ReportImmediately, ini.readBool(Netzwerk, Sofort, DefaultSofort));
    r.setNetworkFlag(GWSetupRecord::ReportHourly, ini.readBool(Netzwerk, ProH, DefaultProH));
    r.setNetworkFlag(GWSetupRecord::ReportDaily, ini.readBool(Netzwerk, ProTag, DefaultProTag));
    r.setNetworkFlag(GWSetupRecord::ReportMonthly, ini.readBool(Netzwerk, ProMonat, DefaultProMonat));

    const QString keyText = ini.readString(Netzwerk, MasterKey, DefaultMasterKey);
    const auto key = FieldRules::masterKey(keyText);
    if (!key)
        return invalidValue(Netzwerk, MasterKey, keyText, QStringLiteral("32 Hex-Ziffern erwartet"));
    r.setMasterKey(*key);

    // MODES is only the inverse of MODET and is not read.
    r.setWMBusFlag(GWSetupRecord::ModeT, ini.readBool(WMBus, ModeT, DefaultModeT));
    r.setWMBusFlag(GWSetupRecord::ManufacturerFilter,
                   ini.readBool(WMBus, FilterHersteller, DefaultFilterHerstellerConversion));
    r.setWMBusFlag(GWSetupRecord::MediumFilter, ini.readBool(WMBus, FilterMedium, DefaultFilterMedium));
    r.setWMBusFlag(GWSetupRecord::RadioIdFilter, ini.readBool(WMBus, FilterIds, DefaultFilterIds));

    // Codes are carried as they stand: the gateway gets the bytes the file holds.
    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n) {
        const QString text = ini.readString(WMBus, filterHs(n), DefaultManufacturer);
        const std::optional<QByteArray> code = FieldRules::manufacturerCodeBytes(text);
        if (!code)
            return invalidValue(WMBus, filterHs(n), text, QStringLiteral("drei Zeichen aus Windows-1252 erwartet"));
        r.setManufacturerCode(n, *code);
    }

    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n) {
        const QString text = ini.readString(WMBus, filterMc(n), DefaultMedium);
        const std::optional<quint8> code = FieldRules::mediumCode(text);
        if (!code)
            return invalidValue(WMBus, filterMc(n), text, QStringLiteral("0 bis 255"));
        r.setMediumCode(n, *code);
    }

    // The key numbers do not place the IDs: the k-th key in the file fills slot k.
    // One more than the record holds is enough to refuse: a file of a million keys is not listed.
    const QStringList idKeys = ini.keys(WMBusIds, GWSetupRecord::RadioIdSlots + 1);
    if (idKeys.size() > GWSetupRecord::RadioIdSlots)
        return Status::failure(
            QStringLiteral("Mehr als %1 Funk-IDs in [%2]").arg(GWSetupRecord::RadioIdSlots).arg(WMBusIds));
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        r.setRadioIdSlot(slot, 0);
    for (int k = 0; k < idKeys.size(); ++k) {
        const QString text = ini.readString(WMBusIds, idKeys[k]);
        const std::optional<quint32> radioId = FieldRules::radioId(text);
        if (!radioId)
            return invalidValue(WMBusIds, idKeys[k], text, QStringLiteral("1 bis 8 Ziffern, nicht 0"));
        r.setRadioIdSlot(k, GWSetupRecord::toBcd(*radioId));
    }

    record = r;
    return {};
}
