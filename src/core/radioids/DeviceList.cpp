#include "DeviceList.h"

#include "RadioIdText.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <vector>

namespace {

using Section = QHash<QString, QString>;

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

struct Document
{
    QHash<QString, Section> sections; // folded section name -> folded key -> value
    std::vector<int> houses;          // i of every section named HAUS<i>, ascending, no duplicates

    int integer(const QString& section, const QString& key, int def) const
    {
        const auto s = sections.constFind(section);
        if (s == sections.cend())
            return def;
        const auto v = s->constFind(key);
        return v == s->cend() ? def : deviceListInteger(*v, def);
    }
};

// House numbers are written without leading zeros, so only that spelling can match a lookup.
bool houseNumber(const QString& folded, int& number)
{
    static const QString prefix = QStringLiteral("haus");
    if (!folded.startsWith(prefix))
        return false;
    const QStringView digits = QStringView(folded).mid(prefix.size());
    if (digits.isEmpty() || digits.size() > 10 || digits.front() == u'0')
        return false;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
    }
    bool ok = false;
    number = digits.toInt(&ok);
    return ok;
}

Document parseDocument(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    Document doc;
    Section ignored;            // keys of a repeated section: the first section of a name wins
    Section* current = nullptr; // lines before the first section belong to none

    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const QStringView line = QStringView(text).mid(pos, end - pos).trimmed();
        pos = end;
        if (pos < text.size() && text[pos] == u'\r')
            ++pos;
        if (pos < text.size() && text[pos] == u'\n')
            ++pos;

        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[' && line.back() == u']') {
            const QString name = foldName(line.mid(1, line.size() - 2));
            if (doc.sections.contains(name)) {
                ignored.clear();
                current = &ignored;
                continue;
            }
            current = &doc.sections[name];
            int house = 0;
            if (houseNumber(name, house))
                doc.houses.push_back(house);
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString key = foldName(eq < 0 ? line : line.left(eq));
        if (key.isEmpty() || current->contains(key))
            continue;
        current->insert(key, eq < 0 ? QString() : line.mid(eq + 1).trimmed().toString());
    }
    std::sort(doc.houses.begin(), doc.houses.end());
    return doc;
}

bool isDigit(QChar c, int base, int& value)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        value = u - u'0';
    else if (base == 16 && u >= u'a' && u <= u'f')
        value = u - u'a' + 10;
    else if (base == 16 && u >= u'A' && u <= u'F')
        value = u - u'A' + 10;
    else
        return false;
    return true;
}

} // namespace

int deviceListInteger(const QString& value, int def)
{
    QStringView text = QStringView(value).trimmed();
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        quint64 pattern = 0;
        for (const QChar c : text.mid(2)) {
            int digit = 0;
            if (!isDigit(c, 16, digit))
                return def;
            pattern = pattern * 16 + digit;
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
        int digit = 0;
        if (!isDigit(c, 10, digit))
            return def;
        magnitude = magnitude * 10 + digit;
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

    const int houseCount = doc.integer(QStringLiteral("route"), QStringLiteral("hauser"), 0);
    int visited = 0;
    // A house without a section has no devices, so only the houses that stand in the file are walked.
    for (const int house : doc.houses) {
        if (house > houseCount)
            break;
        const QString houseSection = QStringLiteral("haus%1").arg(house);
        const int deviceCount = doc.integer(houseSection, QStringLiteral("anzs"), 0);
        for (int device = 1; device <= deviceCount; ++device) {
            if (visited == DeviceListImport::MaxDevices) {
                out.truncated = true;
                return out;
            }
            ++visited;
            const int id = doc.integer(houseSection + QStringLiteral("_s%1").arg(device), QStringLiteral("radioid"), 1);
            const QString text = QString::number(id);
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
    QFile file(path);
    if (!file.exists())
        return DeviceListImport();
    if (!file.open(QIODevice::ReadOnly))
        return Result<DeviceListImport>::failure(file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Result<DeviceListImport>::failure(file.errorString());
    return parseDeviceList(bytes);
}
