#include "SetupConversion.h"

#include "HexPair.h"
#include "SetupFile.h"
#include "base/IniFile.h"

#include <QDateTime>
#include <QFileInfo>

using namespace SetupKeys;

namespace {

QString dottedQuad(const GWSetupRecord::Address& a)
{
    return QString::asprintf("%.3d.%.3d.%.3d.%.3d", a[0], a[1], a[2], a[3]);
}

// 8-bit texts of the record go through Windows-1252, which has a character for every byte, so any
// record can be written and read back.
QString eightBitText(const QByteArray& bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return IniFile::fromWindows1252(zero < 0 ? bytes : bytes.left(zero));
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

bool isDecimalDigits(const QString& text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// Collects the first failure of a sequence of writes.
class Writer
{
public:
    explicit Writer(IniFile& ini) : m_ini(ini) {}
    void text(const QString& section, const QString& key, const QString& value)
    {
        if (m_status.ok())
            m_status = m_ini.writeString(section, key, value);
    }
    void integer(const QString& section, const QString& key, int value) { text(section, key, QString::number(value)); }
    void boolean(const QString& section, const QString& key, bool value)
    {
        text(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
    }
    const Status& status() const { return m_status; }

private:
    IniFile& m_ini;
    Status m_status;
};

} // namespace

std::optional<GWSetupRecord::Address> ParseDottedQuad(const QString& text)
{
    GWSetupRecord::Address address{};
    QString rest = text;
    for (int i = 0; i < 4; ++i) {
        QString part;
        const qsizetype dot = rest.indexOf(u'.');
        if (dot < 0) {
            part = rest;
        } else {
            part = rest.left(dot);
            rest = rest.mid(dot + 1);
        }
        const std::optional<qint64> value = IniFile::parseInteger(part);
        if (!value || *value < 0 || *value > 255)
            return std::nullopt;
        address[i] = static_cast<quint8>(*value);
    }
    return address;
}

Status SetupRecordToFile(const QString& folder, const GatewayId& id, const GWSetupRecord& record)
{
    Result<IniFile> loaded = IniFile::load(SetupFilePath(folder, id));
    if (!loaded)
        return Status::failure(loaded.message());
    IniFile& ini = loaded.value();
    Writer w(ini);

    w.text(Get, GetTime, QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    w.text(Netzwerk, GwId2, QString::asprintf("%.2X", id.bytes[0]));
    w.text(Netzwerk, GwId1, QString::asprintf("%.2X", id.bytes[1]));
    w.text(Netzwerk, GwId0, QString::asprintf("%.2X", id.bytes[2]));

    const std::array<quint8, 3> firmware = record.firmwareVersion();
    w.integer(Software, V1, firmware[0]);
    w.integer(Software, V2, firmware[1]);
    w.integer(Software, V3, firmware[2]);

    w.text(Netzwerk, SrvDns, eightBitText(record.serverNameField()));
    w.integer(Netzwerk, Port, record.serverPort());
    w.boolean(Netzwerk, Dhcp, record.networkFlag(GWSetupRecord::Dhcp));
    w.text(Netzwerk, FestIp, dottedQuad(record.fixedIp()));
    w.text(Netzwerk, GwIp, dottedQuad(record.routerIp()));
    w.text(Netzwerk, SubIp, dottedQuad(record.subnetMask()));
    w.text(Netzwerk, DnsIp, dottedQuad(record.dnsIp()));
    w.text(Netzwerk, NtpIp, dottedQuad(record.ntpIp()));
    w.boolean(Netzwerk, Sofort, record.networkFlag(GWSetupRecord::ReportImmediately));
    w.boolean(Netzwerk, ProH, record.networkFlag(GWSetupRecord::ReportHourly));
    w.boolean(Netzwerk, ProTag, record.networkFlag(GWSetupRecord::ReportDaily));
    w.boolean(Netzwerk, ProMonat, record.networkFlag(GWSetupRecord::ReportMonthly));

    const bool modeT = record.wmbusFlag(GWSetupRecord::ModeT);
    w.boolean(WMBus, ModeT, modeT);
    w.boolean(WMBus, ModeS, !modeT);
    w.boolean(WMBus, FilterHersteller, record.wmbusFlag(GWSetupRecord::ManufacturerFilter));
    w.boolean(WMBus, FilterMedium, record.wmbusFlag(GWSetupRecord::MediumFilter));
    w.boolean(WMBus, FilterIds, record.wmbusFlag(GWSetupRecord::RadioIdFilter));
    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n)
        w.text(WMBus, filterHs(n), eightBitText(record.manufacturerCode(n)));

    QString key;
    for (quint8 b : record.masterKey())
        key += QString::asprintf("%.2X", b);
    w.text(Netzwerk, MasterKey, key);

    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n)
        w.integer(WMBus, filterMc(n), record.mediumCode(n));

    ini.eraseSection(WMBusIds);
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot) {
        const quint32 value = record.radioIdSlot(slot);
        if (value != 0)
            w.text(WMBusIds, radioIdKey(slot), QString::asprintf("%.8X", value));
    }

    if (!w.status())
        return w.status();
    return ini.save();
}

Status SetupFileToRecord(const QString& folder, const GatewayId& id, GWSetupRecord& record)
{
    const QString path = SetupFilePath(folder, id);
    if (!QFileInfo::exists(path))
        return Status::failure(QStringLiteral("Kein Setup für diese GWID vorhanden!"));
    const Result<IniFile> loaded = IniFile::load(path);
    if (!loaded)
        return Status::failure(loaded.message());
    const IniFile& ini = *loaded;

    GWSetupRecord r = record; // reserved bytes and firmware version are carried
    r.setGatewayId(id);

    const QString serverName = ini.readString(Netzwerk, SrvDns);
    const std::optional<QByteArray> serverBytes = IniFile::toWindows1252(serverName);
    if (!serverBytes)
        return invalidValue(Netzwerk, SrvDns, serverName, QStringLiteral("Zeichen außerhalb von Windows-1252"));
    if (serverBytes->size() > GWSetupRecord::ServerNameSize)
        return invalidValue(Netzwerk, SrvDns, serverName, QStringLiteral("mehr als 32 Zeichen"));
    r.setServerName(*serverBytes);

    quint16 port = DefaultPort;
    if (ini.hasKey(Netzwerk, Port)) {
        // A value that is no integer takes the default, as every integer key; a number outside the
        // port range is refused rather than cut to 16 bits.
        const QString text = ini.readString(Netzwerk, Port);
        if (const std::optional<qint64> value = IniFile::parseInteger(text)) {
            if (*value < 0 || *value > 65535)
                return invalidValue(Netzwerk, Port, text, QStringLiteral("0 bis 65535"));
            port = static_cast<quint16>(*value);
        }
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
        const std::optional<GWSetupRecord::Address> address = ParseDottedQuad(text);
        if (!address)
            return invalidValue(Netzwerk, a.key, text);
        r.setAddress(a.offset, *address);
    }

    r.setNetworkFlag(GWSetupRecord::ReportImmediately, ini.readBool(Netzwerk, Sofort, DefaultSofort));
    r.setNetworkFlag(GWSetupRecord::ReportHourly, ini.readBool(Netzwerk, ProH, DefaultProH));
    r.setNetworkFlag(GWSetupRecord::ReportDaily, ini.readBool(Netzwerk, ProTag, DefaultProTag));
    r.setNetworkFlag(GWSetupRecord::ReportMonthly, ini.readBool(Netzwerk, ProMonat, DefaultProMonat));

    const QString keyText = ini.readString(Netzwerk, MasterKey, DefaultMasterKey);
    const std::optional<std::array<quint8, 16>> key = parseMasterKeyText(keyText);
    if (!key)
        return invalidValue(Netzwerk, MasterKey, keyText, QStringLiteral("32 Hex-Ziffern erwartet"));
    r.setMasterKey(*key);

    // MODES is only the inverse of MODET and is not read.
    r.setWMBusFlag(GWSetupRecord::ModeT, ini.readBool(WMBus, ModeT, DefaultModeT));
    r.setWMBusFlag(GWSetupRecord::ManufacturerFilter,
                   ini.readBool(WMBus, FilterHersteller, DefaultFilterHerstellerConversion));
    r.setWMBusFlag(GWSetupRecord::MediumFilter, ini.readBool(WMBus, FilterMedium, DefaultFilterMedium));
    r.setWMBusFlag(GWSetupRecord::RadioIdFilter, ini.readBool(WMBus, FilterIds, DefaultFilterIds));

    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n) {
        const QString text = ini.readString(WMBus, filterHs(n), DefaultManufacturer);
        const QString upper = text.toUpper();
        bool letters = upper.size() == 3;
        for (QChar c : upper)
            letters = letters && c >= u'A' && c <= u'Z';
        if (!letters)
            return invalidValue(WMBus, filterHs(n), text, QStringLiteral("drei Buchstaben A bis Z erwartet"));
        r.setManufacturerCode(n, upper.toLatin1());
    }

    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n) {
        const QString text = ini.readString(WMBus, filterMc(n), DefaultMedium);
        const std::optional<qint64> value = IniFile::parseInteger(text);
        if (!value || *value < 0 || *value > 255)
            return invalidValue(WMBus, filterMc(n), text, QStringLiteral("0 bis 255"));
        r.setMediumCode(n, static_cast<quint8>(*value));
    }

    // The key numbers do not place the IDs: the k-th key in the file fills slot k.
    const QStringList idKeys = ini.keys(WMBusIds);
    if (idKeys.size() > GWSetupRecord::RadioIdSlots)
        return Status::failure(QStringLiteral("Mehr als %1 Funk-IDs in [%2] (%3)")
                                   .arg(GWSetupRecord::RadioIdSlots)
                                   .arg(WMBusIds)
                                   .arg(idKeys.size()));
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        r.setRadioIdSlot(slot, 0);
    for (int k = 0; k < idKeys.size(); ++k) {
        const QString text = ini.readString(WMBusIds, idKeys[k]);
        if (!isDecimalDigits(text, 8))
            return invalidValue(WMBusIds, idKeys[k], text, QStringLiteral("1 bis 8 Ziffern erwartet"));
        r.setRadioIdSlot(k, GWSetupRecord::toBcd(text.toUInt()));
    }

    record = r;
    return {};
}
