// The INI model over any bytes: parsed and written back byte for byte, a write changes one line and
// no other value, every written value reads back, and the encoding never changes.
#include "FuzzCheck.h"
#include "base/IniFile.h"
#include "base/TextEncoding.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct Snapshot
{
    QStringList sections;
    QList<QStringList> keys;
    QList<QStringList> values;
};

Snapshot snapshot(const IniFile& ini)
{
    Snapshot s;
    s.sections = ini.sections();
    for (const QString& section : s.sections) {
        const QStringList keys = ini.keys(section);
        QStringList values;
        for (const QString& key : keys)
            values << ini.readString(section, key);
        s.keys << keys;
        s.values << values;
    }
    return s;
}

IniFile reparsed(const QByteArray& bytes, const IniFile& before)
{
    Result<IniFile> again = IniFile::fromBytes(bytes);
    check(again.ok(), "a written document parses again");
    check(again->encoding() == before.encoding(), "the encoding never changes");
    return again.value();
}

// The lines of a document as text, for comparisons that hold in every encoding.
QStringList lines(const QByteArray& bytes)
{
    const TextEncodings::Detected d = TextEncodings::detect(bytes);
    return TextEncodings::decode(d.encoding, QByteArrayView(bytes).sliced(d.bomSize)).split(u'\n');
}

void checkOthersUnchanged(const Snapshot& before, const IniFile& after, const QString& section, const QString& key)
{
    for (int i = 0; i < before.sections.size(); ++i) {
        for (int k = 0; k < before.keys[i].size(); ++k) {
            if (before.sections[i].compare(section, Qt::CaseInsensitive) == 0 &&
                before.keys[i][k].compare(key, Qt::CaseInsensitive) == 0)
                continue;
            check(after.readString(before.sections[i], before.keys[i][k]) == before.values[i][k],
                  "other keys unchanged by a write");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Result<IniFile> parsed = IniFile::fromBytes(bytes);
    const TextEncodings::Detected detected = TextEncodings::detect(bytes);
    if (!parsed) {
        check(TextEncodings::unitSize(detected.encoding) == 2 && (bytes.size() - detected.bomSize) % 2 == 1,
              "only UTF-16 of an odd length is unreadable");
        return 0;
    }
    const IniFile& ini = *parsed;
    check(ini.encoding() == detected.encoding, "the byte-order mark alone decides the encoding");
    check(ini.toBytes() == bytes, "an unchanged document writes back byte for byte");
    const Snapshot before = snapshot(ini);

    // A key in a section of its own: the old bytes stay a prefix, everything reads as before.
    {
        IniFile copy = ini;
        const QString section = QStringLiteral("TELVARO_FUZZ_NEW");
        if (!copy.hasSection(section)) {
            check(copy.writeString(section, QStringLiteral("KEY"), QStringLiteral("value 1")).ok(),
                  "ASCII value written");
            const QByteArray out = copy.toBytes();
            check(out.startsWith(bytes), "appending keeps every old byte");
            const IniFile reread = reparsed(out, ini);
            check(reread.readString(section, QStringLiteral("KEY")) == QStringLiteral("value 1"), "new key reads back");
            checkOthersUnchanged(before, reread, section, QStringLiteral("KEY"));
        }
    }

    // Rewriting the first key of the first section with a text taken from the input: that line
    // changes, no other, and the value reads back exactly (quoted where reading would change it).
    if (!before.sections.isEmpty() && !before.keys.first().isEmpty()) {
        IniFile copy = ini;
        const QString section = before.sections.first();
        const QString key = before.keys.first().first();
        QString value = TextEncodings::decode(detected.encoding, QByteArrayView(bytes).sliced(detected.bomSize));
        value = value.left(40).remove(u'\r').remove(u'\n');
        if (copy.writeString(section, key, value).ok()) {
            const QByteArray out = copy.toBytes();
            const QStringList oldLines = lines(bytes);
            const QStringList newLines = lines(out);
            check(oldLines.size() == newLines.size(), "a rewrite in place keeps the number of lines");
            int changed = 0;
            for (qsizetype i = 0; i < oldLines.size() && i < newLines.size(); ++i)
                changed += oldLines[i] != newLines[i];
            check(changed <= 1, "a rewrite changes one line only");
            const IniFile reread = reparsed(out, ini);
            check(reread.readString(section, key) == value, "rewritten value reads back as written");
            checkOthersUnchanged(before, reread, section, key);
        } else {
            // A key that starts like a header is never written: a ']' in the value would make it one.
            check(detected.encoding == TextEncoding::Windows1252 || detected.encoding == TextEncoding::Utf8 ||
                      key.startsWith(u'['),
                  "UTF-16 holds every value");
        }
    }

    // Erasing a section and writing integers never breaks the re-read.
    {
        IniFile copy = ini;
        if (!before.sections.isEmpty())
            copy.eraseSection(before.sections.last());
        check(copy.writeInteger(QStringLiteral("NETZWERK"), QStringLiteral("PORT"), -2147483647 - 1).ok(),
              "integer written");
        check(copy.writeBool(QStringLiteral("WM-BUS"), QStringLiteral("MODET"), true).ok(), "boolean written");
        const IniFile reread = reparsed(copy.toBytes(), ini);
        check(reread.readInteger(QStringLiteral("NETZWERK"), QStringLiteral("PORT"), 0) == -2147483647 - 1,
              "integer reads back");
        check(reread.readBool(QStringLiteral("WM-BUS"), QStringLiteral("MODET"), false), "boolean reads back");
        if (!before.sections.isEmpty())
            check(!reread.hasSection(before.sections.last()) ||
                      before.sections.last().compare(QStringLiteral("NETZWERK"), Qt::CaseInsensitive) == 0 ||
                      before.sections.last().compare(QStringLiteral("WM-BUS"), Qt::CaseInsensitive) == 0,
                  "an erased section is gone");
    }
    return 0;
}
