#include "GatewaySession.h"

#include "ScanExplanation.h"
#include "base/SharedFolders.h"
#include "setups/FieldRules.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include <QFileInfo>
#include <QJsonArray>

namespace {

quint32 key(const QHostAddress& host)
{
    return host.toIPv4Address();
}

Segment segmentOf(const QHostAddress& host)
{
    const quint32 v = host.toIPv4Address();
    return Segment{int(v >> 24), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF)};
}

QString notReadMessage(const QHostAddress& host)
{
    return QStringLiteral("Von %1 wurde in dieser Sitzung kein Setup gelesen. Es wurde nichts gesendet.")
        .arg(host.toString());
}

} // namespace

GatewaySession::GatewaySession(QObject* parent) : QObject(parent)
{
    connect(&m_scan, &ScanEngine::tryingAddress, this, &GatewaySession::addressTried);
    connect(&m_scan, &ScanEngine::addressDone, this, &GatewaySession::addressDone);
    connect(&m_scan, &ScanEngine::progress, this, &GatewaySession::progress);
    connect(&m_scan, &ScanEngine::finished, this, [this] {
        m_engineDone = true;
        storeListed();
        if (m_storing == 0)
            scanEnded();
    });
    // The cipher library sets itself up on first use (loads its provider, several ms): done now,
    // so that it never falls into a scan's first answers.
    (void)AesBlockCipher::create(Block{});
    connect(&m_store, &SessionStore::setupStored, this, &GatewaySession::setupStored);
    connect(&m_store, &SessionStore::scanRecorded, this, &GatewaySession::scanRecorded);
}

GatewaySession::~GatewaySession()
{
    m_scan.stop();
    for (const Job& job : std::as_const(m_jobs)) {
        delete job.transfer;
        delete job.verifier;
    }
}

Result<GatewaySession::Configuration> GatewaySession::configure(const QString& settingsFile, const Overrides& overrides)
{
    Configuration c;
    QStringList notes;
    Result<ToolSettings> settings = loadToolSettings(settingsFile);
    c.settingsRead = settings.ok();
    if (!settings) {
        notes << settings.message() << QStringLiteral("Es gelten die Vorgaben.");
        settings = ToolSettings();
    }
    LinkSettings link = settings->link;
    if (overrides.port)
        link.port = *overrides.port;
    if (overrides.parallel)
        link.parallel = *overrides.parallel;
    if (overrides.connectTimeoutMs)
        link.connectTimeoutMs = *overrides.connectTimeoutMs;
    if (overrides.verifyTimeoutMs)
        link.verifyTimeoutMs = *overrides.verifyTimeoutMs;
    const bool keyGiven = !overrides.masterKeyText.isEmpty();
    if (keyGiven)
        link.masterKeyText = overrides.masterKeyText;
    const Result<MasterKey> key = LinkSettings::masterKeyFromText(link.masterKeyText, true);
    if (!key && (keyGiven || !overrides.keyCheckedBeforeScan))
        return Result<Configuration>::failure(key.message());
    if (key)
        m_masterKey = *key;
    m_port = link.port;
    m_parallel = link.parallel;
    m_timings = link.timings();
    m_setupsFolder = SharedFolders::setups();
    m_historyFile = scanHistoryPath();
    if (const Status folder = SharedFolders::ensureFolder(m_setupsFolder); !folder)
        notes << folder.message();
    c.masterKeyText = link.masterKeyText;
    c.window = settings->window;
    c.note = notes.join(QLatin1Char('\n'));
    return c;
}

void GatewaySession::startScan(const Segment& segment, ScanMode mode)
{
    stopScan();
    m_scanMode = mode;
    m_segment = segment;
    m_scanned = true;
    m_list.clear();
    m_counts.fill(0);
    m_answers = 0;
    m_missing.clear();
    m_changeSummary.clear();
    m_historyStatus = Status();
    for (auto it = m_reads.begin(); it != m_reads.end();)
        it = segment.contains(it->host) ? m_reads.erase(it) : std::next(it);
    // A read-only scan (a dry run) creates, sweeps and writes nothing.
    const bool storing = mode == ScanMode::StoreAndRecord && !m_setupsFolder.isEmpty();
    m_folderReady = storing ? SharedFolders::ensureFolder(m_setupsFolder) : Status();
    if (storing && m_folderReady)
        m_store.sweepLeftovers(m_setupsFolder);
    ++m_ticket;
    m_storing = 0;
    m_engineDone = false;
    emit scanStarted();
    emit answerCounted(0);
    emit listChanged();
    ScanEngine::Settings settings;
    settings.segment = segment;
    settings.port = m_port;
    settings.parallel = m_parallel;
    settings.timings = m_timings;
    m_scan.start(settings);
}

void GatewaySession::stopScan()
{
    if (!m_scan.running())
        return;
    m_scan.stop();
    // A stopped scan is not recorded, but the setups it received are stored as a finished scan's.
    storeListed();
}

QList<GatewayRow> GatewaySession::storeFailures() const
{
    QList<GatewayRow> failed;
    for (const GatewayRow& row : m_list.rows())
        if (row.state == GatewayRow::State::SetupNotStored)
            failed << row;
    return failed;
}

QString GatewaySession::scanSummary() const
{
    if (m_list.size() == 0) {
        const QString why = explainEmptyScan(m_counts, m_segment, m_port);
        if (!why.isEmpty())
            return why;
    }
    QString summary = QStringLiteral("Scan beendet: %1 Antworten").arg(m_answers);
    if (!m_changeSummary.isEmpty())
        summary += QStringLiteral("; ") + m_changeSummary;
    return summary;
}

QString GatewaySession::storeFailureMessage() const
{
    const QList<GatewayRow> failed = storeFailures();
    if (failed.isEmpty())
        return QString();
    QStringList lines{QStringLiteral("Die Setups folgender Gateways konnten nicht gespeichert werden:")};
    for (const GatewayRow& row : failed)
        lines << QStringLiteral("%1 (%2): %3").arg(row.gwidText(), row.ipText(), row.stored.message());
    return lines.join(QLatin1Char('\n'));
}

QList<ExportRow> GatewaySession::exportRows() const
{
    QList<ExportRow> rows;
    for (const GatewayRow& row : m_list.rows())
        rows << ExportRow{row.ipText(),
                          row.gwidText(),
                          row.versionText(),
                          row.stateText(),
                          row.changeText(),
                          row.state == GatewayRow::State::SetupStored
                              ? QFileInfo(SetupFilePath(QString(), row.id)).fileName()
                              : QString()};
    for (const SeenGateway& gone : m_missing)
        rows << ExportRow{gone.address.toString(), gone.id.text(), gone.firmware, QString(),
                          QStringLiteral("fehlt"), QString()};
    return rows;
}

QJsonObject GatewaySession::report() const
{
    QJsonArray gateways, missing;
    for (const GatewayRow& row : m_list.rows())
        gateways.append(
            QJsonObject{{QStringLiteral("ip"), row.ipText()},
                        {QStringLiteral("gwid"), row.gwidText()},
                        {QStringLiteral("firmware"), row.versionText()},
                        {QStringLiteral("state"), rowStateKey(row.state)},
                        {QStringLiteral("change"), row.change ? QJsonValue(changeKey(*row.change)) : QJsonValue()}});
    for (const SeenGateway& gone : m_missing)
        missing.append(QJsonObject{{QStringLiteral("ip"), gone.address.toString()},
                                   {QStringLiteral("gwid"), gone.id.text()},
                                   {QStringLiteral("firmware"), gone.firmware}});
    QJsonObject counts;
    for (int k = 0; k < int(m_counts.size()); ++k)
        counts.insert(kindKey(GatewayRead::Kind(k)), m_counts[size_t(k)]);
    return QJsonObject{{QStringLiteral("segment"), m_segment.text()},
                       {QStringLiteral("gateways"), gateways},
                       {QStringLiteral("missing"), missing},
                       {QStringLiteral("counts"), counts}};
}

void GatewaySession::scanEnded()
{
    if (m_historyFile.isEmpty() || m_scanMode == ScanMode::ReadOnly) {
        emit scanFinished();
        return;
    }
    ScanRecord scan{m_segment, QDateTime::currentDateTime(), {}};
    for (const GatewayRow& row : m_list.rows()) {
        const GatewayRead* read = lastRead(row.address);
        scan.gateways << seenGateway(row, read && read->record ? &*read->record : nullptr);
    }
    // The history is read and written on the store's thread; the scan ends when it is recorded.
    m_store.recordScan(m_historyFile, scan, m_ticket);
}

void GatewaySession::scanRecorded(quint64 ticket, const ScanComparison& comparison, const Status& status)
{
    if (ticket != m_ticket)
        return;
    for (int i = 0; i < m_list.size() && i < comparison.changes.size(); ++i) {
        GatewayRow& row = *m_list.find(m_list.rows()[i].address);
        row.change = comparison.changes[i];
        row.movedFrom = comparison.previousAddress.value(i);
    }
    m_missing = comparison.missing;
    m_changeSummary = summaryText(comparison);
    m_historyStatus = status;
    emit listChanged();
    emit scanFinished();
}

void GatewaySession::addressDone(const ReadExchange::Outcome& outcome)
{
    const GatewayRead read = GatewayRead::decode(outcome, m_masterKey);
    m_reads.insert(key(read.host), read);
    ++m_counts[size_t(read.kind())];
    if (read.answered())
        emit answerCounted(++m_answers); // every answer counts, also one that cannot be decoded
    if (!read.listed())
        return;
    GatewayRow row = store(read);
    noteReadBack(row);
    // One gateway ID at two addresses: two devices share an ID, or one answered twice. Neither
    // answer may end in the ID's setup file, and neither gateway may get a setup meant for the other.
    for (const GatewayRow& other : m_list.rows()) {
        if (other.id != row.id || other.address.isEqual(row.address))
            continue;
        GatewayRow marked = other;
        marked.state = GatewayRow::State::DuplicateId;
        marked.storing = false;
        marked.sameIdAt << row.address;
        m_list.addOrUpdate(marked);
        row.state = GatewayRow::State::DuplicateId;
        row.storing = false;
        row.sameIdAt << other.address;
    }
    m_list.addOrUpdate(row);
    emit listChanged();
    if (row.state == GatewayRow::State::SetupNotStored)
        emit storeFailed(row);
}

void GatewaySession::storeListed()
{
    // Stored only now that the scan knows every address: a gateway ID reported twice stores nothing.
    if (m_scanMode == ScanMode::ReadOnly || m_setupsFolder.isEmpty() || !m_folderReady)
        return;
    // Handed over together, so that they go to the disk as one batch.
    QList<SessionStore::Setup> setups;
    for (const GatewayRow& listed : m_list.rows()) {
        const GatewayRead* read = lastRead(listed.address);
        if (!listed.storing || !read || !read->record)
            continue;
        setups.append({read->id, *read->record, read->host});
    }
    m_storing += int(setups.size());
    m_store.storeSetups(m_setupsFolder, setups, m_ticket);
}

void GatewaySession::setupStored(quint64 ticket, const QHostAddress& from, const Status& status)
{
    if (ticket != m_ticket)
        return; // a scan started since: the file is written, the list is another's
    --m_storing;
    if (GatewayRow* row = m_list.find(from)) {
        row->storing = false;
        if (!status) {
            row->state = GatewayRow::State::SetupNotStored;
            row->stored = status;
        }
        const GatewayRow done = *row;
        // A whole segment's rows are drawn again once, when the last file is durable.
        if (!status || m_storing == 0)
            emit listChanged();
        if (!status)
            emit storeFailed(done);
    }
    if (m_storing == 0 && m_engineDone)
        scanEnded();
}

void GatewaySession::noteReadBack(GatewayRow& row) const
{
    // A read-back that began before this scan goes on; its row says so until it ends.
    if (const auto job = m_jobs.constFind(key(row.address)); job != m_jobs.cend() && job->verifier)
        row.verification = GatewayRow::Verification::Running;
    else if (const GatewayRow* listed = m_list.find(row.address))
        row.verification = listed->verification; // the result of a read-back that ended during this scan
}

GatewayRow GatewaySession::store(const GatewayRead& read)
{
    GatewayRow row = read.row();
    if (read.record && !m_setupsFolder.isEmpty() && !m_folderReady) {
        row.state = GatewayRow::State::SetupNotStored;
        row.stored = m_folderReady;
    }
    // Written once the scan ends (or is stopped); until then the row says so.
    row.storing = row.state == GatewayRow::State::SetupStored && m_scanMode == ScanMode::StoreAndRecord &&
                  !m_setupsFolder.isEmpty();
    return row;
}

void GatewaySession::readGateway(const QHostAddress& host)
{
    auto* exchange = new ReadExchange(this);
    connect(exchange, &ReadExchange::finished, this, [this, exchange](const ReadExchange::Outcome& outcome) {
        exchange->deleteLater();
        const GatewayRead read = GatewayRead::decode(outcome, m_masterKey);
        m_reads.insert(key(read.host), read);
        emit gatewayRead(read);
    });
    exchange->start(host, m_port, m_timings);
}

const GatewayRead* GatewaySession::lastRead(const QHostAddress& host) const
{
    const auto it = m_reads.constFind(key(host));
    return it == m_reads.constEnd() ? nullptr : &*it;
}

QString GatewaySession::transferBusyMessage()
{
    return QStringLiteral("Es läuft bereits eine Übertragung; bitte auf ihr Ergebnis warten.");
}

bool GatewaySession::transferRunning(const QHostAddress& host) const
{
    return m_jobs.contains(key(host));
}

Result<GWSetupRecord> GatewaySession::recordToSend(const QHostAddress& host, const GatewayId& target,
                                                   const GatewayId& fileId) const
{
    const GatewayRead* read = lastRead(host);
    if (!read)
        return Result<GWSetupRecord>::failure(notReadMessage(host));
    if (const Status sendable = read->sendable(target); !sendable)
        return Result<GWSetupRecord>::failure(sendable.message());
    GWSetupRecord record = *read->record;
    if (const Status converted = SetupFileToRecord(m_setupsFolder, fileId, record); !converted)
        return Result<GWSetupRecord>::failure(converted.message());
    return record;
}

Status GatewaySession::sendSetupFile(const QHostAddress& host, const GatewayId& target, const GatewayId& fileId)
{
    if (transferRunning(host))
        return Status::failure(transferBusyMessage());
    const Result<GWSetupRecord> record = recordToSend(host, target, fileId);
    if (!record)
        return Status::failure(record.message());
    return sendRecord(host, target, *record);
}

Status GatewaySession::sendRecord(const QHostAddress& host, const GatewayId& target, const GWSetupRecord& record)
{
    if (transferRunning(host))
        return Status::failure(transferBusyMessage());
    const GatewayRead* read = lastRead(host);
    if (!read)
        return Status::failure(notReadMessage(host));
    if (const Status sendable = read->sendable(target); !sendable)
        return sendable;
    for (const GatewayRow& row : m_list.rows())
        if (row.id == target && row.state == GatewayRow::State::DuplicateId)
            return Status::failure(duplicateIdMessage(target, row.sameIdText()));
    if (const QString problem = FieldRules::fixedAddressProblem(record); !problem.isEmpty())
        return Status::failure(problem + QStringLiteral(" Es wurde nichts gesendet."));
    Job job;
    job.record = record;
    // Reserved bytes and firmware version never come from anywhere but the gateway itself.
    GWSetupRecord::copyCarried(*read->record, job.record);
    SetupTransfer::Request request;
    request.host = host;
    request.port = m_port;
    request.timings = m_timings;
    request.record = job.record;
    request.masterKey = m_masterKey;
    request.expectedId = target;
    job.transfer = new SetupTransfer(this);
    connect(job.transfer, &SetupTransfer::finished, this, &GatewaySession::transferDone);
    m_jobs.insert(key(host), job);
    job.transfer->start(request);
    emit transferStarted(host);
    return {};
}

void GatewaySession::transferDone(const SetupTransfer::Report& report)
{
    Job& job = m_jobs[key(report.host)];
    job.transfer->deleteLater();
    job.transfer = nullptr;
    if (!report.acknowledged() || m_timings.verifyWindowMs <= 0) {
        m_jobs.remove(key(report.host));
        emit transferFinished(report);
        return;
    }
    SetupVerifier::Plan plan;
    plan.host = report.host;
    plan.id = report.expectedId;
    plan.sent = job.record;
    plan.sessionKey = m_masterKey;
    // Only the segment scanned (without a scan, the gateway's own) is ever contacted.
    plan.segment = m_scanned && m_segment.contains(report.host) ? m_segment : segmentOf(report.host);
    plan.port = m_port;
    plan.timings = m_timings;
    if (const GatewayRead* before = lastRead(report.host); before && before->record)
        plan.dhcpTurnedOn =
            job.record.networkFlag(GWSetupRecord::Dhcp) && !before->record->networkFlag(GWSetupRecord::Dhcp);
    job.verifier = new SetupVerifier(this);
    connect(job.verifier, &SetupVerifier::finished, this, &GatewaySession::verified);
    if (GatewayRow* row = m_list.find(report.host)) {
        row->verification = GatewayRow::Verification::Running;
        emit listChanged();
    }
    emit transferFinished(report);
    job.verifier->start(plan);
}

void GatewaySession::verified(const SetupVerifier::Report& report)
{
    const auto it = m_jobs.find(key(report.host));
    if (it != m_jobs.end()) {
        it->verifier->deleteLater();
        m_jobs.erase(it);
    }
    using R = SetupVerifier::Report::Result;
    GatewayRow row;
    if (const GatewayRow* listed = m_list.find(report.host))
        row = *listed;
    else
        row = GatewayRead{}.row();
    row.id = report.id;
    row.verification = report.result == R::Verified  ? GatewayRow::Verification::Verified
                       : report.result == R::Differs ? GatewayRow::Verification::Differs
                                                     : GatewayRow::Verification::NoAnswer;
    if (report.readBack) {
        // What the gateway reports now is what this session knows of it, at its address now.
        GatewayRead read;
        read.host = report.answeredFrom;
        read.ending = ReadExchange::Ending::Answered;
        read.answer = Telegram::Answer::Kind::Setup;
        read.id = report.id;
        read.type = Telegram::SetupType;
        read.record = report.readBack;
        if (report.moved())
            m_reads.remove(key(report.host));
        m_reads.insert(key(report.answeredFrom), read);
        row.address = report.answeredFrom;
        row.state = GatewayRow::State::SetupStored;
        row.firmware = report.readBack->firmwareVersion();
        row.stored = Status();
        // A gateway at a new address or with a new key would not be found as its file says.
        if ((report.moved() || report.newKey) && !m_setupsFolder.isEmpty()) {
            row.stored = SetupRecordToFile(m_setupsFolder, report.id, *report.readBack);
            if (!row.stored)
                row.state = GatewayRow::State::SetupNotStored;
        }
    }
    // A scan started during the read-back may have missed the gateway while it restarted: what it
    // reported now lists it again.
    const bool missedByScan = report.readBack && m_scanned && m_segment.contains(report.answeredFrom);
    if (m_list.find(report.host) || report.moved() || missedByScan)
        m_list.move(report.host, row);
    if (missedByScan)
        m_missing.removeIf([&report](const SeenGateway& gone) { return gone.id == report.id; });
    emit listChanged();
    if (row.state == GatewayRow::State::SetupNotStored)
        emit storeFailed(row);
    emit verificationFinished(report);
}
