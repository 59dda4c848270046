#include "RecordFields.h"

#include "SetupFile.h"

#include <algorithm>

using namespace SetupKeys;

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

QStringList fleetFieldNames()
{
    const auto in = [](const QString& section, const QString& key) { return section + QLatin1Char('/') + key; };
    QStringList names{in(Netzwerk, SrvDns),        in(Netzwerk, Port),      in(Netzwerk, Sofort), in(Netzwerk, ProH),
                      in(Netzwerk, ProTag),        in(Netzwerk, ProMonat),  in(WMBus, ModeT),     in(WMBus, ModeS),
                      in(WMBus, FilterHersteller), in(WMBus, FilterMedium), in(WMBus, FilterIds)};
    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n)
        names << in(WMBus, filterHs(n)) << in(WMBus, filterMc(n));
    names << WMBusIds;
    return names;
}
