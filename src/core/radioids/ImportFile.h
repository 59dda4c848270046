#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Device lists and key lists come from other programs and other users. Far above any real list
// (a key list of 100 000 devices is a few megabytes), small enough that reading one never holds the
// window for long.
constexpr qint64 MaxImportFileBytes = 16 * 1024 * 1024;

// readRegularFile() with MaxImportFileBytes: no file gives an empty optional; a link, FIFO, device,
// folder or a file above the limit is refused with a German message naming the path.
[[nodiscard]] Result<std::optional<QByteArray>> readImportFile(const QString& path);
