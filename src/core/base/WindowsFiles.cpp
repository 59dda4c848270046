#include "WindowsFiles.h"

#ifdef Q_OS_WIN

#include "FileReasons.h"

#include <QDir>
#include <QThread>

#include <qt_windows.h>

#include <string>

namespace {

std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

unsigned long reparseTag(const std::wstring& path)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    ::FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.dwReserved0 : 0;
}

bool blockedByAnotherProgram(DWORD error)
{
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:                // a file open without FILE_SHARE_DELETE, or pending deletion
    case ERROR_UNABLE_TO_REMOVE_REPLACED:    // both files still carry their names
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:   // the old file is gone; the next try moves the new one
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: // the same, the old file kept as a backup
        return true;
    default:
        return false;
    }
}

void flushFile(const std::wstring& path)
{
    const HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return; // another program holds it for writing; the replace itself is done
    ::FlushFileBuffers(handle);
    ::CloseHandle(handle);
}

} // namespace

namespace WindowsFiles {

Entry inspect(const QString& path)
{
    const std::wstring name = native(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return {Kind::Missing, 0, 0};
        return {Kind::Unreadable, 0, error};
    }
    const DWORD attributes = data.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // Links and junctions are name surrogates. A reparse point without a tag is what Wine shows
        // for a link to a folder; cloud and deduplication placeholders hold the file itself.
        const unsigned long tag = reparseTag(name);
        if (tag == 0 || IsReparseTagNameSurrogate(tag))
            return {Kind::Link, 0, 0};
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return {Kind::Folder, 0, 0};
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return {Kind::Other, 0, 0};
    return {Kind::Regular, qint64((quint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow), 0};
}

QString refusal(const Entry& entry)
{
    switch (entry.kind) {
    case Kind::Missing:
    case Kind::Regular:
        return QString();
    case Kind::Folder:
        return FileReasons::folderInPlace();
    case Kind::Link:
        return FileReasons::symbolicLink();
    case Kind::Other:
        return FileReasons::notRegular(QStringLiteral("ein Gerät"));
    case Kind::Unreadable:
        return systemReason(entry.error);
    }
    return QString();
}

QString systemReason(unsigned long error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return QStringLiteral("keine Berechtigung");
    case ERROR_WRITE_PROTECT:
        return QStringLiteral("der Datenträger ist schreibgeschützt");
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return QStringLiteral("der Datenträger ist voll");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return QStringLiteral("die Datei oder ihr Ordner fehlt");
    case ERROR_FILENAME_EXCED_RANGE:
        return QStringLiteral("der Pfad ist zu lang");
    case ERROR_INVALID_NAME:
        return QStringLiteral("der Dateiname ist unter Windows nicht erlaubt");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return QStringLiteral("die Datei ist von einem anderen Programm geöffnet");
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return QStringLiteral("nicht genug Arbeitsspeicher");
    case ERROR_TOO_MANY_OPEN_FILES:
        return QStringLiteral("zu viele offene Dateien");
    case ERROR_NOT_SAME_DEVICE:
        return QStringLiteral("die Datei liegt auf einem anderen Datenträger als ihr Ordner");
    default:
        return QStringLiteral("Systemfehler %1").arg(error);
    }
}

RetryPause defaultRetryPause()
{
    // A few quick tries that let the other program run; nothing in the core sleeps, as the caller
    // may be the window's thread.
    return [](int attempt) {
        if (attempt >= 64)
            return false;
        QThread::yieldCurrentThread();
        return true;
    };
}

Status replace(const QString& temporary, const QString& target, const RetryPause& pause)
{
    const std::wstring from = native(temporary);
    const std::wstring to = native(target);
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 1;; ++attempt) {
        // A rename over the old name: one step, so the name holds the old file or the new one at
        // every moment. (ReplaceFileW moves the old file aside first; killed or failing between its
        // steps, it leaves no file under the name, or its own backups beside it.) The temporary was
        // made in the same folder and so carries the folder's permissions, as the old file did.
        const BOOL done = ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (done) {
            flushFile(to);
            return {};
        }
        error = ::GetLastError();
        if (!blockedByAnotherProgram(error) || !pause || !pause(attempt))
            break;
    }
    if (error == ERROR_ACCESS_DENIED) {
        // A rename over a file that another program holds open is refused as access denied too: an
        // open for deletion that shares everything tells the two apart.
        const DWORD attributes = ::GetFileAttributesW(to.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return Status::failure(FileReasons::readOnly());
        const HANDLE probe = ::CreateFileW(to.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        const DWORD probed = probe == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
        if (probe != INVALID_HANDLE_VALUE)
            ::CloseHandle(probe);
        if (probed != ERROR_SHARING_VIOLATION)
            return Status::failure(QStringLiteral("die alte Datei kann nicht ersetzt werden (keine Berechtigung)"));
    }
    if (blockedByAnotherProgram(error))
        return Status::failure(QStringLiteral("die Datei ist von einem anderen Programm geöffnet"));
    return Status::failure(QStringLiteral("die alte Datei kann nicht ersetzt werden (%1)").arg(systemReason(error)));
}

} // namespace WindowsFiles

#endif
