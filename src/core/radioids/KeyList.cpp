#include "KeyList.h"

#include "ImportFile.h"
#include "RadioIdText.h"
#include "base/Digits.h"
#include "base/TextEncoding.h"

#include <QDir>

#include <limits>

namespace {

// Calls f(line) for every line of text, in order, without a list of all lines: CR LF, LF and CR
// end a line; a break at the very end opens no further line. f returns false to stop.
template <typename F> void forEachLine(const QString& text, F f)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        if (!f(QStringView(text).mid(start, i - start)))
            return;
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        f(QStringView(text).mid(start));
}

QString decode(const QByteArray& bytes)
{
    const TextEncodings::Detected detected = TextEncodings::detect(bytes);
    return TextEncodings::decode(detected.encoding, QByteArrayView(bytes).sliced(detected.bomSize));
}

// At most limit fields (the rest of the line is not split): a line of a million ";" costs no more
// than one of ten.
QStringList splitFields(QStringView line, qsizetype limit)
{
    QStringList fields;
    if (line.isEmpty())
        return fields;

    qsizetype pos = 0;
    while (fields.size() < limit) {
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
        field += line.mid(pos, end - pos);
        fields.append(field);
        if (semicolon < 0)
            break;
        pos = semicolon + 1;
    }
    return fields;
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
    QStringList lines;
    forEachLine(decode(bytes), [&lines](QStringView line) {
        lines.append(line.toString());
        return true;
    });
    return lines;
}

QStringList splitKeyListLine(const QString& line)
{
    return splitFields(line, std::numeric_limits<qsizetype>::max());
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
        if (digitValue(c))
            digits += c;
    }
    return digits;
}

KeyListImport parseKeyList(const QByteArray& bytes)
{
    KeyListImport out;
    qsizetype k = 0;
    forEachLine(decode(bytes), [&out, &k](QStringView line) {
        const QStringList fields = splitFields(line, KeyListImport::MaxFields + 1);
        if (fields.size() > KeyListImport::MaxFields) {
            out.outcome = KeyListImport::Outcome::TooManyColumns;
            return false;
        }
        if (k++ == 0)
            return true; // the header
        const QString id = ExtractRadioID(fields.isEmpty() ? QString() : fields.first());
        if (!isStorableRadioId(id)) {
            ++out.skipped;
            return true;
        }
        out.ids.append(id);
        if (out.ids.size() < KeyListImport::MaxIds)
            return true;
        out.truncated = true;
        return false;
    });
    return out;
}

Result<KeyListImport> readKeyListFile(const QString& path)
{
    const Result<std::optional<QByteArray>> bytes = readImportFile(path);
    if (!bytes)
        return Result<KeyListImport>::failure(bytes.message());
    if (!bytes->has_value())
        return Result<KeyListImport>::failure(
            QStringLiteral("Die Datei %1 konnte nicht gelesen werden: sie fehlt").arg(QDir::toNativeSeparators(path)));
    return parseKeyList(**bytes);
}

KeyListImport importKeyList(const QString& path)
{
    const Result<KeyListImport> read = readKeyListFile(path);
    if (read)
        return *read;
    KeyListImport failed;
    failed.outcome = KeyListImport::Outcome::Unexpected;
    return failed;
}
