#include "FileBatchWriter.h"

#include "AtomicFile.h"

#include <QFileInfo>
#include <QSet>

#include <optional>
#include <vector>

namespace {

// Temporary files held open at once; a batch above it is written in groups.
constexpr qsizetype MaxOpenFiles = 64;

void writeGroup(const QList<FileWrite>& files, qsizetype from, qsizetype to, QList<Status>& result)
{
    std::vector<std::optional<FileReplacement>> open(size_t(to - from));
    for (qsizetype i = from; i < to; ++i) {
        Result<FileReplacement> file = FileReplacement::begin(files[i].path);
        if (!file) {
            result[i] = Status::from(file);
            continue;
        }
        if (Status written = file->write(files[i].bytes); !written) {
            result[i] = written;
            continue;
        }
        file->startFlush();
        open[size_t(i - from)] = std::move(file.value());
    }
    for (qsizetype i = from; i < to; ++i) {
        std::optional<FileReplacement>& file = open[size_t(i - from)];
        if (!file)
            continue;
        if (Status flushed = file->flush(); !flushed) {
            result[i] = flushed;
            file.reset();
        }
    }
    QSet<QString> folders;
    for (qsizetype i = from; i < to; ++i) {
        std::optional<FileReplacement>& file = open[size_t(i - from)];
        if (!file)
            continue;
        result[i] = file->commit();
        if (result[i])
            folders.insert(QFileInfo(files[i].path).absolutePath());
    }
    for (const QString& folder : std::as_const(folders))
        flushFolder(folder);
}

} // namespace

QList<Status> writeFilesAtomically(const QList<FileWrite>& files)
{
    QList<Status> result(files.size());
    for (qsizetype from = 0; from < files.size(); from += MaxOpenFiles)
        writeGroup(files, from, qMin(from + MaxOpenFiles, files.size()), result);
    return result;
}
