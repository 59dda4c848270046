#pragma once

#include "Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>

// Replaces the file at path with bytes in one step, as other programs see it: the bytes go into a
// new temporary file in the file's own folder (created exclusively, never through a link), which is
// then renamed over the name. A crash, a full disk or a read-only folder leaves the old file whole
// and no temporary file behind (a killed process may leave one, never the named file half written).
//
// Refused, with nothing written anywhere: a path that is a symbolic link (also a dangling one: no
// file appears at its target), a folder, a FIFO, a device or anything else but a regular file, and
// a file the user may not change (read-only, or another user's): it is never replaced behind the
// user's back. An existing file keeps its permission bits. Failures name the path and the reason in
// German.
//
// On Windows a replace that another program blocks for a moment (a virus scanner, an indexer) is
// tried again a bounded number of times, never sleeping on the window's thread (WindowsFiles).
[[nodiscard]] Status writeFileAtomically(const QString& path, const QByteArray& bytes);

// writeFileAtomically() in steps, for a writer that streams a large file or shares the flushes of
// many files: begin() refuses what writeFileAtomically() refuses and creates the temporary file,
// write() adds bytes to it, flush() makes them durable, commit() renames the temporary over the name.
// The rename itself is durable once flushFolder() has run for the folder, once for any number of
// files. Dropped before commit(), the temporary file is removed and the named file stays as it was.
class FileReplacement final
{
public:
    [[nodiscard]] static Result<FileReplacement> begin(const QString& path);

    FileReplacement(FileReplacement&&) noexcept;
    FileReplacement& operator=(FileReplacement&&) noexcept;
    ~FileReplacement();

    const QString& path() const;
    [[nodiscard]] Status write(QByteArrayView bytes);
    [[nodiscard]] Status flush();
    // flush() for several files at once, one status each: where the platform offers it, one flush
    // of each file system they lie on (Linux: syncfs) instead of one wait for the disk per file.
    [[nodiscard]] static QList<Status> flushAll(const QList<FileReplacement*>& files);
    [[nodiscard]] Status commit();

private:
    struct State;
    explicit FileReplacement(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

// Makes the renames and new names in folder durable (after a power cut they are still there).
// Best effort: a file system that cannot do this has done it already.
void flushFolder(const QString& folder);

// Removes from folder the temporary files that writers of this file name pattern left behind when
// they were killed (".<name>.tmp-<8 hex digits>", <name> matching namePattern whole), once their
// last change is older than minimumAge seconds; a younger one may belong to a writer at work. Only
// regular files of exactly that form go; links, folders and every other file stay. Returns how
// many were removed.
int removeStaleTemporaries(const QString& folder, const QString& namePattern, qint64 minimumAge);
