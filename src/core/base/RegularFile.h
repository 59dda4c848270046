#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The one way the core reads a file that other programs and other users can write (setup files,
// the settings file, device lists, key lists): never through a symbolic link, never blocking on a
// FIFO or device, never more than a given size.
//
// - No file at path: an empty optional (a dangling symbolic link is a link, not a missing file).
// - A symbolic link, a folder, a FIFO, a device, a socket: refused with a German message naming
//   the path; a link is not opened, a FIFO or device only without blocking, and nothing is read.
// - A regular file larger than maxBytes: refused before a byte is read.
// Folders on the way to the file may be links.
[[nodiscard]] Result<std::optional<QByteArray>> readRegularFile(const QString& path, qint64 maxBytes);
