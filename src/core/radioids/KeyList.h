#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The radio IDs of an AES key list (*.csv): a table separated by ";", one header line, then one
// device per line with its radio ID in the first field.
struct KeyListImport
{
    enum class Outcome
    {
        Done,
        TooManyColumns, // a line had more than MaxFields fields; the IDs of earlier lines are kept
        Unexpected,     // the file could not be read
    };
    static constexpr int MaxFields = 9;
    // The read ends after this many IDs: far beyond the 250 entries the list can hold, so a list
    // of millions of rows costs no more than one of a hundred thousand.
    static constexpr int MaxIds = 100000;

    QStringList ids;        // in file order; each one storable
    int skipped = 0;        // rows whose ID is empty or longer than 8 digits
    bool truncated = false; // the read stopped at MaxIds; later lines are not looked at
    Outcome outcome = Outcome::Done;

    QString message() const; // the text for the user; empty for Done
};

// Reads path through readImportFile(); a missing file, a link, a FIFO, a folder or a file above
// MaxImportFileBytes fails with a German message naming the path.
Result<KeyListImport> readKeyListFile(const QString& path);
// readKeyListFile() with every failure as Outcome::Unexpected, the import's own report.
KeyListImport importKeyList(const QString& path);
KeyListImport parseKeyList(const QByteArray& bytes);

// A byte-order mark selects UTF-8 or UTF-16 (either byte order); without one the text is Windows-1252
// (TextEncodings::detect).
// Lines end at CR LF, LF or CR; a break at the very end opens no further line.
QStringList readKeyListLines(const QByteArray& bytes);

// Fields at ";" only; blanks belong to the field. A field that begins with a double quote runs to its
// closing quote, with "" standing for one quote, and loses its enclosing quotes; text between the
// closing quote and the next ";" is appended as it stands. An unclosed quote runs to the end of the
// line. A ";" at the end adds an empty last field; an empty line has no fields.
QStringList splitKeyListLine(const QString& line);

// The ID in a key-list row's first field: control characters and blanks trimmed, up to three prefixes
// dropped (each up to and including the first blank), then only the digits kept. Not cut to 8 digits.
QString ExtractRadioID(const QString& field);
