#include "IniFile.h"

#include "AtomicFile.h"
#include "Digits.h"
#include "FileReasons.h"
#include "RegularFile.h"
#include "Windows1252.h"

#include <QDir>
#include <QSet>

#include <cstring>
#include <limits>

namespace {

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first].unicode()))
        ++first;
    while (last > first && isBlank(text[last - 1].unicode()))
        --last;
    return text.mid(first, last - first);
}

bool sameName(QStringView a, QStringView b)
{
    return QStringView(a).compare(b, Qt::CaseInsensitive) == 0;
}

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

QString unquoted(const QString& value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

// Code units of the raw bytes: one byte, or two in the file's byte order.
class Units
{
public:
    Units(QByteArrayView bytes, TextEncoding encoding)
        : m_data(bytes.constData()), m_size(bytes.size()), m_width(TextEncodings::unitSize(encoding)),
          m_little(encoding == TextEncoding::Utf16LE)
    {}
    int width() const { return m_width; }
    qsizetype size() const { return m_size; }
    char16_t at(qsizetype i) const
    {
        const auto b0 = static_cast<quint8>(m_data[i]);
        if (m_width == 1)
            return b0;
        const auto b1 = static_cast<quint8>(m_data[i + 1]);
        return char16_t(m_little ? (b1 << 8) | b0 : (b0 << 8) | b1);
    }
    qsizetype find(char16_t unit, qsizetype from, qsizetype to) const
    {
        if (from >= to)
            return -1;
        if (m_width == 1) {
            const void* hit = std::memchr(m_data + from, int(unit), size_t(to - from));
            return hit ? static_cast<const char*>(hit) - m_data : -1;
        }
        for (qsizetype i = from; i + 1 < to; i += 2) {
            if (at(i) == unit)
                return i;
        }
        return -1;
    }
    qsizetype findLast(char16_t unit, qsizetype from, qsizetype to) const
    {
        for (qsizetype i = to - m_width; i >= from; i -= m_width) {
            if (at(i) == unit)
                return i;
        }
        return -1;
    }

private:
    const char* m_data;
    qsizetype m_size;
    int m_width;
    bool m_little;
};

// The three line kinds, judged on code units: every character that matters ([ ] = ; blank tab)
// is ASCII, and no encoding here puts an ASCII unit inside another character.
enum class LineKind
{
    Text,
    Key,
    Section
};

LineKind classify(const Units& u, qsizetype begin, qsizetype end, bool inSection)
{
    const int w = u.width();
    while (begin < end && isBlank(u.at(begin)))
        begin += w;
    while (end > begin && isBlank(u.at(end - w)))
        end -= w;
    if (begin == end)
        return LineKind::Text;
    if (u.at(begin) == u'[') {
        for (qsizetype i = end - w; i > begin; i -= w) {
            if (u.at(i) == u']')
                return LineKind::Section;
        }
    }
    if (!inSection || u.at(begin) == u';')
        return LineKind::Text;
    const qsizetype eq = u.find(u'=', begin, end);
    return eq > begin ? LineKind::Key : LineKind::Text;
}

} // namespace

IniFile::IniFile(const QString& path) : m_path(path)
{}

Result<IniFile> IniFile::load(const QString& path)
{
    Result<std::optional<QByteArray>> read = readRegularFile(path, MaxFileBytes);
    if (!read)
        return Result<IniFile>::failure(read.message());
    if (!read->has_value())
        return IniFile(path);
    Result<IniFile> ini = fromBytes(**read, path);
    if (ini)
        ini.value().m_existed = true;
    return ini;
}

Result<IniFile> IniFile::fromBytes(const QByteArray& bytes, const QString& path)
{
    if (bytes.size() > MaxLength)
        return Result<IniFile>::failure(FileReasons::readFailure(path, FileReasons::tooLarge(bytes.size(), MaxLength)));
    const TextEncodings::Detected detected = TextEncodings::detect(bytes);
    if (TextEncodings::unitSize(detected.encoding) == 2 && (bytes.size() - detected.bomSize) % 2 != 0)
        return Result<IniFile>::failure(FileReasons::readFailure(
            path, QStringLiteral("sie beginnt mit der Kennung von %1, hat aber eine ungerade Anzahl von Bytes; "
                                 "diese Kodierung ist nicht lesbar")
                      .arg(TextEncodings::name(detected.encoding))));
    IniFile ini(path);
    ini.m_bytes = bytes;
    ini.m_encoding = detected.encoding;
    ini.m_bomSize = detected.bomSize;
    ini.parse(detected.bomSize);
    return ini;
}

void IniFile::parse(qsizetype start)
{
    const Units u(m_bytes, m_encoding);
    const int w = u.width();
    // Two passes over the same lines: the first counts the records, so the second fills a vector of
    // exactly that size and parsing never holds more than the file and its records.
    qsizetype count = 0;
    for (int pass = 0; pass < 2; ++pass) {
        const bool fill = pass == 1;
        if (fill)
            m_records.reserve(size_t(count));
        bool inSection = false;
        bool newlineSeen = false;
        bool lastWasText = false;
        qsizetype pos = start;
        while (pos < u.size()) {
            const qsizetype lf = u.find(u'\n', pos, u.size());
            qsizetype end = lf < 0 ? u.size() : lf;
            int lineBreak = lf < 0 ? NoBreak : Lf;
            if (lf >= 0 && end - w >= pos && u.at(end - w) == u'\r') {
                end -= w;
                lineBreak = CrLf;
            }
            if (fill && lf >= 0 && !newlineSeen) {
                m_newline = lineBreak;
                newlineSeen = true;
            }
            const LineKind kind = classify(u, pos, end, inSection);
            inSection = inSection || kind == LineKind::Section;
            // Lines that hold no key are kept together: a file of blank lines costs one record.
            const bool joins = kind == LineKind::Text && lastWasText;
            lastWasText = kind == LineKind::Text;
            if (!fill) {
                count += joins ? 0 : 1;
            } else if (joins) {
                Record& run = m_records.back();
                run.length = quint32(end - run.offset);
                run.lineBreak = quint32(lineBreak);
            } else {
                Record r;
                r.offset = quint32(pos);
                r.length = quint32(end - pos);
                r.lineBreak = quint32(lineBreak);
                r.kind = quint32(kind == LineKind::Key       ? Kind::Key
                                 : kind == LineKind::Section ? Kind::Section
                                                             : Kind::Text);
                m_records.push_back(r);
            }
            pos = lf < 0 ? u.size() : lf + w;
        }
    }
}

QByteArrayView IniFile::content(const Record& r) const
{
    const QByteArray& store = r.written ? m_written : m_bytes;
    return QByteArrayView(store.constData() + r.offset, r.length);
}

QString IniFile::decoded(const Record& r) const
{
    return TextEncodings::decode(m_encoding, content(r));
}

QString IniFile::sectionName(const Record& r) const
{
    const QString text = decoded(r);
    const QStringView line = trimBlanks(text);
    const qsizetype close = line.lastIndexOf(u']');
    return trimBlanks(line.mid(1, close - 1)).toString();
}

QString IniFile::keyName(const Record& r) const
{
    const QString text = decoded(r);
    const QStringView line = trimBlanks(text);
    return trimBlanks(line.left(line.indexOf(u'='))).toString();
}

QString IniFile::rawValue(const Record& r) const
{
    const QString text = decoded(r);
    const QStringView line = trimBlanks(text);
    return trimBlanks(line.mid(line.indexOf(u'=') + 1)).toString();
}

QByteArray IniFile::breakBytes(int kind) const
{
    if (kind == NoBreak)
        return QByteArray();
    return TextEncodings::encode(m_encoding, kind == CrLf ? QStringView(u"\r\n") : QStringView(u"\n")).value();
}

IniFile::Record IniFile::appendWritten(const QByteArray& bytes, int lineBreak, Kind kind)
{
    Record r;
    r.offset = quint32(m_written.size());
    r.length = quint32(bytes.size());
    r.lineBreak = quint32(lineBreak);
    r.kind = quint32(kind);
    r.written = 1;
    m_written += bytes;
    return r;
}

bool IniFile::hasName(const Record& r, QStringView wanted) const
{
    // Names are nearly always ASCII on both sides: compared on the code units, nothing decoded.
    // Anything else goes through the full comparison (a Kelvin sign folds to 'k').
    if (isAscii(wanted)) {
        const Units u(content(r), m_encoding);
        const int w = u.width();
        qsizetype begin = 0;
        qsizetype end = u.size();
        while (begin < end && isBlank(u.at(begin)))
            begin += w;
        while (end > begin && isBlank(u.at(end - w)))
            end -= w;
        if (Kind(r.kind) == Kind::Section) {
            end = u.findLast(u']', begin + w, end);
            begin += w;
        } else {
            end = u.find(u'=', begin, end);
        }
        while (begin < end && isBlank(u.at(begin)))
            begin += w;
        while (end > begin && isBlank(u.at(end - w)))
            end -= w;
        bool ascii = true;
        for (qsizetype p = begin; p < end && ascii; p += w)
            ascii = u.at(p) < 0x80;
        if (ascii) {
            if ((end - begin) / w != wanted.size())
                return false;
            for (qsizetype k = 0; k < wanted.size(); ++k) {
                if (asciiLower(u.at(begin + k * w)) != asciiLower(wanted[k].unicode()))
                    return false;
            }
            return true;
        }
    }
    return sameName(Kind(r.kind) == Kind::Section ? sectionName(r) : keyName(r), wanted);
}

qsizetype IniFile::findSection(const QString& section) const
{
    const QStringView wanted = trimBlanks(section);
    for (qsizetype i = 0; i < qsizetype(m_records.size()); ++i) {
        if (Kind(m_records[i].kind) == Kind::Section && hasName(m_records[i], wanted))
            return i;
    }
    return -1;
}

qsizetype IniFile::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < qsizetype(m_records.size()) && Kind(m_records[i].kind) != Kind::Section)
        ++i;
    return i;
}

qsizetype IniFile::findKey(const QString& section, const QString& key) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return -1;
    const QStringView wanted = trimBlanks(key);
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (Kind(m_records[i].kind) == Kind::Key && hasName(m_records[i], wanted))
            return i;
    }
    return -1;
}

bool IniFile::hasSection(const QString& section) const
{
    return findSection(section) >= 0;
}

bool IniFile::hasKey(const QString& section, const QString& key) const
{
    return findKey(section, key) >= 0;
}

QStringList IniFile::sections() const
{
    QStringList names;
    QSet<QString> seen;
    for (const Record& r : m_records) {
        if (Kind(r.kind) != Kind::Section)
            continue;
        const QString name = sectionName(r);
        const QString folded = name.toCaseFolded();
        if (!seen.contains(folded)) {
            seen.insert(folded);
            names << name;
        }
    }
    return names;
}

QStringList IniFile::keys(const QString& section, qsizetype limit) const
{
    QStringList names;
    const qsizetype header = findSection(section);
    if (header < 0)
        return names;
    QSet<QString> seen;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end && (limit < 0 || names.size() < limit); ++i) {
        if (Kind(m_records[i].kind) != Kind::Key)
            continue;
        const QString name = keyName(m_records[i]);
        const QString folded = name.toCaseFolded();
        if (!seen.contains(folded)) {
            seen.insert(folded);
            names << name;
        }
    }
    return names;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    const qsizetype at = findKey(section, key);
    return at < 0 ? def : unquoted(rawValue(m_records[at]));
}

std::optional<qint64> IniFile::parseInteger(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Leading zeros never make a number too long ("000000000000000000001" is 1).
    while (text.size() - i > 1 && text[i] == u'0')
        ++i;
    if (text.size() - i > 18)
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const std::optional<int> digit = digitValue(text[i]);
        if (!digit)
            return std::nullopt;
        value = value * 10 + *digit;
    }
    return negative ? -value : value;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const
{
    const qsizetype at = findKey(section, key);
    if (at < 0)
        return def;
    const std::optional<qint64> value = parseInteger(unquoted(rawValue(m_records[at])));
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return def;
    return int(*value);
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

QString IniFile::fileText(const QString& value)
{
    const bool blankAtEnd = !value.isEmpty() && (isBlank(value.front().unicode()) || isBlank(value.back().unicode()));
    if (blankAtEnd || unquoted(value).size() != value.size())
        return u'"' + value + u'"';
    return value;
}

qsizetype IniFile::keyInsertPosition(qsizetype header)
{
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = end - 1; i > header; --i) {
        if (Kind(m_records[i].kind) == Kind::Key)
            return i + 1;
    }
    // No key yet: after the section's own comments, before the blank lines that part it from the
    // next one. The section holds runs of text lines read from the file; the last line that is not
    // blank ends the part that stays before the new key.
    const Units u(m_bytes, m_encoding);
    const int w = u.width();
    for (qsizetype i = end - 1; i > header; --i) {
        const Record run = m_records[i];
        const qsizetype runStart = run.offset;
        const qsizetype runEnd = run.offset + run.length;
        qsizetype lineEnd = runEnd; // the last line's break is the record's; the others end at an LF
        while (true) {
            qsizetype lf = -1;
            for (qsizetype p = lineEnd - w; p >= runStart; p -= w) {
                if (u.at(p) == u'\n') {
                    lf = p;
                    break;
                }
            }
            const qsizetype lineStart = lf < 0 ? runStart : lf + w;
            const bool last = lineEnd == runEnd;
            const bool crlf = !last && lineEnd - w >= lineStart && u.at(lineEnd - w) == u'\r';
            const qsizetype contentEnd = crlf ? lineEnd - w : lineEnd;
            bool blank = true;
            for (qsizetype p = lineStart; p < contentEnd && blank; p += w)
                blank = isBlank(u.at(p));
            if (!blank) {
                if (last)
                    return i + 1;
                // Split the run after this line; its break goes with the first part.
                Record first = run;
                first.length = quint32(contentEnd - runStart);
                first.lineBreak = crlf ? CrLf : Lf;
                Record rest = run;
                rest.offset = quint32(lineEnd + w);
                rest.length = quint32(runEnd - (lineEnd + w));
                m_records[i] = first;
                m_records.insert(m_records.begin() + i + 1, rest);
                return i + 1;
            }
            if (lf < 0)
                break;
            lineEnd = lf;
        }
    }
    return header + 1;
}

Status IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    // Only LF ends a line; a CR inside a name is text, but a value ending in one would lose it to
    // the line break of an LF file, so values hold neither.
    if (section.contains(u'\n') || key.contains(u'\n') || value.contains(u'\n') || value.contains(u'\r'))
        return Status::failure(
            QStringLiteral("Der Wert für [%1] %2 darf keinen Zeilenumbruch enthalten.").arg(section, key));
    const QString sectionTrimmed = trimBlanks(section).toString();
    const QString keyTrimmed = trimBlanks(key).toString();
    // Names that would read back as something else: a key that starts a comment or a header.
    if (keyTrimmed.isEmpty() || key.contains(u'=') || keyTrimmed.startsWith(u';') || keyTrimmed.startsWith(u'['))
        return Status::failure(QStringLiteral("Ungültiger Schlüsselname [%1] %2.").arg(section, key));
    for (const QString& text : {section, key, value}) {
        if (TextEncodings::encode(m_encoding, text))
            continue;
        if (m_encoding == TextEncoding::Windows1252)
            return Status::failure(
                QStringLiteral("Der Wert für [%1] %2 enthält das Zeichen „%3“, das die Datei %4 "
                               "(Windows-1252) nicht speichern kann.")
                    .arg(section, key, Windows1252::firstUnencodable(text), QDir::toNativeSeparators(m_path)));
        return Status::failure(
            QStringLiteral("Der Wert für [%1] %2 enthält ein ungültiges Zeichen (ein einzelnes Surrogat).")
                .arg(section, key));
    }

    qsizetype header = findSection(section);
    qsizetype at = header < 0 ? -1 : findKey(section, key);
    if (at >= 0 && unquoted(rawValue(m_records[at])) == value)
        return {}; // the line stays byte for byte

    const QString spelledKey = at >= 0 ? keyName(m_records[at]) : keyTrimmed;
    const QByteArray line = TextEncodings::encode(m_encoding, spelledKey + u'=' + fileText(value)).value();
    if (line.size() > MaxFileBytes)
        return Status::failure(QStringLiteral("Der Wert für [%1] %2 ist zu lang.").arg(section, key));

    if (at >= 0) {
        const int lineBreak = m_records[at].lineBreak;
        m_records[at] = appendWritten(line, lineBreak, Kind::Key);
        return {};
    }
    if (header < 0) {
        const QByteArray headerLine = TextEncodings::encode(m_encoding, u'[' + sectionTrimmed + u']').value();
        m_records.push_back(appendWritten(headerLine, m_newline, Kind::Section));
        header = qsizetype(m_records.size()) - 1;
    }
    const qsizetype position = keyInsertPosition(header);
    m_records.insert(m_records.begin() + position, appendWritten(line, m_newline, Kind::Key));
    return {};
}

Status IniFile::writeInteger(const QString& section, const QString& key, int value)
{
    return writeString(section, key, QString::number(value));
}

Status IniFile::writeBool(const QString& section, const QString& key, bool value)
{
    return writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::eraseSection(const QString& section)
{
    const QStringView wanted = trimBlanks(section);
    std::vector<Record> kept;
    kept.reserve(m_records.size());
    bool erasing = false;
    for (const Record& r : m_records) {
        if (Kind(r.kind) == Kind::Section)
            erasing = hasName(r, wanted);
        if (!erasing)
            kept.push_back(r);
    }
    m_records = std::move(kept);
}

bool IniFile::endsWithCr(const Record& r) const
{
    // A CR at the end of the old last line is part of its text; an LF after it would turn it into
    // the line's break.
    const QByteArrayView text = content(r);
    const QByteArray cr = TextEncodings::encode(m_encoding, u"\r").value();
    return text.endsWith(cr) && (text.size() - cr.size()) % cr.size() == 0;
}

QByteArray IniFile::toBytes() const
{
    const QByteArray newline = breakBytes(m_newline);
    const QByteArray lf = breakBytes(Lf);
    const QByteArray crlf = breakBytes(CrLf);
    qsizetype total = m_bomSize;
    for (const Record& r : m_records)
        total += r.length + crlf.size();
    QByteArray out;
    out.reserve(total);
    out += QByteArrayView(m_bytes.constData(), m_bomSize);
    for (size_t i = 0; i < m_records.size(); ++i) {
        const Record& r = m_records[i];
        out += content(r);
        if (r.lineBreak == Lf)
            out += lf;
        else if (r.lineBreak == CrLf)
            out += crlf;
        else if (i + 1 < m_records.size()) // the old last line needs a break when something now follows it
            out += endsWithCr(r) ? crlf : newline;
    }
    return out;
}

Status IniFile::save() const
{
    return writeFileAtomically(m_path, toBytes());
}
