#pragma once

#include "ScanHistory.h"
#include "base/FileBatchWriter.h"
#include "base/Result.h"
#include "setups/GWSetupRecord.h"
#include "setups/GatewayId.h"

#include <QHostAddress>
#include <QObject>

#include <functional>
#include <memory>

// What a session writes to disk while gateways answer, written on a worker thread so that the
// thread that hands it over (the window's) never waits for the disk: the setup files of received
// setups and the scan history.
//
// Setups are written in batches through writeFilesAtomically(): everything handed over while one
// batch is being written and flushed goes into the next, so a whole segment answering at once costs
// a few flushes, not two per gateway. setupStored() reports each file once it is durable (or why it
// could not be written). Scans are recorded in the order handed over, each after the setups handed
// over before it. The work runs on Qt's global thread pool (its threads kept for the life of the
// program), which the application object waits for when it goes, so what was handed over is written
// even when the store is gone by then (its reports are dropped); nothing here ever waits for the
// worker.
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

    struct Setup
    {
        GatewayId id;
        GWSetupRecord record;
        QHostAddress from;
    };
    // Stores each record as the setup file of its id in folder (SetupRecordToIni), keeping every
    // other key of the file; setupStored(ticket, from, status) follows for each. Setups handed over
    // together are written in one batch (up to MaxBatch), with one wait for the disk.
    void storeSetups(const QString& folder, const QList<Setup>& setups, quint64 ticket);
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
    struct Job;
    struct Shared;

    void enqueue(QList<Job> jobs);
    static void drain(const std::shared_ptr<Shared>& shared);
    static void writeSetups(const std::shared_ptr<Shared>& shared, const QList<Job>& jobs, const Writer& writer);
    static void writeHistory(const std::shared_ptr<Shared>& shared, const Job& job);
    // On the owner's thread, when the store is still there.
    static void report(const std::shared_ptr<Shared>& shared, std::function<void(SessionStore&)> what);

    std::shared_ptr<Shared> m_shared;
    int m_pendingSetups = 0; // owner's thread only
};
