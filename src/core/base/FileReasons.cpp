#include "FileReasons.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include <QDir>

#include <cerrno>

namespace FileReasons {

QString readFailure(const QString& path, const QString& reason)
{
    return QStringLiteral("Die Datei %1 konnte nicht gelesen werden: %2").arg(QDir::toNativeSeparators(path), reason);
}

QString writeFailure(const QString& path, const QString& reason)
{
    return QStringLiteral("Die Datei %1 konnte nicht gespeichert werden: %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString systemReason(int errorNumber)
{
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return QStringLiteral("keine Berechtigung");
    case EROFS:
        return QStringLiteral("der Datenträger ist schreibgeschützt");
    case ENOSPC:
        return QStringLiteral("der Datenträger ist voll");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("das Speicherkontingent auf dem Datenträger ist erschöpft");
#endif
    case EFBIG:
        return QStringLiteral("die Datei überschreitet die erlaubte Dateigröße");
    case EISDIR:
        return folderInPlace();
    case ENOENT:
        return QStringLiteral("die Datei oder ihr Ordner fehlt");
    case ENOTDIR:
        return QStringLiteral("ein Teil des Pfades ist kein Ordner");
    case ELOOP:
        return QStringLiteral("zu viele symbolische Verknüpfungen im Pfad");
    case ENAMETOOLONG:
        return QStringLiteral("der Pfad ist zu lang");
    case EIO:
        return QStringLiteral("Ein-/Ausgabefehler des Datenträgers");
    case ENOMEM:
        return QStringLiteral("nicht genug Arbeitsspeicher");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("zu viele offene Dateien");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("die Datei ist von einem anderen Programm belegt");
    case EXDEV:
        return QStringLiteral("die Datei liegt auf einem anderen Datenträger als ihr Ordner");
    default:
        return QStringLiteral("Systemfehler %1").arg(errorNumber);
    }
}

QString symbolicLink()
{
    return QStringLiteral("sie ist eine symbolische Verknüpfung; Verknüpfungen werden weder gelesen noch beschrieben");
}

QString folderInPlace()
{
    return QStringLiteral("an ihrer Stelle liegt ein Ordner");
}

QString notRegular(const QString& what)
{
    return QStringLiteral("sie ist keine gewöhnliche Datei, sondern %1").arg(what);
}

QString tooLarge(qint64 size, qint64 limit)
{
    return QStringLiteral("sie ist mit %1 Bytes größer als die erlaubten %2 Bytes").arg(size).arg(limit);
}

QString readOnly()
{
    return QStringLiteral("die Datei ist schreibgeschützt");
}

QString typeRefusal(unsigned int mode)
{
#ifdef Q_OS_WIN
    Q_UNUSED(mode);
    return QString(); // Windows hands out no such files through these paths
#else
    if (S_ISREG(mode))
        return QString();
    if (S_ISLNK(mode))
        return symbolicLink();
    if (S_ISDIR(mode))
        return folderInPlace();
    if (S_ISFIFO(mode))
        return notRegular(QStringLiteral("eine Pipe (FIFO)"));
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return notRegular(QStringLiteral("ein Gerät"));
    if (S_ISSOCK(mode))
        return notRegular(QStringLiteral("ein Socket"));
    return notRegular(QStringLiteral("etwas anderes"));
#endif
}

} // namespace FileReasons
