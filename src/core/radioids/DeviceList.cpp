#include "DeviceList.h"

#include "ImportFile.h"
#include "RadioIdText.h"

#include "base/Digits.h"

#include <QHash>
#include <QList>

#include <algorithm>

namespace {

// The names we look up are ASCII; folding only ASCII keeps characters such as the Kelvin sign from
// matching a "k" by accident.
QString foldName(QStringView name)
{
    QString folded = name.trimmed().toString();
    for (QChar& c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return folded;
}

// A decimal number as the import writes it into a section name: no leading zero, fits an int.
bool nameNumber(QStringView digits, int& number)
{
    if (digits.isEmpty() || digits.size() > 10 || digits.front() == u'0')
        return false;
    for (const QChar c : digits) {
        if (!digitValue(c))
            return false;
    }
    bool ok = false;
    number = digits.toInt(&ok);
    return ok;
}

// Only what the walk looks up is kept: HAUSER of ROUTE, ANZS of each HAUS<i>, RADIOID of each
// HAUS<i>_S<j>. A hostile list of a million sections costs a few bytes per section, not a table
// per section. Of duplicate sections and keys the first wins, as in any INI file.
struct Document
{
    struct Value
    {
        int number = 0;
        bool set = false;
    };
    bool routeSeen = false;
    Value houseCount;
    QHash<int, Value> houses;      // i -> ANZS
    QHash<quint64, Value> devices; // (i, j) -> RADIOID

    static quint64 deviceKey(int house, int device) { return (quint64(quint32(house)) << 32) | quint32(device); }
};

Document parseDocument(const QByteArray& bytes)
{
    static const QString route = QStringLiteral("route");
    static const QString haus = QStringLiteral("haus");
    static const QString hauser = QStringLiteral("hauser");
    static const QString anzs = QStringLiteral("anzs");
    static const QString radioid = QStringLiteral("radioid");

    Document doc;
    // The one key of the current section that counts; none before the first section.
    Document::Value* target = nullptr;
    const QString* targetKey = nullptr;
    int targetDefault = 0;

    // A byte-order mark (even a doubled one) is no part of the first line.
    qsizetype pos = 0;
    for (int mark = 0; mark < 2 && bytes.mid(pos, 3) == "\xEF\xBB\xBF"; ++mark)
        pos += 3;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const QString text = QString::fromUtf8(bytes.constData() + pos, end - pos);
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r')
            ++pos;
        if (pos < bytes.size() && bytes[pos] == '\n')
            ++pos;

        const QStringView line = QStringView(text).trimmed();
        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[' && line.back() == u']') {
            const QString name = foldName(line.mid(1, line.size() - 2));
            target = nullptr;
            int house = 0;
            int device = 0;
            const qsizetype split = name.indexOf(QStringLiteral("_s"));
            if (name == route) {
                if (!doc.routeSeen) {
                    doc.routeSeen = true;
                    target = &doc.houseCount;
                    targetKey = &hauser;
                    targetDefault = 0;
                }
            } else if (name.startsWith(haus) && split < 0 && nameNumber(QStringView(name).mid(haus.size()), house)) {
                if (!doc.houses.contains(house)) {
                    target = &doc.houses[house];
                    targetKey = &anzs;
                    targetDefault = 0;
                }
            } else if (name.startsWith(haus) && split > 0 &&
                       nameNumber(QStringView(name).mid(haus.size(), split - haus.size()), house) &&
                       nameNumber(QStringView(name).mid(split + 2), device)) {
                const quint64 key = Document::deviceKey(house, device);
                if (!doc.devices.contains(key)) {
                    target = &doc.devices[key];
                    targetKey = &radioid;
                    targetDefault = 1;
                }
            }
            continue;
        }
        if (!target || target->set)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (foldName(eq < 0 ? line : line.left(eq)) != *targetKey)
            continue;
        target->number = deviceListInteger(eq < 0 ? QString() : line.mid(eq + 1).trimmed().toString(), targetDefault);
        target->set = true;
    }
    return doc;
}

} // namespace

int deviceListInteger(const QString& value, int def)
{
    QStringView text = QStringView(value).trimmed();
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        quint64 pattern = 0;
        for (const QChar c : text.mid(2)) {
            const std::optional<int> digit = digitValue(c, 16);
            if (!digit)
                return def;
            pattern = pattern * 16 + *digit;
            if (pattern > 0xFFFFFFFFu)
                return def;
        }
        return static_cast<int>(static_cast<quint32>(pattern));
    }

    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return def;
    qint64 magnitude = 0;
    for (const QChar c : text) {
        const std::optional<int> digit = digitValue(c);
        if (!digit)
            return def;
        magnitude = magnitude * 10 + *digit;
        if (magnitude > 2147483648LL)
            return def;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > 2147483647LL)
        return def;
    return static_cast<int>(result);
}

DeviceListImport parseDeviceList(const QByteArray& bytes)
{
    const Document doc = parseDocument(bytes);
    DeviceListImport out;

    const int houseCount = doc.houseCount.set ? doc.houseCount.number : 0;
    QList<int> houses = doc.houses.keys();
    std::sort(houses.begin(), houses.end());
    int visited = 0;
    // A house without a section has no devices, so only the houses that stand in the file are walked.
    for (const int house : houses) {
        if (house > houseCount)
            break;
        const Document::Value count = doc.houses.value(house);
        const int deviceCount = count.set ? count.number : 0;
        for (int device = 1; device <= deviceCount; ++device) {
            if (visited == DeviceListImport::MaxDevices) {
                out.truncated = true;
                return out;
            }
            ++visited;
            const Document::Value id = doc.devices.value(Document::deviceKey(house, device));
            const QString text = QString::number(id.set ? id.number : 1);
            if (isStorableRadioId(text))
                out.ids.append(text);
            else
                ++out.skipped;
        }
    }
    return out;
}

Result<DeviceListImport> readDeviceListIds(const QString& path)
{
    const Result<std::optional<QByteArray>> bytes = readImportFile(path);
    if (!bytes)
        return Result<DeviceListImport>::failure(bytes.message());
    if (!bytes->has_value())
        return DeviceListImport();
    return parseDeviceList(**bytes);
}
