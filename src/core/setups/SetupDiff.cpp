#include "SetupDiff.h"

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

QString gatewayToFile(const FieldDifference& d)
{
    return QStringLiteral("%1: %2 -> %3").arg(d.name(), d.first, d.second);
}
