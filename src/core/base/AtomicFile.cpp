#include "AtomicFile.h"

#include "FileReasons.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_WIN
#include "WindowsFiles.h"

#include <QDir>

#include <qt_windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

Status failed(const QString& path, const QString& reason)
{
    return Status::failure(FileReasons::writeFailure(path, reason));
}

// A name beside the target that no reader of "*.GWINI" or "*.INI" lists.
QString temporaryName(const QString& path)
{
    const qsizetype slash = qMax(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    return folder + u'.' + name +
           QStringLiteral(".tmp-%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

} // namespace

#ifndef Q_OS_WIN

namespace {

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size_t(size));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (done == 0) {
            errno = ENOSPC;
            return false;
        }
        data += done;
        size -= done;
    }
    return true;
}

void syncFolder(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // the rename survives a power cut; a file system that cannot do this has done it
    ::close(fd);
}

} // namespace

Status writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        return failed(path, QStringLiteral("kein Dateiname"));
    const QByteArray native = QFile::encodeName(path);
    struct stat old
    {
    };
    bool existed = false;
    if (::lstat(native.constData(), &old) == 0) {
        existed = true;
        if (const QString why = FileReasons::typeRefusal(old.st_mode); !why.isEmpty())
            return failed(path, why);
    } else if (errno != ENOENT) {
        return failed(path, FileReasons::systemReason(errno));
    }

    QString temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryName(path);
        fd = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    existed ? (old.st_mode & 0777) : 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return failed(path, QStringLiteral("der Ordner %1 fehlt").arg(QFileInfo(path).absolutePath()));
        return failed(
            path,
            QStringLiteral("im Ordner kann keine Datei angelegt werden (%1)").arg(FileReasons::systemReason(error)));
    }
    const QByteArray nativeTemporary = QFile::encodeName(temporary);
    const auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(nativeTemporary.constData());
        return failed(path, FileReasons::systemReason(error));
    };
    if (existed) {
        // Best effort: the new file keeps the old one's owner and permission bits.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0) {
        }
    }
    if (!writeAll(fd, bytes.constData(), bytes.size()))
        return abandon(errno);
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(nativeTemporary.constData());
        return failed(path, FileReasons::systemReason(error));
    }

    // The name may have been replaced by a link while we wrote; rename() would then replace the
    // link itself, but a link in place of the file is refused all the same.
    struct stat now
    {
    };
    if (::lstat(native.constData(), &now) == 0) {
        if (const QString why = FileReasons::typeRefusal(now.st_mode); !why.isEmpty()) {
            ::unlink(nativeTemporary.constData());
            return failed(path, why);
        }
    }
    if (::rename(nativeTemporary.constData(), native.constData()) != 0) {
        const int error = errno;
        ::unlink(nativeTemporary.constData());
        return failed(
            path,
            QStringLiteral("die alte Datei kann nicht ersetzt werden (%1)").arg(FileReasons::systemReason(error)));
    }
    syncFolder(path);
    return {};
}

#else

Status writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        return failed(path, QStringLiteral("kein Dateiname"));
    if (const QString why = WindowsFiles::refusal(WindowsFiles::inspect(path)); !why.isEmpty())
        return failed(path, why);

    // Created exclusively (CREATE_NEW), written and flushed to the disk before the replace.
    QString temporary;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = temporaryName(path);
        handle = ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(temporary).utf16()),
                               GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PATH_NOT_FOUND)
            return failed(
                path,
                QStringLiteral("der Ordner %1 fehlt").arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath())));
        return failed(
            path,
            QStringLiteral("im Ordner kann keine Datei angelegt werden (%1)").arg(WindowsFiles::systemReason(error)));
    }
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    bool written = true;
    while (written && left > 0) {
        DWORD done = 0;
        const DWORD chunk = DWORD(qMin<qsizetype>(left, 1 << 30));
        written = ::WriteFile(handle, data, chunk, &done, nullptr) && done > 0;
        data += done;
        left -= done;
    }
    DWORD error = written ? ERROR_SUCCESS : ::GetLastError();
    if (written && !::FlushFileBuffers(handle)) {
        written = false;
        error = ::GetLastError();
    }
    ::CloseHandle(handle);
    if (!written) {
        QFile::remove(temporary);
        return failed(path, WindowsFiles::systemReason(error));
    }

    // The name may have been replaced by a link or a folder while we wrote.
    if (const QString why = WindowsFiles::refusal(WindowsFiles::inspect(path)); !why.isEmpty()) {
        QFile::remove(temporary);
        return failed(path, why);
    }
    if (const Status replaced = WindowsFiles::replace(temporary, path); !replaced) {
        QFile::remove(temporary);
        return failed(path, replaced.message());
    }
    return {};
}

#endif
