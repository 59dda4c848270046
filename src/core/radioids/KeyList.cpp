#include "KeyList.h"

#include "RadioIdText.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five unassigned bytes keep their C1
// code points, as Windows itself maps them.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<quint8>(bytes[i]);
        text[i] = QChar(b >= 0x80 && b <= 0x9F ? cp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

QString decodeAs(QStringConverter::Encoding encoding, QByteArrayView bytes)
{
    // The mark has been taken off already; a second one is text.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder(bytes);
}

QString decode(const QByteArray& bytes)
{
    const QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        return decodeAs(QStringConverter::Utf8, view.sliced(3));
    if (view.startsWith("\xFF\xFE"))
        return decodeAs(QStringConverter::Utf16LE, view.sliced(2));
    if (view.startsWith("\xFE\xFF"))
        return decodeAs(QStringConverter::Utf16BE, view.sliced(2));
    return fromWindows1252(view);
}

} // namespace

QString KeyListImport::message() const
{
    switch (outcome) {
    case Outcome::Done:
        return QString();
    case Outcome::TooManyColumns:
        return QStringLiteral("Mehr als 9 Spalten vorhanden. Falsches Format!");
    case Outcome::Unexpected:
        return QStringLiteral("Unerwarteter Fehler in CSV!");
    }
    return QString();
}

QStringList readKeyListLines(const QByteArray& bytes)
{
    const QString text = decode(bytes);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

QStringList splitKeyListLine(const QString& line)
{
    QStringList fields;
    if (line.isEmpty())
        return fields;

    qsizetype pos = 0;
    while (true) {
        QString field;
        if (pos < line.size() && line[pos] == u'"') {
            ++pos;
            while (pos < line.size()) {
                if (line[pos] == u'"') {
                    if (pos + 1 < line.size() && line[pos + 1] == u'"') {
                        field += u'"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field += line[pos++];
            }
        }
        const qsizetype semicolon = line.indexOf(u';', pos);
        const qsizetype end = semicolon < 0 ? line.size() : semicolon;
        field += QStringView(line).mid(pos, end - pos);
        fields.append(field);
        if (semicolon < 0)
            break;
        pos = semicolon + 1;
    }
    return fields;
}

QString ExtractRadioID(const QString& field)
{
    qsizetype first = 0;
    qsizetype last = field.size();
    while (first < last && field[first].unicode() <= 32)
        ++first;
    while (last > first && field[last - 1].unicode() <= 32)
        --last;
    QStringView text = QStringView(field).mid(first, last - first);

    for (int prefix = 0; prefix < 3; ++prefix) {
        const qsizetype blank = text.indexOf(u' ');
        if (blank >= 0)
            text = text.mid(blank + 1);
    }

    QString digits;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            digits += c;
    }
    return digits;
}

KeyListImport parseKeyList(const QByteArray& bytes)
{
    KeyListImport out;
    const QStringList lines = readKeyListLines(bytes);
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QStringList fields = splitKeyListLine(lines[k]);
        if (fields.size() > KeyListImport::MaxFields) {
            out.outcome = KeyListImport::Outcome::TooManyColumns;
            return out;
        }
        if (k == 0)
            continue;
        const QString id = ExtractRadioID(fields.isEmpty() ? QString() : fields.first());
        if (isStorableRadioId(id))
            out.ids.append(id);
        else
            ++out.skipped;
    }
    return out;
}

KeyListImport importKeyList(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        KeyListImport failed;
        failed.outcome = KeyListImport::Outcome::Unexpected;
        return failed;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        KeyListImport failed;
        failed.outcome = KeyListImport::Outcome::Unexpected;
        return failed;
    }
    return parseKeyList(bytes);
}
