#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes in one step, as other programs see it: the bytes go into a
// new temporary file in the file's own folder (created exclusively, never through a link), which is
// then renamed over the name. A crash, a full disk or a read-only folder leaves the old file whole
// and no temporary file behind (a killed process may leave one, never the named file half written).
//
// Refused, with nothing written anywhere: a path that is a symbolic link (also a dangling one: no
// file appears at its target), a folder, a FIFO, a device or anything else but a regular file. An
// existing file keeps its permission bits. Failures name the path and the reason in German.
//
// On Windows a replace that another program blocks for a moment (a virus scanner, an indexer) is
// tried again a bounded number of times, never sleeping on the window's thread (WindowsFiles).
[[nodiscard]] Status writeFileAtomically(const QString& path, const QByteArray& bytes);
