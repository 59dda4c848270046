#include "IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>
#include <QThread>

#include <limits>
#include <vector>

namespace {

// Windows-1252 bytes 0x80..0x9F; the unassigned 0x81, 0x8D, 0x8F, 0x90 and 0x9D keep their value.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

const QByteArray Utf8Bom("\xEF\xBB\xBF");

struct Line
{
    QByteArray raw; // as in the file, without the line break
    QByteArray eol; // "\r\n", "\n", or empty for a last line without a break
    bool isKey = false;
    QString key;   // trimmed, as spelled in the file
    QString value; // trimmed, quotes still on
};

struct Section
{
    Line header;
    QString name;
    std::vector<Line> lines;
    QHash<QString, int> keyIndex; // case-folded name -> first line holding it
    int lastKeyLine = -1;
};

QString fold(const QString& name)
{
    return name.trimmed().toCaseFolded();
}

bool hasNonAscii(const QByteArray& bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder(bytes);
    Q_UNUSED(ignored);
    return !decoder.hasError();
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

QString saveReason(const QFileDevice& file)
{
    QString reason;
    switch (file.error()) {
    case QFileDevice::OpenError:
        reason = QStringLiteral("Die temporäre Datei kann nicht angelegt werden");
        break;
    case QFileDevice::WriteError:
        reason = QStringLiteral("Schreibfehler");
        break;
    case QFileDevice::RenameError:
        reason = QStringLiteral("Die alte Datei kann nicht ersetzt werden");
        break;
    case QFileDevice::PermissionsError:
        reason = QStringLiteral("Keine Berechtigung");
        break;
    case QFileDevice::ResourceError:
        reason = QStringLiteral("Kein Speicherplatz oder keine Ressourcen");
        break;
    default:
        reason = QStringLiteral("Unbekannter Fehler");
        break;
    }
    if (!file.errorString().isEmpty())
        reason += QStringLiteral(" (%1)").arg(file.errorString());
    return reason;
}

} // namespace

struct IniFile::Data
{
    QString path;
    bool existed = false;
    bool utf8 = false;
    bool bom = false;
    QByteArray newline = "\r\n";
    std::vector<Line> preamble; // lines before the first section
    std::vector<Section> sections;
    QHash<QString, int> sectionIndex; // case-folded name -> first section of that name

    QString decode(const QByteArray& raw) const
    {
        return utf8 ? QString::fromUtf8(raw) : IniFile::fromWindows1252(raw);
    }
    QByteArray encode(const QString& text) const
    {
        return utf8 ? text.toUtf8() : IniFile::toWindows1252(text).value_or(QByteArray());
    }

    void parse(QByteArray bytes);
    void addLine(QByteArray raw, QByteArray eol);
    void rebuildSectionIndex();
    const Section* findSection(const QString& name) const
    {
        const auto it = sectionIndex.constFind(fold(name));
        return it == sectionIndex.constEnd() ? nullptr : &sections[*it];
    }
    const Line* findKey(const QString& section, const QString& key) const
    {
        const Section* s = findSection(section);
        if (!s)
            return nullptr;
        const auto it = s->keyIndex.constFind(fold(key));
        return it == s->keyIndex.constEnd() ? nullptr : &s->lines[*it];
    }
};

void IniFile::Data::parse(QByteArray bytes)
{
    if (bytes.startsWith(Utf8Bom)) {
        bom = true;
        utf8 = true;
        bytes.remove(0, Utf8Bom.size());
    } else {
        utf8 = hasNonAscii(bytes) && isValidUtf8(bytes);
    }
    const qsizetype firstBreak = bytes.indexOf('\n');
    if (firstBreak >= 0)
        newline = (firstBreak > 0 && bytes[firstBreak - 1] == '\r') ? QByteArray("\r\n") : QByteArray("\n");

    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0) {
            addLine(bytes.mid(start), QByteArray());
            break;
        }
        qsizetype end = lf;
        QByteArray eol("\n");
        if (end > start && bytes[end - 1] == '\r') {
            --end;
            eol = "\r\n";
        }
        addLine(bytes.mid(start, end - start), eol);
        start = lf + 1;
    }
    rebuildSectionIndex();
}

void IniFile::Data::addLine(QByteArray raw, QByteArray eol)
{
    Line line;
    line.raw = std::move(raw);
    line.eol = std::move(eol);
    const QString text = decode(line.raw).trimmed();

    if (text.startsWith(u'[')) {
        const qsizetype close = text.lastIndexOf(u']');
        if (close > 0) {
            Section section;
            section.name = text.mid(1, close - 1).trimmed();
            section.header = std::move(line);
            sections.push_back(std::move(section));
            return;
        }
    }
    if (!sections.empty() && !text.startsWith(u';')) {
        const qsizetype eq = text.indexOf(u'=');
        if (eq > 0) {
            line.key = text.left(eq).trimmed();
            line.value = text.mid(eq + 1).trimmed();
            line.isKey = !line.key.isEmpty();
        }
    }
    if (sections.empty()) {
        preamble.push_back(std::move(line));
        return;
    }
    Section& section = sections.back();
    section.lines.push_back(std::move(line));
    const int index = int(section.lines.size()) - 1;
    if (section.lines.back().isKey) {
        const QString k = fold(section.lines.back().key);
        if (!section.keyIndex.contains(k)) // the first of duplicate keys wins
            section.keyIndex.insert(k, index);
        section.lastKeyLine = index;
    }
}

void IniFile::Data::rebuildSectionIndex()
{
    sectionIndex.clear();
    for (int i = 0; i < int(sections.size()); ++i) {
        const QString f = fold(sections[i].name);
        if (!sectionIndex.contains(f))
            sectionIndex.insert(f, i);
    }
}

IniFile::IniFile(const QString& path) : d(std::make_unique<Data>())
{
    d->path = path;
}

IniFile::~IniFile() = default;
IniFile::IniFile(const IniFile& other) : d(std::make_unique<Data>(*other.d))
{}
IniFile& IniFile::operator=(const IniFile& other)
{
    if (this != &other)
        d = std::make_unique<Data>(*other.d);
    return *this;
}
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

Result<IniFile> IniFile::load(const QString& path)
{
    if (!QFileInfo::exists(path))
        return IniFile(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<IniFile>::failure(
            QStringLiteral("Die Datei %1 konnte nicht gelesen werden: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Result<IniFile>::failure(
            QStringLiteral("Die Datei %1 konnte nicht gelesen werden: %2").arg(path, file.errorString()));
    IniFile ini = fromBytes(bytes, path);
    ini.d->existed = true;
    return ini;
}

IniFile IniFile::fromBytes(const QByteArray& bytes, const QString& path)
{
    IniFile ini(path);
    ini.d->parse(bytes);
    return ini;
}

const QString& IniFile::path() const
{
    return d->path;
}

bool IniFile::existedOnLoad() const
{
    return d->existed;
}

bool IniFile::isUtf8() const
{
    return d->utf8;
}

bool IniFile::hasSection(const QString& section) const
{
    return d->findSection(section) != nullptr;
}

bool IniFile::hasKey(const QString& section, const QString& key) const
{
    return d->findKey(section, key) != nullptr;
}

QStringList IniFile::sections() const
{
    QStringList names;
    for (int i = 0; i < int(d->sections.size()); ++i)
        if (d->sectionIndex.value(fold(d->sections[i].name), -1) == i)
            names << d->sections[i].name;
    return names;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList names;
    const Section* s = d->findSection(section);
    if (!s)
        return names;
    for (int l = 0; l < int(s->lines.size()); ++l)
        if (s->lines[l].isKey && s->keyIndex.value(fold(s->lines[l].key), -1) == l)
            names << s->lines[l].key;
    return names;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    const Line* line = d->findKey(section, key);
    return line ? unquoted(line->value) : def;
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
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const
{
    const Line* line = d->findKey(section, key);
    if (!line)
        return def;
    const std::optional<qint64> value = parseInteger(unquoted(line->value));
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return def;
    return int(*value);
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

Status IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    const auto hasBreak = [](const QString& t) { return t.contains(u'\n') || t.contains(u'\r'); };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return Status::failure(
            QStringLiteral("Der Wert für [%1] %2 darf keinen Zeilenumbruch enthalten.").arg(section, key));
    if (section.trimmed().isEmpty() || key.trimmed().isEmpty() || key.contains(u'='))
        return Status::failure(QStringLiteral("Ungültiger Schlüsselname [%1] %2.").arg(section, key));
    if (!d->utf8) {
        for (const QString& text : {section, key, value}) {
            if (toWindows1252(text))
                continue;
            QString bad;
            for (qsizetype i = 0; i < text.size() && bad.isEmpty(); ++i)
                if (!toWindows1252(text.mid(i, 1)))
                    bad = text[i].isHighSurrogate() ? text.mid(i, 2) : text.mid(i, 1);
            return Status::failure(QStringLiteral("Der Wert für [%1] %2 enthält das Zeichen „%3“, das die Datei %4 "
                                                  "(Windows-1252) nicht speichern kann.")
                                       .arg(section, key, bad, d->path));
        }
    }

    const QString sectionFold = fold(section);
    auto found = d->sectionIndex.constFind(sectionFold);
    if (found == d->sectionIndex.constEnd()) {
        Section s;
        s.name = section.trimmed();
        s.header.raw = d->encode(u'[' + s.name + u']');
        s.header.eol = d->newline;
        d->sections.push_back(std::move(s));
        found = d->sectionIndex.insert(sectionFold, int(d->sections.size()) - 1);
    }
    Section& s = d->sections[*found];

    const QString keyFold = fold(key);
    const auto existing = s.keyIndex.constFind(keyFold);
    if (existing != s.keyIndex.constEnd()) {
        Line& line = s.lines[*existing];
        if (line.value != value) {
            line.raw = d->encode(line.key + u'=' + value);
            line.value = value.trimmed();
        }
        return {};
    }

    Line line;
    line.isKey = true;
    line.key = key.trimmed();
    line.value = value.trimmed();
    line.raw = d->encode(line.key + u'=' + value);
    line.eol = d->newline;
    int at = s.lastKeyLine + 1;
    if (s.lastKeyLine < 0) {
        // No key yet: after the section's own comments, before the blank lines that part it from the next one.
        at = int(s.lines.size());
        while (at > 0 && d->decode(s.lines[at - 1].raw).trimmed().isEmpty())
            --at;
    }
    s.lines.insert(s.lines.begin() + at, std::move(line));
    s.keyIndex.insert(keyFold, at);
    s.lastKeyLine = at;
    return {};
}

void IniFile::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::eraseSection(const QString& section)
{
    const QString f = fold(section);
    std::erase_if(d->sections, [&f](const Section& s) { return fold(s.name) == f; });
    d->rebuildSectionIndex();
}

QByteArray IniFile::toBytes() const
{
    qsizetype total = d->bom ? Utf8Bom.size() : 0;
    const auto measure = [&total](const Line& l) { total += l.raw.size() + 2; };
    for (const Line& l : d->preamble)
        measure(l);
    for (const Section& s : d->sections) {
        measure(s.header);
        for (const Line& l : s.lines)
            measure(l);
    }

    std::vector<const Line*> all;
    for (const Line& l : d->preamble)
        all.push_back(&l);
    for (const Section& s : d->sections) {
        all.push_back(&s.header);
        for (const Line& l : s.lines)
            all.push_back(&l);
    }

    QByteArray out;
    out.reserve(total);
    if (d->bom)
        out += Utf8Bom;
    for (size_t i = 0; i < all.size(); ++i) {
        out += all[i]->raw;
        // Only the old last line can lack its break; it needs one when something now follows it.
        if (all[i]->eol.isEmpty() && i + 1 < all.size())
            out += d->newline;
        else
            out += all[i]->eol;
    }
    return out;
}

Status IniFile::save() const
{
    const QByteArray bytes = toBytes();
    const auto failed = [this](const QString& reason) {
        return Status::failure(QStringLiteral("Die Datei %1 konnte nicht gespeichert werden: %2").arg(d->path, reason));
    };
    if (d->path.isEmpty())
        return failed(QStringLiteral("Kein Dateiname"));
    for (int attempt = 0;; ++attempt) {
        QSaveFile file(d->path);
        // Unbuffered, so that a write the disk refuses (full, quota, size limit) fails here and
        // not only in the final flush, whose failure commit() would not report.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return failed(saveReason(file));
        const qint64 written = file.write(bytes);
        if (written != bytes.size()) {
            // A short write without an error is the disk (or a size limit) refusing the rest.
            const QString reason =
                written >= 0 && (file.error() == QFileDevice::NoError || file.error() == QFileDevice::UnspecifiedError)
                    ? QStringLiteral(
                          "Der Datenträger hat nur %1 von %2 Bytes angenommen (voll oder Größenlimit erreicht)")
                          .arg(written)
                          .arg(bytes.size())
                    : saveReason(file);
            file.cancelWriting();
            return failed(reason);
        }
        if (file.commit())
            return {};
#ifdef Q_OS_WIN
        // A virus scanner or indexer may hold the old file open for a moment.
        if (file.error() == QFileDevice::RenameError && attempt < 10) {
            QThread::msleep(50);
            continue;
        }
#endif
        return failed(saveReason(file));
    }
}

QString IniFile::fromWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(Cp1252High[b - 0x80]) : QChar(char16_t(b));
    }
    return text;
}

std::optional<QByteArray> IniFile::toWindows1252(const QString& text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes[i] = char(c);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k) {
            if (Cp1252High[k] == c) {
                found = k;
                break;
            }
        }
        if (found < 0)
            return std::nullopt;
        bytes[i] = char(0x80 + found);
    }
    return bytes;
}
