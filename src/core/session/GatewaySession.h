#pragma once

#include "GatewayList.h"
#include "GatewayRead.h"
#include "ListExport.h"
#include "ScanHistory.h"
#include "SessionStore.h"
#include "SetupVerifier.h"
#include "ToolSettings.h"
#include "link/ScanEngine.h"
#include "link/SetupTransfer.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>

#include <array>
#include <memory>
#include <optional>

// One working session with the gateways of a segment, driven alike by the main window and by the
// command line: the link settings and master key in use, the scan, the list of gateways found, the
// last setup read from each address, the setup files of received setups, and the transfers of setups
// to gateways. Nothing here blocks; every outcome comes as a signal.
class GatewaySession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GatewaySession)

public:
    using Counts = std::array<int, 8>; // by GatewayRead::Kind

    explicit GatewaySession(QObject* parent = nullptr);
    ~GatewaySession() override;

    // What a front end sets over the settings file.
    struct Overrides
    {
        std::optional<quint16> port;
        std::optional<int> parallel;
        std::optional<int> connectTimeoutMs;
        std::optional<int> verifyTimeoutMs; // 0: no read-back
        QString masterKeyText;              // empty: the settings file's
        // The window checks the key in its own field before each scan: a settings file's key that is
        // not 32 hex digits then leaves the session's key as it is instead of failing.
        bool keyCheckedBeforeScan = false;
    };
    // What the settings file gives a front end beyond the session's own settings.
    struct Configuration
    {
        bool settingsRead = false; // false: the defaults are in force; the file must not be written back
        QString masterKeyText;     // the key in force, as written (the window shows it)
        WindowPlacement window;
        QString note; // a settings file that could not be read, a folder that could not be made
    };
    // Configures the session in one step: the [TCP] settings of settingsFile with the overrides on
    // top (port, parallel addresses, every wait as one ExchangeTimings, the master key), the setups
    // folder and the scan history below the shared folders (the setups folder is created). A
    // settings file that cannot be read leaves the defaults in force and says so in the note; a
    // master key that is not 32 hex digits fails and changes nothing (see keyCheckedBeforeScan).
    [[nodiscard]] Result<Configuration> configure(const QString& settingsFile, const Overrides& overrides);

    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }
    void setParallel(int parallel) { m_parallel = parallel; }
    int parallel() const { return m_parallel; }
    // Every wait of every exchange, the read-back window included (0: no read-back). configure()
    // sets them from the settings; nothing else changes them.
    void setTimings(const ExchangeTimings& timings) { m_timings = timings; }
    const ExchangeTimings& timings() const { return m_timings; }
    void setMasterKey(const MasterKey& key) { m_masterKey = key; }
    const MasterKey& masterKey() const { return m_masterKey; }
    // Each finished scan is recorded here and compared with the previous one of its segment;
    // empty: no history.
    void setHistoryFile(const QString& path) { m_historyFile = path; }
    // Received setups are stored here, off this thread (SessionStore); a gateway is listed once its
    // setup file is durable. Empty: not stored.
    void setSetupsFolder(const QString& folder) { m_setupsFolder = folder; }
    const QString& setupsFolder() const { return m_setupsFolder; }
    // The worker that writes setups and history (tests give it a slow writer).
    SessionStore& store() { return m_store; }

    // What a scan keeps of what it reads: the setup files and the history record, or nothing but
    // the list and the reads of this session (a dry run must not replace a file prepared by hand).
    enum class ScanMode
    {
        StoreAndRecord,
        ReadOnly
    };
    // Scan of a.b.c.0 .. a.b.c.254. A running scan is stopped first; the list starts empty. The
    // setups read are stored when the scan ends, except those of a gateway ID that several
    // addresses report (rows DuplicateId): which of them the file belongs to is unknown. Until its
    // file is durable a row is `storing`.
    void startScan(const Segment& segment, ScanMode mode = ScanMode::StoreAndRecord);
    // Stops a running scan: the setups read so far are stored as at the end of a scan; the scan is
    // neither recorded nor reported as finished.
    void stopScan();
    bool scanRunning() const { return m_scan.running(); }
    const Segment& segment() const { return m_segment; }
    const GatewayList& list() const { return m_list; }
    int answerCount() const { return m_answers; }
    const Counts& counts() const { return m_counts; }
    // The listed gateways of the last scan whose setups could not be stored.
    QList<GatewayRow> storeFailures() const;
    // Since the previous scan of the segment (valid once a scan has finished with a history file):
    // the gateways seen then and not now, the sum-up for the status line, and whether the scan
    // could be recorded.
    const QList<SeenGateway>& missing() const { return m_missing; }
    const QString& changeSummary() const { return m_changeSummary; }
    const Status& historyStatus() const { return m_historyStatus; }
    // The status line of a finished scan: the likely cause when nothing was listed, else the
    // answers and what changed.
    QString scanSummary() const;
    // One message for every listed gateway whose setup could not be stored, with the reasons;
    // empty when all were stored.
    QString storeFailureMessage() const;
    // The list as the export writes it: the gateways found, then those missing since the last scan.
    QList<ExportRow> exportRows() const;
    // The scan as the command line's JSON report: segment, gateways, missing, counts.
    QJsonObject report() const;

    // Reads one address now (no list change, no setup file written); gatewayRead() follows.
    void readGateway(const QHostAddress& host);
    // The last read of host in this session, if any.
    const GatewayRead* lastRead(const QHostAddress& host) const;

    // Sends the setup file of fileId to the gateway `target` at host. Refused at once, with the
    // reason and nothing sent, unless this session has read and decrypted target's setup at host,
    // no other address of the last scan reports target's ID, and the setup's fixed address (DHCP
    // off) is neither the network nor the broadcast address of its subnet mask;
    // its reserved bytes and firmware version travel back unchanged. Otherwise transferFinished()
    // follows exactly once, and after an acknowledgement (unless the verify window is 0)
    // verificationFinished(): the gateway read back and compared with what was sent.
    Status sendSetupFile(const QHostAddress& host, const GatewayId& target, const GatewayId& fileId);
    // Sends record to the gateway `target` at host, under the same rule.
    Status sendRecord(const QHostAddress& host, const GatewayId& target, const GWSetupRecord& record);
    // The record a send of fileId's setup file to host would carry (the same rule and conversion).
    Result<GWSetupRecord> recordToSend(const QHostAddress& host, const GatewayId& target,
                                       const GatewayId& fileId) const;
    // A transfer or its read-back is under way (to host).
    bool transferRunning(const QHostAddress& host) const;
    bool transferRunning() const { return !m_jobs.isEmpty(); }
    static QString transferBusyMessage();

signals:
    void scanStarted();
    void addressTried(const QHostAddress& host);
    void progress(int done, int total);
    void answerCounted(int answers);
    void listChanged();
    void storeFailed(const GatewayRow& row);
    void scanFinished();
    void gatewayRead(const GatewayRead& read);
    void transferStarted(const QHostAddress& host);
    void transferFinished(const SetupTransfer::Report& report);
    void verificationFinished(const SetupVerifier::Report& report);

private:
    struct Job
    {
        SetupTransfer* transfer = nullptr;
        SetupVerifier* verifier = nullptr;
        GWSetupRecord record;
    };

    void addressDone(const ReadExchange::Outcome& outcome);
    void storeListed();
    void setupStored(quint64 ticket, const QHostAddress& from, const Status& status);
    void scanEnded();
    void scanRecorded(quint64 ticket, const ScanComparison& comparison, const Status& status);
    GatewayRow store(const GatewayRead& read);
    void noteReadBack(GatewayRow& row) const;
    void transferDone(const SetupTransfer::Report& report);
    void verified(const SetupVerifier::Report& report);
    void endJob(const QHostAddress& host);

    quint16 m_port = LinkSettings::DefaultPort;
    int m_parallel = LinkSettings::DefaultParallel;
    ExchangeTimings m_timings = LinkSettings().timings();
    MasterKey m_masterKey{};
    QString m_setupsFolder;
    QString m_historyFile;
    QList<SeenGateway> m_missing;
    QString m_changeSummary;
    Status m_historyStatus;
    Status m_folderReady;
    ScanEngine m_scan;
    Segment m_segment;
    bool m_scanned = false;
    ScanMode m_scanMode = ScanMode::StoreAndRecord;
    GatewayList m_list;
    QHash<quint32, GatewayRead> m_reads;
    QHash<quint32, Job> m_jobs;
    Counts m_counts{};
    int m_answers = 0;
    // Each scan's own number: what the store reports for an earlier scan no longer changes the list.
    quint64 m_ticket = 0;
    int m_storing = 0;        // setups of this scan handed to the store and not yet reported
    bool m_engineDone = true; // every address of this scan has been tried
    SessionStore m_store;
};
