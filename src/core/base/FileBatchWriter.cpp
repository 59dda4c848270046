#include "FileBatchWriter.h"

#include "AtomicFile.h"

#include <QFileInfo>
#include <QSet>

#include <optional>
#include <vector>

namespace {

// Temporary files held open at once (a segment's worth); a batch above it is written in groups.
constexpr qsizetype MaxOpenFiles = 256;

void writeGroup(const QList<FileWrite>& files, qsizetype from, qsizetype to, QList<Status>& result,
                QSet<QString>& folders)
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
        open[size_t(i - from)] = std::move(file.value());
    }
    QList<FileReplacement*> written;
    QList<qsizetype> index;
    for (qsizetype i = from; i < to; ++i) {
        if (std::optional<FileReplacement>& file = open[size_t(i - from)]) {
            written << &*file;
            index << i;
        }
    }
    const QList<Status> flushed = FileReplacement::flushAll(written);
    for (qsizetype k = 0; k < flushed.size(); ++k) {
        if (!flushed[k]) {
            result[index[k]] = flushed[k];
            open[size_t(index[k] - from)].reset();
        }
    }
    for (qsizetype i = from; i < to; ++i) {
        std::optional<FileReplacement>& file = open[size_t(i - from)];
        if (!file)
            continue;
        result[i] = file->commit();
        if (result[i])
            folders.insert(QFileInfo(files[i].path).absolutePath());
    }
}

} // namespace

QList<Status> writeFilesAtomically(const QList<FileWrite>& files)
{
    QList<Status> result(files.size());
    QSet<QString> folders;
    for (qsizetype from = 0; from < files.size(); from += MaxOpenFiles)
        writeGroup(files, from, qMin(from + MaxOpenFiles, files.size()), result, folders);
    for (const QString& folder : std::as_const(folders))
        flushFolder(folder);
    return result;
}
