#include "RegularFile.h"

#include "FileReasons.h"

#include <QFile>

#ifdef Q_OS_WIN
#include "WindowsFiles.h"

#include <cerrno>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using ReadResult = Result<std::optional<QByteArray>>;

ReadResult refused(const QString& path, const QString& reason)
{
    return ReadResult::failure(FileReasons::readFailure(path, reason));
}

#ifndef Q_OS_WIN

class Descriptor final
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

#endif

} // namespace

ReadResult readRegularFile(const QString& path, qint64 maxBytes)
{
#ifdef Q_OS_WIN
    const WindowsFiles::Entry entry = WindowsFiles::inspect(path);
    if (entry.kind == WindowsFiles::Kind::Missing)
        return std::optional<QByteArray>();
    if (const QString why = WindowsFiles::refusal(entry); !why.isEmpty())
        return refused(path, why);
    if (entry.size > maxBytes)
        return refused(path, FileReasons::tooLarge(entry.size, maxBytes));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(path, file.error() == QFileDevice::PermissionsError ? FileReasons::systemReason(EACCES)
                                                                           : QStringLiteral("Lesefehler"));
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refused(path, QStringLiteral("Lesefehler"));
    if (bytes.size() > maxBytes)
        return refused(path, FileReasons::tooLarge(bytes.size(), maxBytes));
    return std::optional<QByteArray>(std::move(bytes));
#else
    const QByteArray native = QFile::encodeName(path);
    struct stat before
    {
    };
    // Looked at first without opening: opening a device can have effects of its own.
    if (::lstat(native.constData(), &before) != 0) {
        if (errno == ENOENT)
            return std::optional<QByteArray>();
        return refused(path, FileReasons::systemReason(errno));
    }
    if (const QString why = FileReasons::typeRefusal(before.st_mode); !why.isEmpty())
        return refused(path, why);
    if (before.st_size > maxBytes)
        return refused(path, FileReasons::tooLarge(before.st_size, maxBytes));

    int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
#ifdef O_CLOEXEC
    flags |= O_CLOEXEC;
#endif
    int fd = -1;
    do {
        fd = ::open(native.constData(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::optional<QByteArray>();
        return refused(path, errno == ELOOP ? FileReasons::symbolicLink() : FileReasons::systemReason(errno));
    }
    const Descriptor descriptor(fd);
    // What was opened counts, not what lstat saw: the name may have been swapped in between.
    struct stat opened
    {
    };
    if (::fstat(fd, &opened) != 0)
        return refused(path, FileReasons::systemReason(errno));
    if (const QString why = FileReasons::typeRefusal(opened.st_mode); !why.isEmpty())
        return refused(path, why);
    if (opened.st_size > maxBytes)
        return refused(path, FileReasons::tooLarge(opened.st_size, maxBytes));

    const auto readSome = [fd](char* into, qsizetype room) {
        ssize_t got = -1;
        do {
            got = ::read(fd, into, size_t(room));
        } while (got < 0 && errno == EINTR);
        return got;
    };
    QByteArray bytes(qsizetype(opened.st_size), Qt::Uninitialized);
    qsizetype used = 0;
    while (used < bytes.size()) {
        const ssize_t got = readSome(bytes.data() + used, bytes.size() - used);
        if (got < 0)
            return refused(path, FileReasons::systemReason(errno));
        if (got == 0)
            break;
        used += got;
    }
    bytes.truncate(used);
    // Another program may be appending: whatever follows counts too, never beyond the limit.
    char more[4096];
    while (true) {
        const ssize_t got = readSome(more, sizeof more);
        if (got < 0)
            return refused(path, FileReasons::systemReason(errno));
        if (got == 0)
            break;
        if (bytes.size() + got > maxBytes)
            return refused(path, FileReasons::tooLarge(bytes.size() + got, maxBytes));
        bytes.append(more, got);
    }
    return std::optional<QByteArray>(std::move(bytes));
#endif
}
