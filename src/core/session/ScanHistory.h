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

// The scans recorded in a JSON-lines file, one compact object per scan in the order they were
// recorded: {"segment":"a.b.c","time":"<ISO 8601 with offset>","gateways":[{"ip","gwid","firmware",
// "state","setupHash"}]}.
class ScanHistory final
{
public:
    static constexpr int MaxScansPerSegment = 100;
    // Read and written whole. Should the scans of many segments ever exceed it, append() drops the
    // oldest scans of any segment so that the file always stays readable.
    static constexpr qint64 MaxFileBytes = 32 * 1024 * 1024;

    // No file: an empty history. A file that cannot be read, a link, a FIFO, a folder, or a file
    // above MaxFileBytes: a German failure naming the path. Lines that do not parse are skipped
    // (and dropped at the next append()).
    static Result<ScanHistory> load(const QString& path);

    const QString& path() const { return m_path; }
    // Every scan, oldest first.
    const QList<ScanRecord>& scans() const { return m_scans; }
    // The last scan recorded for segment.
    std::optional<ScanRecord> last(const Segment& segment) const;
    // Lines of the file that were skipped at the last read.
    int skippedLines() const { return m_skipped; }

    // Reads the file again (scans other programs recorded since load() are kept), adds scan,
    // keeps the last MaxScansPerSegment scans of its segment and rewrites the file in one step
    // (writeFileAtomically), creating its folder when missing. The file is left as it was when this
    // fails.
    [[nodiscard]] Status append(const ScanRecord& scan);

private:
    explicit ScanHistory(QString path) : m_path(std::move(path)) {}

    QString m_path;
    QList<ScanRecord> m_scans;
    int m_skipped = 0;
};
