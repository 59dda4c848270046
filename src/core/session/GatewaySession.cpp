#include "GatewaySession.h"

#include "base/SharedFolders.h"
#include "setups/SetupConversion.h"

namespace {
quint32 key(const QHostAddress& host)
{
    return host.toIPv4Address();
}
} // namespace

GatewaySession::GatewaySession(QObject* parent) : QObject(parent)
{
    m_timings = m_link.timings();
    connect(&m_scan, &ScanEngine::tryingAddress, this, &GatewaySession::addressTried);
    connect(&m_scan, &ScanEngine::addressDone, this, &GatewaySession::addressDone);
    connect(&m_scan, &ScanEngine::progress, this, &GatewaySession::progress);
    connect(&m_scan, &ScanEngine::finished, this, &GatewaySession::scanFinished);
}

GatewaySession::~GatewaySession()
{
    m_scan.stop();
    for (SetupTransfer* transfer : std::as_const(m_transfers))
        transfer->cancel();
}

void GatewaySession::setLinkSettings(const LinkSettings& settings)
{
    m_link = settings;
    m_timings.connectMs = settings.connectTimeoutMs;
}

void GatewaySession::setTimings(const ExchangeTimings& timings)
{
    m_timings = timings;
}

void GatewaySession::startScan(const Segment& segment)
{
    m_scan.stop();
    m_segment = segment;
    m_list.clear();
    m_counts.fill(0);
    m_answers = 0;
    for (auto it = m_reads.begin(); it != m_reads.end();)
        it = segment.contains(it->host) ? m_reads.erase(it) : std::next(it);
    m_folderReady = m_setupsFolder.isEmpty() ? Status() : SharedFolders::ensureFolder(m_setupsFolder);
    emit scanStarted();
    emit answerCounted(0);
    emit listChanged();
    ScanEngine::Settings settings;
    settings.segment = segment;
    settings.port = m_link.port;
    settings.parallel = m_link.parallel;
    settings.timings = m_timings;
    m_scan.start(settings);
}

void GatewaySession::stopScan()
{
    m_scan.stop();
}

QList<GatewayRow> GatewaySession::storeFailures() const
{
    QList<GatewayRow> failed;
    for (const GatewayRow& row : m_list.rows())
        if (row.state == GatewayRow::State::SetupNotStored)
            failed << row;
    return failed;
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
    const GatewayRow row = store(read);
    m_list.addOrUpdate(row);
    emit listChanged();
    if (row.state == GatewayRow::State::SetupNotStored)
        emit storeFailed(row);
}

GatewayRow GatewaySession::store(const GatewayRead& read)
{
    GatewayRow row = read.row();
    if (!read.record || m_setupsFolder.isEmpty())
        return row;
    Status stored = m_folderReady;
    if (stored)
        stored = SetupRecordToFile(m_setupsFolder, read.id, *read.record);
    if (!stored) {
        row.state = GatewayRow::State::SetupNotStored;
        row.stored = stored;
    }
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
    exchange->start(host, m_link.port, m_timings);
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
    return m_transfers.contains(key(host));
}

Status GatewaySession::sendSetupFile(const QHostAddress& host, const GatewayId& target, const GatewayId& fileId)
{
    if (transferRunning(host))
        return Status::failure(transferBusyMessage());
    const GatewayRead* read = lastRead(host);
    if (!read)
        return Status::failure(
            QStringLiteral("Von %1 wurde in dieser Sitzung kein Setup gelesen. Es wurde nichts gesendet.")
                .arg(host.toString()));
    const Status sendable = read->sendable(target);
    if (!sendable)
        return sendable;
    GWSetupRecord record = *read->record; // reserved bytes and firmware version as the gateway reported them
    const Status converted = SetupFileToRecord(m_setupsFolder, fileId, record);
    if (!converted)
        return converted;

    SetupTransfer::Request request;
    request.host = host;
    request.port = m_link.port;
    request.timings = m_timings;
    request.record = record;
    request.masterKey = m_masterKey;
    request.expectedId = target;
    auto* transfer = new SetupTransfer(this);
    m_transfers.insert(key(host), transfer);
    connect(transfer, &SetupTransfer::finished, this, [this, transfer](const SetupTransfer::Report& report) {
        m_transfers.remove(key(report.host));
        transfer->deleteLater();
        emit transferFinished(report);
    });
    transfer->start(request);
    emit transferStarted(host);
    return {};
}
