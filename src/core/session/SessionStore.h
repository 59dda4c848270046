#pragma once

#include "ScanHistory.h"
#include "base/FileBatchWriter.h"
#include "base/Result.h"
#include "setups/GWSetupRecord.h"
#include "setups/GatewayId.h"

#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QThreadPool>

#include <functional>

// What a session writes to disk while gateways answer, written on a worker thread so that the
// thread that hands it over (the window's) never waits for the disk: the setup files of received
// setups and the scan history.
//
// Setups are written in batches through writeFilesAtomically(): everything handed over while one
// batch is being written and flushed goes into the next, so a whole segment answering at once costs
// a few flushes, not two per gateway. setupStored() reports each file once it is durable (or why it
// could not be written). Scans are recorded in the order handed over, each after the setups handed
// over before it. The destructor waits until everything handed over is written.
class SessionStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionStore)

public:
    using Writer = std::function<QList<Status>(const QList<FileWrite>&)>;
    // Temporary files of killed writers younger than this may belong to a writer still at work.
    static constexpr qint64 LeftoverAgeSeconds = 3600;
    static constexpr int MaxBatch = 255;

    explicit SessionStore(QObject* parent = nullptr);
    ~SessionStore() override;

    // The writer of each batch (writeFilesAtomically by default); it runs on the worker thread.
    void setWriter(Writer writer);

    // Stores record as the setup file of id in folder (SetupRecordToIni), keeping every other key
    // of the file; setupStored(ticket, from, status) follows.
    void storeSetup(const QString& folder, const GatewayId& id, const GWSetupRecord& record, const QHostAddress& from,
                    quint64 ticket);
    // Before the next setup is written, the temporary setup files that killed writers left in folder
    // (removeStaleTemporaries, older than LeftoverAgeSeconds) are removed.
    void sweepLeftovers(const QString& folder);
    // Records scan in the history at path and compares it with the previous scan of its segment;
    // scanRecorded(ticket, comparison, status) follows.
    void recordScan(const QString& path, const ScanRecord& scan, quint64 ticket);

    // Setups handed over and not yet reported.
    int pendingSetups() const { return m_pendingSetups; }

signals:
    void setupStored(quint64 ticket, const QHostAddress& from, const Status& status);
    void scanRecorded(quint64 ticket, const ScanComparison& comparison, const Status& status);

private:
    // One queue in the order handed over: a setup job has no scan path, a history job has.
    struct Job
    {
        QString folder; // setup: the setups folder
        GatewayId id;
        GWSetupRecord record;
        QHostAddress from;
        QString historyPath; // history: the history file
        ScanRecord scan;
        quint64 ticket = 0;
    };

    void enqueue(Job job);
    void drain(); // worker thread
    void writeSetups(const QList<Job>& jobs, const Writer& writer);
    void writeHistory(const Job& job);

    QThreadPool m_pool;
    QMutex m_mutex;
    // Guarded by m_mutex:
    QList<Job> m_queue;
    QStringList m_sweeps;
    Writer m_writer;
    bool m_running = false;
    // Owner's thread only:
    int m_pendingSetups = 0;
};
