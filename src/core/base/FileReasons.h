#pragma once

#include <QString>

// German texts for what went wrong with a file, shared by the reader and the writer so that the
// same fault reads the same everywhere. Messages always name the path (native separators).
namespace FileReasons {

// "Die Datei <path> konnte nicht gelesen werden: <reason>"
QString readFailure(const QString& path, const QString& reason);
// "Die Datei <path> konnte nicht gespeichert werden: <reason>"
QString writeFailure(const QString& path, const QString& reason);

// The reason for a system error number (errno), without the path; never the system's English text.
QString systemReason(int errorNumber);

QString symbolicLink();
QString folderInPlace();
QString notRegular(const QString& what); // "sie ist keine gewöhnliche Datei, sondern <what>"
QString tooLarge(qint64 size, qint64 limit);
// "die Datei ist schreibgeschützt": a file the user may read but not change is never replaced.
QString readOnly();
// Why a file of this type (st_mode) is neither read nor written; empty for a regular file.
QString typeRefusal(unsigned int mode);

} // namespace FileReasons
