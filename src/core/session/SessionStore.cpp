#include "SessionStore.h"

#include "base/AtomicFile.h"
#include "base/FileReasons.h"
#include "setups/SetupConversion.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QThreadPool>

#include <optional>

// One queue in the order handed over: a setup job has no history path, a history job has.
struct SessionStore::Job
{
    QString folder; // setup: the setups folder
    Setup setup;
    QString historyPath; // history: the history file
    ScanRecord scan;
    quint64 ticket = 0;
};

// What the worker shares with the store; it outlives the store while work is left.
struct SessionStore::Shared
{
    QMutex mutex;
    QList<Job> queue;
    QStringList sweeps;
    Writer writer = writeFilesAtomically;
    bool running = false;
    QPointer<SessionStore> owner; // made and read on the owner's thread only
};

SessionStore::SessionStore(QObject* parent) : QObject(parent), m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
    // The worker thread is made now and kept for the life of the program: a scan neither waits for
    // a new thread nor leaves one (with its descriptors) behind.
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    if (pool->activeThreadCount() == 0)
        pool->start([] {});
}

SessionStore::~SessionStore() = default;

void SessionStore::setWriter(Writer writer)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->writer = writer ? std::move(writer) : Writer(writeFilesAtomically);
}

void SessionStore::storeSetups(const QString& folder, const QList<Setup>& setups, quint64 ticket)
{
    if (setups.isEmpty())
        return;
    m_pendingSetups += int(setups.size());
    QList<Job> jobs;
    jobs.reserve(setups.size());
    for (const Setup& setup : setups) {
        Job job;
        job.folder = folder;
        job.setup = setup;
        job.ticket = ticket;
        jobs.append(std::move(job));
    }
    enqueue(std::move(jobs));
}

void SessionStore::sweepLeftovers(const QString& folder)
{
    QMutexLocker lock(&m_shared->mutex);
    if (!m_shared->sweeps.contains(folder))
        m_shared->sweeps << folder;
}

void SessionStore::recordScan(const QString& path, const ScanRecord& scan, quint64 ticket)
{
    Job job;
    job.historyPath = path;
    job.scan = scan;
    job.ticket = ticket;
    enqueue({std::move(job)});
}

void SessionStore::enqueue(QList<Job> jobs)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->queue.append(std::move(jobs));
    if (!m_shared->running) {
        m_shared->running = true;
        QThreadPool::globalInstance()->start([shared = m_shared] { drain(shared); });
    }
}

void SessionStore::drain(const std::shared_ptr<Shared>& shared)
{
    for (;;) {
        QList<Job> setups;
        std::optional<Job> history;
        QStringList sweeps;
        Writer writer;
        {
            QMutexLocker lock(&shared->mutex);
            if (shared->queue.isEmpty()) {
                shared->running = false;
                return;
            }
            // The setups at the head of the queue form one batch; a history job goes alone.
            if (!shared->queue.first().historyPath.isEmpty()) {
                history = shared->queue.takeFirst();
            } else {
                while (!shared->queue.isEmpty() && shared->queue.first().historyPath.isEmpty() &&
                       setups.size() < MaxBatch)
                    setups.append(shared->queue.takeFirst());
                sweeps = std::exchange(shared->sweeps, {});
            }
            writer = shared->writer;
        }
        // Setup files of the gateway ID pattern only: other programs' files are never touched.
        for (const QString& folder : std::as_const(sweeps))
            removeStaleTemporaries(folder, QStringLiteral("SETUPGW_[0-9A-F]{2}_[0-9A-F]{2}_[0-9A-F]{2}\\.GWINI"),
                                   LeftoverAgeSeconds);
        if (history)
            writeHistory(shared, *history);
        else
            writeSetups(shared, setups, writer);
    }
}

void SessionStore::report(const std::shared_ptr<Shared>& shared, std::function<void(SessionStore&)> what)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [shared, what = std::move(what)] {
            if (SessionStore* store = shared->owner.data())
                what(*store);
        },
        Qt::QueuedConnection);
}

void SessionStore::writeSetups(const std::shared_ptr<Shared>& shared, const QList<Job>& jobs, const Writer& writer)
{
    QList<Status> results(jobs.size());
    QList<FileWrite> files;
    QList<qsizetype> fileOf(jobs.size(), -1);
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const Result<IniFile> ini = SetupRecordToIni(jobs[i].folder, jobs[i].setup.id, jobs[i].setup.record);
        if (!ini) {
            results[i] = Status::from(ini);
            continue;
        }
        fileOf[i] = files.size();
        files.append(FileWrite{ini->path(), ini->toBytes()});
    }
    const QList<Status> written = writer(files);
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        if (fileOf[i] >= 0)
            results[i] = written.value(fileOf[i], Status::failure(FileReasons::writeFailure(
                                                      files[fileOf[i]].path, QStringLiteral("nicht geschrieben"))));
    }
    QList<std::pair<quint64, QHostAddress>> done;
    for (const Job& job : jobs)
        done.append({job.ticket, job.setup.from});
    report(shared, [done, results](SessionStore& store) {
        for (qsizetype i = 0; i < done.size(); ++i) {
            --store.m_pendingSetups;
            emit store.setupStored(done[i].first, done[i].second, results[i]);
        }
    });
}

void SessionStore::writeHistory(const std::shared_ptr<Shared>& shared, const Job& job)
{
    ScanHistory history(job.historyPath);
    const ScanHistory::Recorded recorded = history.record(job.scan);
    const ScanComparison comparison = compareScans(recorded.previous, job.scan);
    report(shared, [ticket = job.ticket, comparison, status = recorded.status](SessionStore& store) {
        emit store.scanRecorded(ticket, comparison, status);
    });
}
