#include "AtomicFile.h"

#include "FileReasons.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <utility>

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

int removeStaleTemporaries(const QString& folder, const QString& namePattern, qint64 minimumAge)
{
    const QRegularExpression ours(QStringLiteral("^\\.(?:%1)\\.tmp-[0-9a-f]{8}$").arg(namePattern));
    if (!ours.isValid())
        return 0;
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-minimumAge);
    int removed = 0;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral(".*.tmp-*")}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (!ours.match(name).hasMatch())
            continue;
        const QFileInfo info(dir.filePath(name));
        if (info.isSymLink() || !info.isFile() || info.lastModified() > before)
            continue;
        removed += QFile::remove(info.filePath()) ? 1 : 0;
    }
    return removed;
}

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

// Refused whatever the permission bits say to this process (root may write anything): a file that
// nobody may write, or that this user may not.
bool isReadOnly(const QByteArray& native, const struct stat& st)
{
    if ((st.st_mode & 0222) == 0)
        return true;
    return ::access(native.constData(), W_OK) != 0 && errno == EACCES;
}

} // namespace

struct FileReplacement::State
{
    QString path;
    QByteArray native;
    QByteArray nativeTemporary;
    int fd = -1;
    bool committed = false;

    ~State()
    {
        if (fd >= 0)
            ::close(fd);
        if (!committed && !nativeTemporary.isEmpty())
            ::unlink(nativeTemporary.constData());
    }
};

Result<FileReplacement> FileReplacement::begin(const QString& path)
{
    using R = Result<FileReplacement>;
    const auto refuse = [&path](const QString& reason) { return R::failure(FileReasons::writeFailure(path, reason)); };
    if (path.isEmpty())
        return refuse(QStringLiteral("kein Dateiname"));
    auto state = std::make_unique<State>();
    state->path = path;
    state->native = QFile::encodeName(path);
    struct stat old
    {
    };
    bool existed = false;
    if (::lstat(state->native.constData(), &old) == 0) {
        existed = true;
        if (const QString why = FileReasons::typeRefusal(old.st_mode); !why.isEmpty())
            return refuse(why);
        if (isReadOnly(state->native, old))
            return refuse(FileReasons::readOnly());
    } else if (errno != ENOENT) {
        return refuse(FileReasons::systemReason(errno));
    }

    QString temporary;
    for (int attempt = 0; attempt < 100 && state->fd < 0; ++attempt) {
        temporary = temporaryName(path);
        state->fd = ::open(QFile::encodeName(temporary).constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, existed ? (old.st_mode & 0777) : 0666);
        if (state->fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (state->fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return refuse(QStringLiteral("der Ordner %1 fehlt").arg(QFileInfo(path).absolutePath()));
        return refuse(
            QStringLiteral("im Ordner kann keine Datei angelegt werden (%1)").arg(FileReasons::systemReason(error)));
    }
    state->nativeTemporary = QFile::encodeName(temporary);
    if (existed) {
        // Best effort: the new file keeps the old one's owner and permission bits.
        if (::fchown(state->fd, old.st_uid, old.st_gid) != 0) {
        }
        if (::fchmod(state->fd, old.st_mode & 07777) != 0) {
        }
    }
    return FileReplacement(std::move(state));
}

Status FileReplacement::write(QByteArrayView bytes)
{
    if (!m_state || m_state->fd < 0)
        return failed(path(), FileReasons::systemReason(EBADF));
    if (!writeAll(m_state->fd, bytes.data(), bytes.size()))
        return failed(m_state->path, FileReasons::systemReason(errno));
    return {};
}

Status FileReplacement::flush()
{
    if (!m_state || m_state->fd < 0)
        return failed(path(), FileReasons::systemReason(EBADF));
    if (::fsync(m_state->fd) != 0 && errno != EINVAL && errno != EROFS)
        return failed(m_state->path, FileReasons::systemReason(errno));
    return {};
}

QList<Status> FileReplacement::flushAll(const QList<FileReplacement*>& files)
{
    QList<Status> result(files.size());
#ifdef Q_OS_LINUX
    // One syncfs() writes out and flushes every file of a file system with one wait for the disk,
    // where an fsync() per file would wait for the disk's cache flush each time. Its failure says
    // nothing about which file: then each file is flushed on its own.
    QList<dev_t> done;
    QList<dev_t> failedDevices;
    for (FileReplacement* file : files) {
        struct stat st
        {
        };
        if (!file->m_state || file->m_state->fd < 0 || ::fstat(file->m_state->fd, &st) != 0 ||
            done.contains(st.st_dev) || failedDevices.contains(st.st_dev))
            continue;
        (::syncfs(file->m_state->fd) == 0 ? done : failedDevices).append(st.st_dev);
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        struct stat st
        {
        };
        const bool synced = files[i]->m_state && files[i]->m_state->fd >= 0 &&
                            ::fstat(files[i]->m_state->fd, &st) == 0 && done.contains(st.st_dev);
        if (!synced)
            result[i] = files[i]->flush();
    }
#else
    for (qsizetype i = 0; i < files.size(); ++i)
        result[i] = files[i]->flush();
#endif
    return result;
}

Status FileReplacement::commit()
{
    if (!m_state || m_state->fd < 0)
        return failed(path(), FileReasons::systemReason(EBADF));
    State& s = *m_state;
    const int fd = std::exchange(s.fd, -1);
    if (::close(fd) != 0)
        return failed(s.path, FileReasons::systemReason(errno));

    // The name may have been replaced by a link while we wrote; rename() would then replace the
    // link itself, but a link in place of the file is refused all the same.
    struct stat now
    {
    };
    if (::lstat(s.native.constData(), &now) == 0) {
        if (const QString why = FileReasons::typeRefusal(now.st_mode); !why.isEmpty())
            return failed(s.path, why);
    }
    if (::rename(s.nativeTemporary.constData(), s.native.constData()) != 0) {
        const int error = errno;
        return failed(
            s.path,
            QStringLiteral("die alte Datei kann nicht ersetzt werden (%1)").arg(FileReasons::systemReason(error)));
    }
    s.committed = true;
    return {};
}

void flushFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // the rename survives a power cut; a file system that cannot do this has done it
    ::close(fd);
}

Status writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    Result<FileReplacement> file = FileReplacement::begin(path);
    if (!file)
        return Status::from(file);
    Status done = file->write(bytes);
    if (done)
        done = file->flush();
    if (done)
        done = file->commit();
    if (!done)
        return done;
    flushFolder(QFileInfo(path).absolutePath());
    return {};
}

#else

Status writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        return failed(path, QStringLiteral("kein Dateiname"));
    if (const QString why = WindowsFiles::refusal(WindowsFiles::inspect(path)); !why.isEmpty())
        return failed(path, why);
    // The replace call would take a read-only file's place all the same.
    const DWORD attributes =
        ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return failed(path, FileReasons::readOnly());

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

#ifdef Q_OS_WIN

// The replace call above flushes each file itself (FlushFileBuffers, a write-through rename), so the
// steps gather the bytes and commit() hands them to it.
struct FileReplacement::State
{
    QString path;
    QByteArray bytes;
};

Result<FileReplacement> FileReplacement::begin(const QString& path)
{
    if (path.isEmpty())
        return Result<FileReplacement>::failure(FileReasons::writeFailure(path, QStringLiteral("kein Dateiname")));
    const QFileInfo info(path);
    if (info.exists() && info.isFile() && !info.isWritable())
        return Result<FileReplacement>::failure(FileReasons::writeFailure(path, FileReasons::readOnly()));
    auto state = std::make_unique<State>();
    state->path = path;
    return FileReplacement(std::move(state));
}

Status FileReplacement::write(QByteArrayView bytes)
{
    m_state->bytes.append(bytes);
    return {};
}

QList<Status> FileReplacement::flushAll(const QList<FileReplacement*>& files)
{
    return QList<Status>(files.size()); // each commit() flushes its own file
}

Status FileReplacement::flush()
{
    return {};
}

Status FileReplacement::commit()
{
    return writeFileAtomically(m_state->path, std::exchange(m_state->bytes, QByteArray()));
}

void flushFolder(const QString&)
{}

#endif

FileReplacement::FileReplacement(std::unique_ptr<State> state) : m_state(std::move(state))
{}
FileReplacement::FileReplacement(FileReplacement&&) noexcept = default;
FileReplacement& FileReplacement::operator=(FileReplacement&&) noexcept = default;
FileReplacement::~FileReplacement() = default;

const QString& FileReplacement::path() const
{
    static const QString none;
    return m_state ? m_state->path : none;
}
