#pragma once

#include "Result.h"

#include <QFile>
#include <QString>

#include <memory>

// A file that other programs and other users can reach, opened for reading piece by piece or for
// appending, with the rules of readRegularFile() and writeFileAtomically(): never through a
// symbolic link, never blocking on a FIFO or device, only a regular file; appending refuses a file
// the user may not change. Failures name the path and the reason in German.
namespace SharedFile {

// No file at path: a null pointer.
[[nodiscard]] Result<std::unique_ptr<QFile>> openForReading(const QString& path);
// Created when missing (with the umask's permission bits).
[[nodiscard]] Result<std::unique_ptr<QFile>> openForAppending(const QString& path);
// Makes what was written to file durable.
[[nodiscard]] Status flushToDisk(QFile& file);

} // namespace SharedFile
