#pragma once

#include "GatewayRow.h"
#include "base/Result.h"
#include "link/ScanEngine.h"
#include "setups/GWSetupRecord.h"
#include "setups/GatewayId.h"

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

// One listed gateway as a finished scan saw it.
struct SeenGateway
{
    QHostAddress address;
    GatewayId id;
    QString firmware;  // "1.4.12"; empty when the answer carried no setup
    QString state;     // "stored", "not-stored", "other-key", "other-type", "incomplete"
    QString setupHash; // hex SHA-256 of the 1116 record bytes; empty without a setup

    friend bool operator==(const SeenGateway&, const SeenGateway&) = default;
};

// The state words of the history file and the JSON report.
QString rowStateKey(GatewayRow::State state);
// Hex SHA-256 of the record's 1116 bytes.
QString setupHash(const GWSetupRecord& record);
// What the history keeps of a list row; record is the setup read with it (null: none).
SeenGateway seenGateway(const GatewayRow& row, const GWSetupRecord* record);

struct ScanRecord
{
    Segment segment;
    QDateTime time;
    QList<SeenGateway> gateways;
};

struct ScanComparison
{
    QList<ScanChange> changes;           // one per gateway of the current scan, in its order
    QList<QHostAddress> previousAddress; // where a Moved gateway was; null otherwise
    QList<SeenGateway> missing;          // in the previous scan, not in this one (previous order)
    bool hadPrevious = false;
};

// Matches the gateways of both scans by gateway ID. Each current gateway gets one change, the
// first that applies: New (not in the previous scan; every gateway when there is none), Moved
// (another address), Firmware (both firmware texts known and different), Setup (both setup hashes
// known and different), else Unchanged. A gateway ID listed at several addresses is matched one
// to one, the same address first; what stays unmatched of the previous scan is missing.
ScanComparison compareScans(const std::optional<ScanRecord>& previous, const ScanRecord& current);

// The status line's sum-up: "2 neu, 1 fehlt, 1 Firmware geändert" (only kinds that occur, in the
// order neu, fehlt, umgezogen, Firmware geändert, Setup geändert), "keine Änderung", or
// "erster Scan dieses Segments" without a previous scan.
QString summaryText(const ScanComparison& comparison);

// <documents>/MERVANE/Telvaro-Scans.jsonl: the tool's own file, not in the setups folder that other
// programs read.
QString scanHistoryPath();

// The scans recorded in a JSON-lines file that every instance of the tool on the PC shares, one
// compact object per scan in the order they were recorded: {"segment":"a.b.c","time":"<ISO 8601
// with offset>","gateways":[{"ip","gwid","firmware","state","setupHash"}]}.
//
// Recording a scan appends its line, under a lock file beside the history (path + ".lock", a
// QLockFile: a lock left by a killed process is taken over), so concurrent scans never lose one
// another's line and a record costs its own size, not the history's. The previous scan of a segment
// is found by reading the file backwards from its end: the cost is the lines written since that
// scan, and memory stays bounded whatever the file's size. Now and then (when the file has doubled
// since it was last compacted; that size is kept in path + ".compacted") the history is compacted
// under the same lock: the last MaxScansPerSegment scans of each segment stay, every line this
// version cannot read (another version's, a damaged one) stays byte for byte, and the file is
// replaced in one step. Nothing here may run on the window's thread: every call may wait for the
// disk and for the lock.
class ScanHistory final
{
public:
    static constexpr int MaxScansPerSegment = 100;
    // A scan of 255 gateways is about 45 KB. A longer line is kept but never read.
    static constexpr qint64 MaxLineBytes = 1024 * 1024;
    // Below this size a history is never compacted.
    static constexpr qint64 MinCompactBytes = 1024 * 1024;
    // How long a record waits for another process's lock before it gives up.
    static constexpr int DefaultLockWaitMs = 15000;

    explicit ScanHistory(QString path);
    const QString& path() const { return m_path; }
    void setLockWaitMs(int ms) { m_lockWaitMs = ms; }

    // The last readable scan of segment; none without a file or without a scan of segment. A link,
    // a FIFO, a folder in the file's place or an unreadable file: a German failure naming the path.
    [[nodiscard]] Result<std::optional<ScanRecord>> last(const Segment& segment) const;

    struct Recorded
    {
        std::optional<ScanRecord> previous; // the segment's scan before this one
        Status status;                      // whether scan was recorded (a read failure, too)
    };
    // Under the lock: the previous scan of scan's segment, then scan appended, then a compaction
    // when one is due. The folder is created when missing. A file the user may not change is not
    // replaced: the previous scan is still read, and status says why nothing was recorded.
    [[nodiscard]] Recorded record(const ScanRecord& scan);
    [[nodiscard]] Status append(const ScanRecord& scan) { return record(scan).status; }
    // Compacts the history now, under the lock.
    [[nodiscard]] Status compact();

private:
    QString m_path;
    int m_lockWaitMs = DefaultLockWaitMs;
};
