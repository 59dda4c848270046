#include "ScanHistory.h"

#include "base/AtomicFile.h"
#include "base/FileReasons.h"
#include "base/RegularFile.h"
#include "base/SharedFolders.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

QString rowStateKey(GatewayRow::State state)
{
    switch (state) {
    case GatewayRow::State::SetupStored:
        return u"stored"_s;
    case GatewayRow::State::SetupNotStored:
        return u"not-stored"_s;
    case GatewayRow::State::OtherKey:
        return u"other-key"_s;
    case GatewayRow::State::OtherType:
        return u"other-type"_s;
    case GatewayRow::State::Incomplete:
        return u"incomplete"_s;
    case GatewayRow::State::DuplicateId:
        return u"duplicate-id"_s;
    }
    return QString();
}

QString setupHash(const GWSetupRecord& record)
{
    return QString::fromLatin1(QCryptographicHash::hash(record.toByteArray(), QCryptographicHash::Sha256).toHex());
}

SeenGateway seenGateway(const GatewayRow& row, const GWSetupRecord* record)
{
    SeenGateway seen;
    seen.address = row.address;
    seen.id = row.id;
    seen.state = rowStateKey(row.state);
    if (row.hasSetup())
        seen.firmware = u"%1.%2.%3"_s.arg(row.firmware[0]).arg(row.firmware[1]).arg(row.firmware[2]);
    if (record)
        seen.setupHash = setupHash(*record);
    return seen;
}

ScanComparison compareScans(const std::optional<ScanRecord>& previous, const ScanRecord& current)
{
    ScanComparison result;
    result.hadPrevious = previous.has_value();
    const QList<SeenGateway> before = previous ? previous->gateways : QList<SeenGateway>();
    QList<bool> used(before.size(), false);
    QList<qsizetype> match(current.gateways.size(), -1);

    // Factory-fresh gateways may share an ID; the one still at its address keeps its match, so a
    // second one shows as new rather than turning the first into a move.
    const auto pass = [&](bool sameAddress) {
        for (qsizetype i = 0; i < current.gateways.size(); ++i) {
            if (match[i] >= 0)
                continue;
            const SeenGateway& now = current.gateways[i];
            for (qsizetype j = 0; j < before.size(); ++j) {
                if (used[j] || before[j].id != now.id)
                    continue;
                if (sameAddress && before[j].address != now.address)
                    continue;
                used[j] = true;
                match[i] = j;
                break;
            }
        }
    };
    pass(true);
    pass(false);

    // An answer without a setup (another key, cut off) tells nothing about firmware or setup, so
    // only two known values are compared.
    const auto differ = [](const QString& a, const QString& b) { return !a.isEmpty() && !b.isEmpty() && a != b; };
    for (qsizetype i = 0; i < current.gateways.size(); ++i) {
        const SeenGateway& now = current.gateways[i];
        ScanChange change = ScanChange::Unchanged;
        QHostAddress from;
        if (match[i] < 0) {
            change = ScanChange::New;
        } else {
            const SeenGateway& was = before[match[i]];
            if (was.address != now.address) {
                change = ScanChange::Moved;
                from = was.address;
            } else if (differ(was.firmware, now.firmware)) {
                change = ScanChange::Firmware;
            } else if (differ(was.setupHash, now.setupHash)) {
                change = ScanChange::Setup;
            }
        }
        result.changes.append(change);
        result.previousAddress.append(from);
    }
    for (qsizetype j = 0; j < before.size(); ++j)
        if (!used[j])
            result.missing.append(before[j]);
    return result;
}

QString summaryText(const ScanComparison& comparison)
{
    if (!comparison.hadPrevious)
        return u"erster Scan dieses Segments"_s;
    const auto count = [&](ScanChange change) { return int(comparison.changes.count(change)); };
    const int missing = int(comparison.missing.size());
    QStringList parts;
    if (const int n = count(ScanChange::New))
        parts << u"%1 neu"_s.arg(n);
    if (missing)
        parts << (missing == 1 ? u"1 fehlt"_s : u"%1 fehlen"_s.arg(missing));
    if (const int n = count(ScanChange::Moved))
        parts << u"%1 umgezogen"_s.arg(n);
    if (const int n = count(ScanChange::Firmware))
        parts << u"%1 Firmware geändert"_s.arg(n);
    if (const int n = count(ScanChange::Setup))
        parts << u"%1 Setup geändert"_s.arg(n);
    return parts.isEmpty() ? u"keine Änderung"_s : parts.join(u", "_s);
}

QString scanHistoryPath()
{
    return SharedFolders::mervane() + u"Telvaro-Scans.jsonl"_s;
}

namespace {

const QStringList& stateKeys()
{
    static const QStringList keys{u"stored"_s,     u"not-stored"_s, u"other-key"_s,
                                  u"other-type"_s, u"incomplete"_s, u"duplicate-id"_s};
    return keys;
}

// The offset is always written ("+02:00", "+00:00"), so that a reader elsewhere gets the instant
// and the installer's wall-clock time.
QString timeText(const QDateTime& time)
{
    const QDateTime local = time.toOffsetFromUtc(time.offsetFromUtc());
    QString text = local.toString(Qt::ISODateWithMs);
    if (text.endsWith(u'Z')) {
        text.chop(1);
        text += u"+00:00"_s;
    }
    return text;
}

QByteArray toLine(const ScanRecord& scan)
{
    QJsonArray gateways;
    for (const SeenGateway& g : scan.gateways) {
        gateways.append(QJsonObject{{u"ip"_s, g.address.toString()},
                                    {u"gwid"_s, g.id.text()},
                                    {u"firmware"_s, g.firmware},
                                    {u"state"_s, g.state},
                                    {u"setupHash"_s, g.setupHash}});
    }
    const QJsonObject object{
        {u"segment"_s, scan.segment.text()}, {u"time"_s, timeText(scan.time)}, {u"gateways"_s, gateways}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<SeenGateway> gatewayFrom(const QJsonValue& value)
{
    static const QRegularExpression firmware(u"^(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})?$"_s);
    static const QRegularExpression hash(u"^([0-9a-f]{64})?$"_s);
    const QJsonObject o = value.toObject();
    const QJsonValue ip = o.value(u"ip"_s), gwid = o.value(u"gwid"_s), fw = o.value(u"firmware"_s),
                     state = o.value(u"state"_s), sha = o.value(u"setupHash"_s);
    if (!ip.isString() || !gwid.isString() || !fw.isString() || !state.isString() || !sha.isString())
        return std::nullopt;
    SeenGateway g;
    if (!g.address.setAddress(ip.toString()) || g.address.protocol() != QAbstractSocket::IPv4Protocol)
        return std::nullopt;
    const std::optional<GatewayId> id = GatewayId::fromText(gwid.toString());
    if (!id)
        return std::nullopt;
    g.id = *id;
    g.firmware = fw.toString();
    g.state = state.toString();
    g.setupHash = sha.toString();
    if (!firmware.match(g.firmware).hasMatch() || !hash.match(g.setupHash).hasMatch() || !stateKeys().contains(g.state))
        return std::nullopt;
    return g;
}

std::optional<ScanRecord> scanFrom(const QByteArray& line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject o = document.object();
    const QJsonValue segment = o.value(u"segment"_s), time = o.value(u"time"_s), gateways = o.value(u"gateways"_s);
    if (!segment.isString() || !time.isString() || !gateways.isArray())
        return std::nullopt;
    const Result<Segment> parsed = Segment::fromText(segment.toString());
    if (!parsed)
        return std::nullopt;
    ScanRecord scan;
    scan.segment = *parsed;
    scan.time = QDateTime::fromString(time.toString(), Qt::ISODateWithMs);
    if (!scan.time.isValid())
        return std::nullopt;
    for (const QJsonValue& value : gateways.toArray()) {
        std::optional<SeenGateway> g = gatewayFrom(value);
        if (!g)
            return std::nullopt;
        scan.gateways.append(std::move(*g));
    }
    return scan;
}

struct FileContent
{
    QList<ScanRecord> scans;
    int skipped = 0;
};

Result<FileContent> readScans(const QString& path)
{
    const Result<std::optional<QByteArray>> read = readRegularFile(path, ScanHistory::MaxFileBytes);
    if (!read)
        return Result<FileContent>::failure(read.message());
    FileContent content;
    if (!read->has_value())
        return content;
    for (const QByteArray& raw : (*read)->split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (std::optional<ScanRecord> scan = scanFrom(line))
            content.scans.append(std::move(*scan));
        else
            ++content.skipped;
    }
    return content;
}

} // namespace

Result<ScanHistory> ScanHistory::load(const QString& path)
{
    Result<FileContent> content = readScans(path);
    if (!content)
        return Result<ScanHistory>::failure(content.message());
    ScanHistory history(path);
    history.m_scans = std::move(content->scans);
    history.m_skipped = content->skipped;
    return history;
}

std::optional<ScanRecord> ScanHistory::last(const Segment& segment) const
{
    for (qsizetype i = m_scans.size() - 1; i >= 0; --i)
        if (m_scans[i].segment == segment)
            return m_scans[i];
    return std::nullopt;
}

Status ScanHistory::append(const ScanRecord& scan)
{
    Result<FileContent> content = readScans(m_path);
    if (!content)
        return Status::failure(content.message());
    QList<ScanRecord> scans = std::move(content->scans);
    // Written and read back as the file holds it, so that last() gives the same either way.
    const QByteArray newLine = toLine(scan);
    const std::optional<ScanRecord> stored = scanFrom(newLine);
    if (!stored)
        return Status::failure(FileReasons::writeFailure(
            m_path, u"der Scan von %1 lässt sich nicht als Zeile schreiben"_s.arg(scan.segment.text())));
    scans.append(*stored);

    qsizetype ofSegment = 0;
    for (const ScanRecord& s : scans)
        ofSegment += s.segment == scan.segment ? 1 : 0;
    for (qsizetype i = 0; i < scans.size() && ofSegment > MaxScansPerSegment;) {
        if (scans[i].segment == scan.segment) {
            scans.removeAt(i);
            --ofSegment;
        } else {
            ++i;
        }
    }

    QList<QByteArray> lines;
    qint64 total = 0;
    for (const ScanRecord& s : scans) {
        lines.append(toLine(s));
        total += lines.last().size();
    }
    // Never more than a later load() reads: the oldest scans of any segment give way.
    while (total > MaxFileBytes && scans.size() > 1) {
        total -= lines.takeFirst().size();
        scans.removeFirst();
    }
    if (total > MaxFileBytes)
        return Status::failure(FileReasons::writeFailure(m_path, FileReasons::tooLarge(total, MaxFileBytes)));

    // The first scan on a fresh PC: MERVANE may not exist yet.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!SharedFolders::ensureFolder(folder))
        return Status::failure(
            FileReasons::writeFailure(m_path, u"der Ordner %1 kann nicht angelegt werden"_s.arg(folder)));

    QByteArray bytes;
    bytes.reserve(total);
    for (const QByteArray& line : lines)
        bytes += line;
    if (Status written = writeFileAtomically(m_path, bytes); !written)
        return written;
    m_scans = std::move(scans);
    m_skipped = 0;
    return {};
}
