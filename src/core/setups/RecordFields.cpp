#include "RecordFields.h"

#include "SetupFile.h"

#include <QHash>

#include <algorithm>

using namespace SetupKeys;

namespace {
QStringList groupNames()
{
    QStringList names;
    for (const FieldGroupInfo& g : fieldGroups())
        names << g.name;
    return names;
}
} // namespace

QString RecordField::name() const
{
    return key.isEmpty() ? section : section + QLatin1Char('/') + key;
}

void RecordField::copy(const GWSetupRecord& from, GWSetupRecord& to) const
{
    if (size > 0) {
        std::copy_n(from.raw().begin() + offset, size, to.raw().begin() + offset);
        return;
    }
    quint8& target = to.raw()[offset];
    target = quint8((target & ~bit) | (from.raw()[offset] & bit));
}

const QList<RecordField>& recordFields()
{
    static const QList<RecordField> fields = [] {
        using R = GWSetupRecord;
        QList<RecordField> f{
            {Netzwerk, SrvDns, R::OffServerName, R::ServerNameSize, 0},
            {Netzwerk, Port, R::OffServerPort, 2, 0},
            {Netzwerk, Dhcp, R::OffNetworkFlags, 0, R::Dhcp},
            {Netzwerk, FestIp, R::OffFixedIp, 4, 0},
            {Netzwerk, GwIp, R::OffRouterIp, 4, 0},
            {Netzwerk, SubIp, R::OffSubnetMask, 4, 0},
            {Netzwerk, DnsIp, R::OffDnsIp, 4, 0},
            {Netzwerk, NtpIp, R::OffNtpIp, 4, 0},
            {Netzwerk, Sofort, R::OffNetworkFlags, 0, R::ReportImmediately},
            {Netzwerk, ProH, R::OffNetworkFlags, 0, R::ReportHourly},
            {Netzwerk, ProTag, R::OffNetworkFlags, 0, R::ReportDaily},
            {Netzwerk, ProMonat, R::OffNetworkFlags, 0, R::ReportMonthly},
            {Netzwerk, MasterKey, R::OffMasterKey, R::MasterKeySize, 0},
            {WMBus, ModeT, R::OffWMBusFlags, 0, R::ModeT},
            {WMBus, ModeS, R::OffWMBusFlags, 0, R::ModeT}, // the inverse of MODET: the same bit
            {WMBus, FilterHersteller, R::OffWMBusFlags, 0, R::ManufacturerFilter},
            {WMBus, FilterMedium, R::OffWMBusFlags, 0, R::MediumFilter},
            {WMBus, FilterIds, R::OffWMBusFlags, 0, R::RadioIdFilter},
        };
        for (int n = 0; n < R::FilterCodes; ++n)
            f << RecordField{WMBus, filterHs(n), R::OffManufacturerCodes + 3 * n, 3, 0};
        for (int n = 0; n < R::FilterCodes; ++n)
            f << RecordField{WMBus, filterMc(n), R::OffMediumCodes + n, 1, 0};
        f << RecordField{WMBusIds, QString(), R::OffRadioIds, 4 * R::RadioIdSlots, 0};
        return f;
    }();
    return fields;
}

std::optional<RecordField> recordField(const QString& name)
{
    for (const RecordField& f : recordFields())
        if (f.name().compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return f;
    return std::nullopt;
}

const QList<FieldGroupInfo>& fieldGroups()
{
    static const QList<FieldGroupInfo> groups = [] {
        const auto in = [](const QString& section, const QString& key) { return section + QLatin1Char('/') + key; };
        QStringList manufacturer{in(WMBus, FilterHersteller)}, medium{in(WMBus, FilterMedium)};
        for (int n = 0; n < GWSetupRecord::FilterCodes; ++n) {
            manufacturer << in(WMBus, filterHs(n));
            medium << in(WMBus, filterMc(n));
        }
        return QList<FieldGroupInfo>{
            {FieldGroup::Server, QStringLiteral("Server"), {in(Netzwerk, SrvDns), in(Netzwerk, Port)}, true},
            {FieldGroup::Interval,
             QStringLiteral("Intervall"),
             {in(Netzwerk, Sofort), in(Netzwerk, ProH), in(Netzwerk, ProTag), in(Netzwerk, ProMonat)},
             true},
            {FieldGroup::RadioMode, QStringLiteral("Funkmodus"), {in(WMBus, ModeT), in(WMBus, ModeS)}, true},
            {FieldGroup::ManufacturerFilter, QStringLiteral("Hersteller-Filter"), manufacturer, false},
            {FieldGroup::MediumFilter, QStringLiteral("Mediumcode-Filter"), medium, false},
            {FieldGroup::RadioIdList, QStringLiteral("Funk-ID-Liste"), {in(WMBus, FilterIds), WMBusIds}, false},
        };
    }();
    return groups;
}

const FieldGroupInfo& fieldGroup(FieldGroup group)
{
    return fieldGroups()[int(group)];
}

QList<RecordField> groupFields(FieldGroup group)
{
    QList<RecordField> fields;
    for (const QString& name : fieldGroup(group).fieldNames)
        fields << *recordField(name);
    return fields;
}

QList<RecordField> defaultFleetFields()
{
    QList<RecordField> fields;
    for (const FieldGroupInfo& g : fieldGroups())
        if (g.byDefault)
            fields << groupFields(g.group);
    return fields;
}

Result<QList<RecordField>> parseFieldList(const QString& text)
{
    QStringList names;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString name = part.trimmed();
        if (name.isEmpty())
            continue;
        const auto group = std::find_if(fieldGroups().begin(), fieldGroups().end(), [&name](const FieldGroupInfo& g) {
            return g.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (group != fieldGroups().end()) {
            names << group->fieldNames;
            continue;
        }
        const std::optional<RecordField> field = recordField(name);
        if (!field)
            return Result<QList<RecordField>>::failure(
                QStringLiteral("Unbekanntes Feld: \"%1\" (erwartet ABSCHNITT/SCHLÜSSEL einer Setup-Datei wie "
                               "NETZWERK/PORT oder eine Gruppe: %2)")
                    .arg(name, groupNames().join(QStringLiteral(", "))));
        names << field->name();
    }
    QList<RecordField> fields;
    for (const RecordField& f : recordFields())
        if (names.contains(f.name()))
            fields << f;
    if (fields.isEmpty())
        return Result<QList<RecordField>>::failure(QStringLiteral("--fields nennt kein Feld"));
    return fields;
}

QStringList requiredKeys(const QList<RecordField>& fields)
{
    QStringList keys;
    for (const RecordField& f : fields)
        if (!(f.section == WMBus && f.key == ModeS))
            keys << f.name();
    return keys;
}

QString fieldLabel(const QString& section, const QString& key)
{
    static const QHash<QString, QString> labels = [] {
        const auto in = [](const QString& s, const QString& k) { return s + QLatin1Char('/') + k; };
        QHash<QString, QString> l{
            {in(Netzwerk, SrvDns), QStringLiteral("Server (DNS Name oder IP Adresse)")},
            {in(Netzwerk, Port), QStringLiteral("Server Port")},
            {in(Netzwerk, Dhcp), QStringLiteral("mit DHCP")},
            {in(Netzwerk, FestIp), QStringLiteral("feste IP (sonst mit)")},
            {in(Netzwerk, GwIp), QStringLiteral("Gateway (Router)")},
            {in(Netzwerk, SubIp), QStringLiteral("Subnet Maske")},
            {in(Netzwerk, DnsIp), QStringLiteral("DNS Server")},
            {in(Netzwerk, NtpIp), QStringLiteral("NTP Server")},
            {in(Netzwerk, MasterKey), QStringLiteral("Master KEY")},
            {in(Netzwerk, Sofort), QStringLiteral("Verbindungsintervall")},
            {in(Netzwerk, ProH), QStringLiteral("Verbindungsintervall")},
            {in(Netzwerk, ProTag), QStringLiteral("Verbindungsintervall")},
            {in(Netzwerk, ProMonat), QStringLiteral("Verbindungsintervall")},
            {in(WMBus, ModeT), QStringLiteral("wM-Bus Mode")},
            {in(WMBus, ModeS), QStringLiteral("wM-Bus Mode")},
            {in(WMBus, FilterHersteller), QStringLiteral("Filterung nach Hersteller")},
            {in(WMBus, FilterMedium), QStringLiteral("Filterung nach Mediumcode")},
            {in(WMBus, FilterIds), QStringLiteral("Filterung nach FunkID's")},
        };
        for (int n = 0; n < GWSetupRecord::FilterCodes; ++n) {
            l.insert(in(WMBus, filterHs(n)), QStringLiteral("Hersteller %1").arg(n + 1));
            l.insert(in(WMBus, filterMc(n)), QStringLiteral("Mediumcode %1").arg(n + 1));
        }
        return l;
    }();
    if (section.compare(WMBusIds, Qt::CaseInsensitive) == 0)
        return QStringLiteral("Funk-IDs");
    return labels.value(section.toUpper() + QLatin1Char('/') + key.toUpper());
}
