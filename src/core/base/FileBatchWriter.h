#pragma once

#include "Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct FileWrite
{
    QString path;
    QByteArray bytes;
};

// Replaces every file as writeFileAtomically() does, each on its own (a failure of one leaves the
// others alone), but with the waits for the disk shared: all temporary files are written, their
// data flushed together, renamed, and then each folder flushed once. When it returns, every file
// reported ok is durable. One status per file, in order.
[[nodiscard]] QList<Status> writeFilesAtomically(const QList<FileWrite>& files);
