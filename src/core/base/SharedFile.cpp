#include "SharedFile.h"

#include "FileReasons.h"

#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace SharedFile {

namespace {

using Opened = Result<std::unique_ptr<QFile>>;

Opened refuse(const QString& path, bool reading, const QString& reason)
{
    return Opened::failure(reading ? FileReasons::readFailure(path, reason) : FileReasons::writeFailure(path, reason));
}

#ifndef Q_OS_WIN

Opened open(const QString& path, bool reading)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st
    {
    };
    const bool existed = ::lstat(native.constData(), &st) == 0;
    if (existed) {
        if (const QString why = FileReasons::typeRefusal(st.st_mode); !why.isEmpty())
            return refuse(path, reading, why);
        if (!reading && (st.st_mode & 0222) == 0)
            return refuse(path, reading, FileReasons::readOnly());
    } else if (reading && errno == ENOENT) {
        return std::unique_ptr<QFile>();
    }
    const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (reading ? O_RDONLY : O_WRONLY | O_APPEND | O_CREAT);
    const int fd = ::open(native.constData(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        if (reading && error == ENOENT)
            return std::unique_ptr<QFile>();
        if (error == ELOOP)
            return refuse(path, reading, FileReasons::symbolicLink());
        if (error == ENXIO)
            return refuse(path, reading, FileReasons::notRegular(QStringLiteral("eine Pipe (FIFO)")));
        if (!reading && existed && error == EACCES)
            return refuse(path, reading, FileReasons::readOnly());
        return refuse(path, reading, FileReasons::systemReason(error));
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const QString why = FileReasons::typeRefusal(st.st_mode);
        ::close(fd);
        return refuse(path, reading, why.isEmpty() ? FileReasons::systemReason(EIO) : why);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto file = std::make_unique<QFile>(path);
    if (!file->open(fd, reading ? QIODevice::ReadOnly : QIODevice::WriteOnly | QIODevice::Append,
                    QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(path, reading, FileReasons::systemReason(EIO));
    }
    return file;
}

#else

Opened open(const QString& path, bool reading)
{
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction())
        return refuse(path, reading, FileReasons::symbolicLink());
    if (info.exists() && info.isDir())
        return refuse(path, reading, FileReasons::folderInPlace());
    if (info.exists() && !info.isFile())
        return refuse(path, reading, FileReasons::notRegular(QStringLiteral("etwas anderes")));
    if (!info.exists() && reading)
        return std::unique_ptr<QFile>();
    if (!reading && info.exists() && !info.isWritable())
        return refuse(path, reading, FileReasons::readOnly());
    auto file = std::make_unique<QFile>(path);
    if (!file->open(reading ? QIODevice::ReadOnly : QIODevice::WriteOnly | QIODevice::Append))
        return refuse(path, reading, FileReasons::systemReason(::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO));
    return file;
}

#endif

} // namespace

Result<std::unique_ptr<QFile>> openForReading(const QString& path)
{
    return open(path, true);
}

Result<std::unique_ptr<QFile>> openForAppending(const QString& path)
{
    return open(path, false);
}

Status flushToDisk(QFile& file)
{
    if (!file.flush())
        return Status::failure(
            FileReasons::writeFailure(file.fileName(), FileReasons::systemReason(errno ? errno : EIO)));
#ifdef Q_OS_WIN
    const bool done = ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle())));
#else
    const bool done = ::fdatasync(file.handle()) == 0 || errno == EINVAL || errno == EROFS;
#endif
    if (!done)
        return Status::failure(FileReasons::writeFailure(file.fileName(), FileReasons::systemReason(errno)));
    return {};
}

} // namespace SharedFile
