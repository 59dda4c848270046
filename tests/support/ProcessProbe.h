#pragma once

#include <QDir>
#include <QFile>

#ifdef __GLIBC__
#include <malloc.h>
#endif

// AddressSanitizer keeps freed memory in quarantine, so memory bounds are looser under it.
#if defined(__SANITIZE_ADDRESS__)
#define TELVARO_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TELVARO_UNDER_ASAN 1
#endif
#endif

#ifdef Q_OS_WIN
// What this process holds right now (Windows, WindowsSupport.cpp): open handles and the working
// set; Windows keeps the peak working set for the life of the process, so it cannot be reset.
int openDescriptors();
qint64 residentKb();
qint64 peakResidentKb();
inline bool resetPeakResident()
{
    return false;
}
#else
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

// VmHWM of /proc/self/status: the most this process has held resident since the last reset.
inline qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Sets the peak to what is resident now (Linux 4.0 and later); false where the kernel cannot.
// Large blocks are kept out of the heap first, so what an earlier step freed there cannot hide what
// the next one takes.
inline bool resetPeakResident()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    malloc_trim(0);
#endif
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        return false;
    clear.close();
    // The kernel's counters of resident pages lag by a few pages per thread.
    return peakResidentKb() - residentKb() < 256;
}
#endif
