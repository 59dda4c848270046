#pragma once

#include <QtGlobal>

#ifdef Q_OS_WIN

#include "Result.h"

#include <QString>

#include <functional>

// What the Windows file system holds under a name, looked at without following links, and the
// replace step of an atomic write. The reader (RegularFile) and the writer (AtomicFile) refuse the
// same things as on Linux: links, junctions and other name-surrogate reparse points, folders and
// devices in place of a file.
namespace WindowsFiles {

enum class Kind
{
    Missing,
    Regular,
    Folder,
    Link, // symbolic link, junction, or a reparse point whose kind the system does not tell
    Other,
    Unreadable, // the attributes could not be read (error holds why)
};

struct Entry
{
    Kind kind = Kind::Missing;
    qint64 size = 0;
    unsigned long error = 0;
};

Entry inspect(const QString& path);

// Why a file of this kind is neither read nor written; empty for Regular and Missing.
QString refusal(const Entry& entry);

// The reason for a Windows error code (GetLastError), without the path; never the system's text.
QString systemReason(unsigned long error);

// Called after a replace that another program blocked (attempt counts from 1); returns false to
// give up. The default yields the processor up to 64 times and never sleeps.
using RetryPause = std::function<bool(int attempt)>;
RetryPause defaultRetryPause();

// Puts the file temporary in place of target with one write-through rename (the name holds the old
// file or the new one at every moment), then flushes target. Sharing and lock violations are tried
// again as pause allows. The failure message is the reason alone.
Status replace(const QString& temporary, const QString& target, const RetryPause& pause = defaultRetryPause());

} // namespace WindowsFiles

#endif
