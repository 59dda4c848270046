#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// An INI document with the semantics of the Windows profile functions, because the setup files are
// shared with Windows programs that use them:
// - section and key names match without regard to case; blanks around names and values are trimmed;
// - a value enclosed in a matching pair of quotes is read without them;
// - of duplicate sections or keys the first wins;
// - integers are strict decimal ("12abc" gives the default), truth values are integers (non-zero true);
// - a write replaces the first matching key's value in place, or appends the key at the end of its
//   section (a new section at the end of the document); every line not written stays byte for byte.
// Encoding: a UTF-8 byte-order mark, or valid UTF-8 that holds at least one non-ASCII character, reads
// as UTF-8; anything else (also a pure ASCII file and a new file) is Windows-1252, as the Windows
// profile functions write it. A rewrite keeps encoding, byte-order mark and line endings (new lines
// take the file's first line break; CRLF for new files).
// Lines starting with ';' are comments; lines without '=' and lines before the first section are
// kept but hold no key. A section header missing its ']' is no header.
// Saving is atomic: a temporary file in the same folder, then a rename.
class IniFile final
{
public:
    // An empty document for path; nothing is read.
    explicit IniFile(const QString& path = QString());
    ~IniFile();
    IniFile(const IniFile&);
    IniFile& operator=(const IniFile&);
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;

    // Reads path. A missing file gives an empty document (created by save()); a file that exists but
    // cannot be read fails with a German message naming the path and the system's reason.
    static Result<IniFile> load(const QString& path);
    // Parses bytes as if read from path (tests, fuzzing).
    static IniFile fromBytes(const QByteArray& bytes, const QString& path = QString());

    const QString& path() const;
    bool existedOnLoad() const;

    bool hasSection(const QString& section) const;
    bool hasKey(const QString& section, const QString& key) const;
    QStringList sections() const;                   // file order, first spelling
    QStringList keys(const QString& section) const; // file order, first of duplicates only

    QString readString(const QString& section, const QString& key, const QString& def = QString()) const;
    int readInteger(const QString& section, const QString& key, int def) const;
    bool readBool(const QString& section, const QString& key, bool def) const;

    // Fails (and changes nothing) when the value holds a character the file's encoding cannot hold,
    // or a line break.
    Status writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value); // "1" / "0"
    void eraseSection(const QString& section);

    QByteArray toBytes() const;
    bool isUtf8() const;
    // Atomic write to path(); on failure the old file is untouched and the message names the path and reason.
    Status save() const;

    // The integer rule of profile values: optional sign, then decimal digits only, nothing else.
    static std::optional<qint64> parseInteger(const QString& text);

    // Windows-1252, with the five unassigned bytes mapped to the control characters of the same
    // value (as Windows converts them), so every byte has a character and back.
    static QString fromWindows1252(const QByteArray& bytes);
    static std::optional<QByteArray> toWindows1252(const QString& text);

private:
    struct Data;
    std::unique_ptr<Data> d;
};
