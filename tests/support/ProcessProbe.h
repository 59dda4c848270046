#pragma once

#include <QDir>
#include <QFile>

// AddressSanitizer keeps freed memory in quarantine, so memory bounds are looser under it.
#if defined(__SANITIZE_ADDRESS__)
#define TELVARO_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TELVARO_UNDER_ASAN 1
#endif
#endif

// What this process holds right now (Linux /proc): open descriptors and resident memory.
inline int openDescriptors()
{
    return int(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

inline qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
