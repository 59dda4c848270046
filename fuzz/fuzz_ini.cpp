// The INI reader, a write and a re-read: lines not written stay byte for byte, values read back.
// An input starting with FF FE is repeated to more than 1 MiB (one long line unless it holds breaks).
#include "FuzzCheck.h"
#include "base/IniFile.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (size > 2 && data[0] == 0xFF && data[1] == 0xFE) {
        const QByteArray unit = bytes.mid(2);
        bytes.clear();
        while (bytes.size() < (1 << 20) + 1)
            bytes += unit;
    }

    const IniFile ini = IniFile::fromBytes(bytes);
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
            const IniFile reread = IniFile::fromBytes(out);
            check(reread.readString(section, QStringLiteral("KEY")) == QStringLiteral("value 1"), "new key reads back");
            const Snapshot after = snapshot(reread);
            for (int i = 0; i < before.sections.size(); ++i) {
                for (int k = 0; k < before.keys[i].size(); ++k)
                    check(reread.readString(before.sections[i], before.keys[i][k]) == before.values[i][k],
                          "old keys unchanged after appending a section");
            }
        }
    }

    // Rewriting the first key of the first section: that key changes, no other.
    if (!before.sections.isEmpty() && !before.keys.first().isEmpty()) {
        IniFile copy = ini;
        const QString section = before.sections.first();
        const QString key = before.keys.first().first();
        if (copy.writeString(section, key, QStringLiteral("42")).ok()) {
            const QByteArray out = copy.toBytes();
            // In place: the same lines, byte for byte, but for the one rewritten.
            const QList<QByteArray> oldLines = bytes.split('\n');
            const QList<QByteArray> newLines = out.split('\n');
            check(oldLines.size() == newLines.size(), "a rewrite in place keeps the number of lines");
            int changed = 0;
            for (qsizetype i = 0; i < oldLines.size() && i < newLines.size(); ++i)
                changed += oldLines[i] != newLines[i];
            check(changed <= 1, "a rewrite changes one line only");
            const IniFile reread = IniFile::fromBytes(out);
            // Removing the only byte that is not UTF-8 makes the rest read as UTF-8: the bytes stay,
            // their meaning (names included) changes. Values are compared only while the encoding holds.
            check(reread.isUtf8() != ini.isUtf8() || reread.readString(section, key) == QStringLiteral("42"),
                  "rewritten key reads back");
            for (int i = 0; i < before.sections.size() && reread.isUtf8() == ini.isUtf8(); ++i) {
                for (int k = 0; k < before.keys[i].size(); ++k) {
                    if (i == 0 && k == 0)
                        continue;
                    if (before.sections[i].compare(section, Qt::CaseInsensitive) == 0 &&
                        before.keys[i][k].compare(key, Qt::CaseInsensitive) == 0)
                        continue;
                    check(reread.readString(before.sections[i], before.keys[i][k]) == before.values[i][k],
                          "other keys unchanged after a rewrite");
                }
            }
        }
    }

    // Erasing a section and writing integers never breaks the re-read.
    {
        IniFile copy = ini;
        if (!before.sections.isEmpty())
            copy.eraseSection(before.sections.last());
        copy.writeInteger(QStringLiteral("NETZWERK"), QStringLiteral("PORT"), -2147483647 - 1);
        copy.writeBool(QStringLiteral("WM-BUS"), QStringLiteral("MODET"), true);
        const IniFile reread = IniFile::fromBytes(copy.toBytes());
        check(reread.readInteger(QStringLiteral("NETZWERK"), QStringLiteral("PORT"), 0) == -2147483647 - 1,
              "integer reads back");
        check(reread.readBool(QStringLiteral("WM-BUS"), QStringLiteral("MODET"), false), "boolean reads back");
    }
    return 0;
}
