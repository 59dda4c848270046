#include "SetupDiff.h"

#include "RecordFields.h"
#include "SetupConversion.h"
#include "SetupFile.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>

namespace {

// Bytes the record carries without a key: the gateway ID (from the caller when converting) and the
// reserved ranges, compared byte for byte.
struct RawRange
{
    int offset;
    int size;
    QString name;
};

QList<RawRange> rawRanges()
{
    QList<RawRange> ranges{{GWSetupRecord::OffGatewayId, 3, GatewayIdField}};
    for (const auto& [offset, size] : GWSetupRecord::ReservedRanges)
        ranges << RawRange{offset, size, QStringLiteral("Reservierte Bytes %1-%2").arg(offset).arg(offset + size - 1)};
    return ranges;
}

QString hexBytes(const GWSetupRecord& r, const RawRange& range)
{
    QStringList bytes;
    for (int i = 0; i < range.size; ++i)
        bytes << QString::asprintf("%.2X", r.raw()[range.offset + i]);
    return bytes.join(QLatin1Char(' '));
}

QString fieldKey(const SetupFileValue& v)
{
    return v.section + QLatin1Char('\n') + v.key;
}

} // namespace

QString FieldDifference::name() const
{
    return section.isEmpty() ? key : QStringLiteral("[%1] %2").arg(section, key);
}

QList<FieldDifference> compareRecords(const GWSetupRecord& first, const GWSetupRecord& second)
{
    QList<FieldDifference> differences;
    for (const RawRange& range : rawRanges()) {
        const QString a = hexBytes(first, range), b = hexBytes(second, range);
        if (a != b)
            differences << FieldDifference{QString(), range.name, a, b};
    }
    // The keyed values in file order; an entry one side lacks (an empty radio-ID slot) is "".
    const QList<SetupFileValue> a = recordFileValues(first), b = recordFileValues(second);
    QHash<QString, QString> secondValues;
    for (const SetupFileValue& v : b)
        secondValues.insert(fieldKey(v), v.text);
    QList<SetupFileValue> order = a;
    for (const SetupFileValue& v : b)
        if (!std::any_of(a.begin(), a.end(), [&v](const SetupFileValue& w) { return fieldKey(w) == fieldKey(v); }))
            order << SetupFileValue{v.section, v.key, QString()};
    QHash<QString, QString> firstValues;
    for (const SetupFileValue& v : a)
        firstValues.insert(fieldKey(v), v.text);
    for (const SetupFileValue& v : order) {
        if (v.section == SetupKeys::Software)
            continue; // the firmware version is the gateway's own
        const QString one = firstValues.value(fieldKey(v)), other = secondValues.value(fieldKey(v));
        if (one != other)
            differences << FieldDifference{v.section, v.key, one, other};
    }
    return differences;
}

QList<FieldDifference> formDifferences(const GWSetupRecord& reported, const SetupFormValues& values)
{
    if (!setupFormProblems(values).isEmpty())
        return {};
    IniFile ini;
    if (!writeSetupForm(ini, values, QDateTime::currentDateTime()))
        return {};
    GWSetupRecord record = reported;
    if (!SetupIniToRecord(ini, reported.gatewayId(), record))
        return {};
    return compareRecords(reported, record);
}

QString sentAndRead(const FieldDifference& d)
{
    return QStringLiteral("%1: gesendet %2, gelesen %3")
        .arg(d.name(), d.first.isEmpty() ? QStringLiteral("(leer)") : d.first,
             d.second.isEmpty() ? QStringLiteral("(leer)") : d.second);
}

namespace {

QString intervalText(const GWSetupRecord& r)
{
    QStringList on;
    if (r.networkFlag(GWSetupRecord::ReportImmediately))
        on << QStringLiteral("sofort");
    if (r.networkFlag(GWSetupRecord::ReportHourly))
        on << QStringLiteral("pro h");
    if (r.networkFlag(GWSetupRecord::ReportDaily))
        on << QStringLiteral("pro Tag");
    if (r.networkFlag(GWSetupRecord::ReportMonthly))
        on << QStringLiteral("pro Monat");
    return on.isEmpty() ? QStringLiteral("keins") : on.join(QStringLiteral(" + "));
}

QString modeText(const GWSetupRecord& r)
{
    return r.wmbusFlag(GWSetupRecord::ModeT) ? QStringLiteral("T/C") : QStringLiteral("S");
}

QStringList radioIds(const GWSetupRecord& r)
{
    QStringList ids;
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        if (const quint32 v = r.radioIdSlot(slot))
            ids << QString::asprintf("%.8X", v);
    return ids;
}

// A value as the dialog shows it: yes/no for a flag, an address without the file's leading zeros.
QString shown(const QString& section, const QString& key, const QString& text)
{
    using namespace SetupKeys;
    if (section == Netzwerk && (key == Dhcp || key == Sofort || key == ProH || key == ProTag || key == ProMonat))
        return text == QLatin1String("1") ? QStringLiteral("ja") : QStringLiteral("nein");
    if (section == WMBus && key.startsWith(QLatin1String("FILTER_")) && !key.startsWith(QLatin1String("FILTER_HS")) &&
        !key.startsWith(QLatin1String("FILTER_MC")))
        return text == QLatin1String("1") ? QStringLiteral("ja") : QStringLiteral("nein");
    if (section == Netzwerk && (key == FestIp || key == GwIp || key == SubIp || key == DnsIp || key == NtpIp)) {
        if (const std::optional<GWSetupRecord::Address> a = FieldRules::address(text))
            return QStringLiteral("%1.%2.%3.%4").arg((*a)[0]).arg((*a)[1]).arg((*a)[2]).arg((*a)[3]);
    }
    return text.isEmpty() ? QStringLiteral("(leer)") : text;
}

} // namespace

QString FieldChange::text() const
{
    if (!idList)
        return QStringLiteral("%1: %2 → %3").arg(label, from, to);
    QStringList parts;
    for (const QString& id : to.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        parts << u'+' + id;
    for (const QString& id : from.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        parts << QChar(0x2212) + id;
    if (parts.isEmpty())
        parts << QStringLiteral("Reihenfolge geändert");
    return label + QStringLiteral(": ") + parts.join(QLatin1Char(' '));
}

QString FieldChange::sentAndRead() const
{
    if (idList) {
        QStringList parts;
        if (!from.isEmpty())
            parts << QStringLiteral("gesendet, nicht gelesen %1").arg(from);
        if (!to.isEmpty())
            parts << QStringLiteral("gelesen, nicht gesendet %1").arg(to);
        if (parts.isEmpty())
            parts << QStringLiteral("Reihenfolge abweichend");
        return label + QStringLiteral(": ") + parts.join(QStringLiteral("; "));
    }
    return QStringLiteral("%1: gesendet %2, gelesen %3").arg(label, from, to);
}

QList<FieldChange> describeChanges(const GWSetupRecord& first, const GWSetupRecord& second)
{
    return describeChanges(first, second, compareRecords(first, second));
}

QList<FieldChange> describeChanges(const GWSetupRecord& first, const GWSetupRecord& second,
                                   const QList<FieldDifference>& differences)
{
    using namespace SetupKeys;
    QList<FieldChange> changes;
    QHash<QString, qsizetype> joined; // label of a change that several keys make -> its index
    for (const FieldDifference& d : differences) {
        const QString keyName = d.section.isEmpty() ? d.key : d.section + QLatin1Char('/') + d.key;
        FieldChange c;
        c.label = d.section.isEmpty() ? d.key : fieldLabel(d.section, d.key);
        if (c.label.isEmpty())
            c.label = d.name();
        c.keys << keyName;
        const bool interval = d.section == Netzwerk && fieldLabel(d.section, d.key) == fieldLabel(Netzwerk, ProH);
        const bool mode = d.section == WMBus && (d.key == ModeT || d.key == ModeS);
        const bool ids = d.section == WMBusIds;
        if (interval || mode || ids) {
            if (const auto it = joined.constFind(c.label); it != joined.constEnd()) {
                changes[*it].keys << keyName;
                continue;
            }
            joined.insert(c.label, changes.size());
        }
        if (interval) {
            c.from = intervalText(first);
            c.to = intervalText(second);
        } else if (mode) {
            c.from = modeText(first);
            c.to = modeText(second);
        } else if (ids) {
            const QStringList a = radioIds(first), b = radioIds(second);
            QStringList removed, added;
            for (const QString& id : a)
                if (!b.contains(id))
                    removed << id;
            for (const QString& id : b)
                if (!a.contains(id))
                    added << id;
            c.idList = true;
            c.from = removed.join(QLatin1Char(' '));
            c.to = added.join(QLatin1Char(' '));
        } else {
            c.from = shown(d.section, d.key, d.first);
            c.to = shown(d.section, d.key, d.second);
        }
        changes << c;
    }
    return changes;
}
