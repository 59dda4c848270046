#pragma once

#include "Result.h"
#include "TextEncoding.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// An INI document with the semantics of the Windows profile functions, because the setup files are
// shared with Windows programs that use them:
// - section and key names match without regard to case; blanks and tabs around names and values
//   are trimmed;
// - a value enclosed in a matching pair of double or single quotes is read without them;
// - of duplicate sections or keys the first wins;
// - integers are strict decimal ("12abc" gives the default), truth values are integers (non-zero true);
// - a write replaces the first matching key's line in place, or adds the key after the last key of
//   its section (a new section at the end of the document); every line not written stays byte for
//   byte. A value that reading would change (blanks or tabs at either end, a surrounding pair of
//   quotes) is written inside one pair of double quotes, so every value reads back as written.
// Encoding as Windows keeps it (TextEncoding): a byte-order mark selects UTF-8 or UTF-16 LE/BE,
// anything else (also a new file) is Windows-1252. A rewrite keeps encoding, byte-order mark and
// line endings (new lines take the file's first line break; CRLF for new files).
// Lines starting with ';' are comments; lines without '=' and lines before the first section are
// kept but hold no key. A section header missing its ']' is no header.
//
// The document keeps the file's bytes and, per line, only where it lies, so it costs a few times
// the file's size at most; names and values are decoded when they are asked for.
class IniFile final
{
public:
    // Setup files and the settings file above this size are refused unread: a real one is a few
    // kilobytes.
    static constexpr qint64 MaxFileBytes = 1024 * 1024;

    // An empty Windows-1252 document for path; nothing is read.
    explicit IniFile(const QString& path = QString());

    // Reads path through readRegularFile() with MaxFileBytes. A missing file gives an empty document
    // (created by save()); a link, a FIFO, a folder or any other non-regular file, a file above the
    // limit, or one that cannot be read fails with a German message naming the path and the reason.
    [[nodiscard]] static Result<IniFile> load(const QString& path);
    // Parses bytes as if read from path. Fails only for bytes no encoding can read (a UTF-16 mark
    // followed by an odd number of bytes) or beyond what a document can hold in memory.
    [[nodiscard]] static Result<IniFile> fromBytes(const QByteArray& bytes, const QString& path = QString());

    const QString& path() const { return m_path; }
    bool existedOnLoad() const { return m_existed; }
    TextEncoding encoding() const { return m_encoding; }

    bool hasSection(const QString& section) const;
    bool hasKey(const QString& section, const QString& key) const;
    QStringList sections() const; // file order, first spelling
    // File order, first of duplicates only; at most limit names when limit is not negative.
    QStringList keys(const QString& section, qsizetype limit = -1) const;

    QString readString(const QString& section, const QString& key, const QString& def = QString()) const;
    int readInteger(const QString& section, const QString& key, int def) const;
    bool readBool(const QString& section, const QString& key, bool def) const;

    // Fail (and change nothing) when the value holds a line break or a character the file's
    // encoding cannot hold, or when a name could not be read back as written.
    [[nodiscard]] Status writeString(const QString& section, const QString& key, const QString& value);
    [[nodiscard]] Status writeInteger(const QString& section, const QString& key, int value);
    [[nodiscard]] Status writeBool(const QString& section, const QString& key, bool value); // "1" / "0"
    void eraseSection(const QString& section);

    QByteArray toBytes() const;
    // Atomic write to path() through writeFileAtomically(); on failure the old file is untouched and
    // the message names the path and the reason.
    [[nodiscard]] Status save() const;

    // The integer rule of profile values: optional sign, then decimal digits only, nothing else.
    static std::optional<qint64> parseInteger(const QString& text);
    // How value stands in the file after "KEY=": as it is, or inside double quotes when reading
    // would otherwise change it.
    static QString fileText(const QString& value);

private:
    enum class Kind : quint8
    {
        Text,    // one or more lines that hold no key (comments, blank lines, junk)
        Key,     // KEY=value
        Section, // [NAME]
    };
    enum Break : quint8
    {
        NoBreak,
        Lf,
        CrLf,
    };
    // Eight bytes per record: where its text lies (the file's bytes or the bytes of later writes),
    // without the line break at its end.
    struct Record
    {
        quint32 offset = 0;
        quint32 length : 27 = 0;
        quint32 lineBreak : 2 = NoBreak;
        quint32 kind : 2 = 0;
        quint32 written : 1 = 0;
    };
    static constexpr qint64 MaxLength = (qint64(1) << 27) - 1;

    QByteArrayView content(const Record& r) const;
    QString decoded(const Record& r) const;
    QString sectionName(const Record& r) const;
    QString keyName(const Record& r) const;
    QString rawValue(const Record& r) const;
    bool hasName(const Record& r, QStringView wanted) const;
    QByteArray breakBytes(int kind) const;
    bool endsWithCr(const Record& r) const;
    Record appendWritten(const QByteArray& bytes, int lineBreak, Kind kind);
    // Index of the first section header of that name, -1 if none; end of its records.
    qsizetype findSection(const QString& section) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(const QString& section, const QString& key) const;
    qsizetype keyInsertPosition(qsizetype header);
    void parse(qsizetype start);

    QString m_path;
    bool m_existed = false;
    TextEncoding m_encoding = TextEncoding::Windows1252;
    int m_bomSize = 0;
    int m_newline = CrLf;
    QByteArray m_bytes;   // the file as read
    QByteArray m_written; // the lines written since
    std::vector<Record> m_records;
};
