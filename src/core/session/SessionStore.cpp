#include "SessionStore.h"

#include "base/AtomicFile.h"
#include "setups/SetupConversion.h"

#include <QMutexLocker>

SessionStore::SessionStore(QObject* parent) : QObject(parent), m_writer(writeFilesAtomically)
{
    m_pool.setMaxThreadCount(1);
}

SessionStore::~SessionStore()
{
    m_pool.waitForDone();
}

void SessionStore::setWriter(Writer writer)
{
    QMutexLocker lock(&m_mutex);
    m_writer = writer ? std::move(writer) : Writer(writeFilesAtomically);
}

void SessionStore::storeSetup(const QString& folder, const GatewayId& id, const GWSetupRecord& record,
                              const QHostAddress& from, quint64 ticket)
{
    ++m_pendingSetups;
    Job job;
    job.folder = folder;
    job.id = id;
    job.record = record;
    job.from = from;
    job.ticket = ticket;
    enqueue(std::move(job));
}

void SessionStore::sweepLeftovers(const QString& folder)
{
    QMutexLocker lock(&m_mutex);
    if (!m_sweeps.contains(folder))
        m_sweeps << folder;
}

void SessionStore::recordScan(const QString& path, const ScanRecord& scan, quint64 ticket)
{
    Job job;
    job.historyPath = path;
    job.scan = scan;
    job.ticket = ticket;
    enqueue(std::move(job));
}

void SessionStore::enqueue(Job job)
{
    QMutexLocker lock(&m_mutex);
    m_queue.append(std::move(job));
    if (!m_running) {
        m_running = true;
        m_pool.start([this] { drain(); });
    }
}

void SessionStore::drain()
{
    for (;;) {
        QList<Job> setups;
        std::optional<Job> history;
        QStringList sweeps;
        Writer writer;
        {
            QMutexLocker lock(&m_mutex);
            if (m_queue.isEmpty()) {
                m_running = false;
                return;
            }
            // The setups at the head of the queue form one batch; a history job goes alone.
            if (!m_queue.first().historyPath.isEmpty()) {
                history = m_queue.takeFirst();
            } else {
                while (!m_queue.isEmpty() && m_queue.first().historyPath.isEmpty() && setups.size() < MaxBatch)
                    setups.append(m_queue.takeFirst());
                sweeps = std::exchange(m_sweeps, {});
            }
            writer = m_writer;
        }
        // Setup files of the gateway ID pattern only: other programs' files are never touched.
        for (const QString& folder : std::as_const(sweeps))
            removeStaleTemporaries(folder, QStringLiteral("SETUPGW_[0-9A-F]{2}_[0-9A-F]{2}_[0-9A-F]{2}\\.GWINI"),
                                   LeftoverAgeSeconds);
        if (history)
            writeHistory(*history);
        else
            writeSetups(setups, writer);
    }
}

void SessionStore::writeSetups(const QList<Job>& jobs, const Writer& writer)
{
    QList<Status> results(jobs.size());
    QList<FileWrite> files;
    QList<qsizetype> fileOf(jobs.size(), -1);
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const Result<IniFile> ini = SetupRecordToIni(jobs[i].folder, jobs[i].id, jobs[i].record);
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
            results[i] = written.value(fileOf[i], Status::failure(QStringLiteral("nicht geschrieben")));
    }
    QList<std::pair<quint64, QHostAddress>> done;
    for (const Job& job : jobs)
        done.append({job.ticket, job.from});
    QMetaObject::invokeMethod(
        this,
        [this, done, results] {
            for (qsizetype i = 0; i < done.size(); ++i) {
                --m_pendingSetups;
                emit setupStored(done[i].first, done[i].second, results[i]);
            }
        },
        Qt::QueuedConnection);
}

void SessionStore::writeHistory(const Job& job)
{
    ScanHistory history(job.historyPath);
    const ScanHistory::Recorded recorded = history.record(job.scan);
    const ScanComparison comparison = compareScans(recorded.previous, job.scan);
    QMetaObject::invokeMethod(
        this,
        [this, ticket = job.ticket, comparison, status = recorded.status] {
            emit scanRecorded(ticket, comparison, status);
        },
        Qt::QueuedConnection);
}
