#include "ScanHistory.h"

#include "base/AtomicFile.h"
#include "base/FileReasons.h"
#include "base/RegularFile.h"
#include "base/SharedFile.h"
#include "base/SharedFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>

#include <cerrno>
#include <vector>

using namespace Qt::StringLiterals;

QString rowStateKey(GatewayRow::State state)
{
    return wordOf(GatewayRow::StateNames, state);
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
    if (!firmware.match(g.firmware).hasMatch() || !hash.match(g.setupHash).hasMatch() ||
        !valueOfWord(GatewayRow::StateNames, g.state))
        return std::nullopt;
    return g;
}

std::optional<ScanRecord> scanFrom(QByteArrayView line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
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

QByteArray segmentNeedle(const Segment& segment)
{
    return '"' + segment.text().toLatin1() + '"';
}

// The last line holding segment's scan, read backwards in pieces: lines that do not even mention
// the segment's text are passed over unparsed.
Result<std::optional<ScanRecord>> findLast(QFile& file, const Segment& segment)
{
    using R = Result<std::optional<ScanRecord>>;
    constexpr qint64 Chunk = 256 * 1024;
    const QByteArray needle = segmentNeedle(segment);
    qint64 pos = file.size();
    QByteArray tail;       // the end of a line whose start lies further back
    bool overlong = false; // that line is longer than MaxLineBytes and is passed over
    while (pos > 0) {
        const qint64 n = qMin(Chunk, pos);
        pos -= n;
        QByteArray block;
        if (file.seek(pos))
            block = file.read(n);
        if (block.size() != n)
            return R::failure(FileReasons::readFailure(file.fileName(), FileReasons::systemReason(EIO)));
        if (overlong) {
            const qsizetype lineBreak = block.lastIndexOf('\n');
            if (lineBreak < 0)
                continue;
            block.truncate(lineBreak);
            overlong = false;
        } else {
            block += tail;
        }
        qsizetype end = block.size(); // lines in [0, end) not yet looked at
        while (end >= needle.size()) {
            const qsizetype hit = block.lastIndexOf(needle, end - needle.size());
            if (hit < 0)
                break;
            const qsizetype start = block.lastIndexOf('\n', hit) + 1;
            if (start == 0 && pos > 0)
                break; // the line starts in the piece before
            qsizetype stop = block.indexOf('\n', hit);
            if (stop < 0 || stop > end)
                stop = end;
            if (stop - start <= ScanHistory::MaxLineBytes) {
                std::optional<ScanRecord> scan = scanFrom(QByteArrayView(block).sliced(start, stop - start).trimmed());
                if (scan && scan->segment == segment)
                    return std::optional<ScanRecord>(std::move(*scan));
            }
            end = start - 1;
        }
        if (end < 0)
            break;
        const qsizetype firstBreak = block.indexOf('\n');
        tail = block.left(firstBreak < 0 ? end : qMin(firstBreak, end));
        if (tail.size() > ScanHistory::MaxLineBytes) {
            tail.clear();
            overlong = true;
        }
    }
    return std::optional<ScanRecord>();
}

// Every line from the start, as pieces of at most MaxLineBytes + 1 bytes with their line break;
// whole is false for the pieces of a longer line. False when the file could not be read.
template <typename Visit> bool forEachLine(QFile& file, Visit visit)
{
    if (!file.seek(0))
        return false;
    bool continuing = false;
    while (!file.atEnd()) {
        const QByteArray piece = file.readLine(ScanHistory::MaxLineBytes + 2);
        if (piece.isEmpty())
            return false;
        const bool ended = piece.endsWith('\n') || file.atEnd();
        visit(piece, !continuing && ended);
        continuing = !ended;
    }
    return file.error() == QFileDevice::NoError;
}

QString compactedSizePath(const QString& path)
{
    return path + u".compacted"_s;
}

qint64 compactedSize(const QString& path)
{
    const Result<std::optional<QByteArray>> read = readRegularFile(compactedSizePath(path), 32);
    if (!read || !read->has_value())
        return 0;
    return qMax<qint64>(0, (*read)->trimmed().toLongLong());
}

// The file's new size once compacted, or why it could not be.
Result<qint64> compactFile(const QString& path)
{
    Result<std::unique_ptr<QFile>> opened = SharedFile::openForReading(path);
    if (!opened)
        return Result<qint64>::failure(opened.message());
    if (!*opened)
        return qint64(0);
    QFile& in = **opened;
    const auto readFailed = [&] {
        return Result<qint64>::failure(FileReasons::readFailure(path, FileReasons::systemReason(EIO)));
    };

    // Parsed once: per piece its segment's number (-1: no scan this version reads), so that the
    // copy knows which lines to drop without parsing again. Four bytes per line.
    QHash<QString, qint32> segmentNumbers;
    QList<int> scansOf;
    std::vector<qint32> segmentOfPiece;
    if (!forEachLine(in, [&](const QByteArray& piece, bool whole) {
            const std::optional<ScanRecord> scan = whole ? scanFrom(piece.trimmed()) : std::nullopt;
            qint32 number = -1;
            if (scan) {
                number = segmentNumbers.value(scan->segment.text(), qint32(scansOf.size()));
                if (number == scansOf.size()) {
                    segmentNumbers.insert(scan->segment.text(), number);
                    scansOf.append(0);
                }
                ++scansOf[number];
            }
            segmentOfPiece.push_back(number);
        }))
        return readFailed();

    Result<FileReplacement> out = FileReplacement::begin(path);
    if (!out)
        return Result<qint64>::failure(out.message());
    QList<int> seen(scansOf.size(), 0);
    size_t pieceIndex = 0;
    qint64 written = 0;
    Status status;
    if (!forEachLine(in, [&](const QByteArray& piece, bool) {
            const qint32 number = pieceIndex < segmentOfPiece.size() ? segmentOfPiece[pieceIndex] : -1;
            ++pieceIndex;
            if (!status)
                return;
            if (number >= 0 && ++seen[number] <= scansOf[number] - ScanHistory::MaxScansPerSegment)
                return;
            status = out->write(piece);
            written += piece.size();
            if (status && !piece.endsWith('\n') && in.atEnd()) {
                status = out->write("\n");
                ++written;
            }
        }))
        return readFailed();
    in.close(); // Windows replaces no file that is still open
    if (status)
        status = out->flush();
    if (status)
        status = out->commit();
    if (!status)
        return Result<qint64>::failure(status.message());
    flushFolder(QFileInfo(path).absolutePath());
    return written;
}

Status compactLocked(const QString& path)
{
    const Result<qint64> size = compactFile(path);
    if (!size)
        return Status::from(size);
    // Only a hint for when to compact next: a lost or stale one costs one early compaction.
    (void)writeFileAtomically(compactedSizePath(path), QByteArray::number(*size) + '\n');
    return {};
}

// Appends line, ending first a line that a killed writer left without its line break. Gives the
// file's size after it.
Status appendLine(const QString& path, const QByteArray& line, qint64& size)
{
    bool endsOpen = false;
    {
        Result<std::unique_ptr<QFile>> reading = SharedFile::openForReading(path);
        if (!reading)
            return Status::from(reading);
        if (*reading && (*reading)->size() > 0) {
            QFile& in = **reading;
            char last = '\n';
            endsOpen = in.seek(in.size() - 1) && in.getChar(&last) && last != '\n';
        }
    }
    const bool existed = QFileInfo::exists(path);
    Result<std::unique_ptr<QFile>> opened = SharedFile::openForAppending(path);
    if (!opened)
        return Status::from(opened);
    QFile& out = **opened;
    const qint64 before = out.size();
    const QByteArray bytes = endsOpen ? '\n' + line : line;
    Status status;
    if (out.write(bytes) != bytes.size())
        status = Status::failure(FileReasons::writeFailure(path, FileReasons::systemReason(errno ? errno : EIO)));
    if (status)
        status = SharedFile::flushToDisk(out);
    if (!status) {
        out.resize(before); // no half line stays behind
        return status;
    }
    size = out.size();
    if (!existed)
        flushFolder(QFileInfo(path).absolutePath());
    return {};
}

QString lockReason(QLockFile::LockError error, const QString& lockPath)
{
    if (error == QLockFile::LockFailedError)
        return u"ein anderes Programm schreibt gerade den Verlauf (Sperrdatei %1)"_s.arg(
            QDir::toNativeSeparators(lockPath));
    return u"die Sperrdatei %1 kann nicht angelegt werden"_s.arg(QDir::toNativeSeparators(lockPath));
}

} // namespace

ScanHistory::ScanHistory(QString path) : m_path(std::move(path))
{}

Result<std::optional<ScanRecord>> ScanHistory::last(const Segment& segment) const
{
    Result<std::unique_ptr<QFile>> opened = SharedFile::openForReading(m_path);
    if (!opened)
        return Result<std::optional<ScanRecord>>::failure(opened.message());
    if (!*opened)
        return std::optional<ScanRecord>();
    return findLast(**opened, segment);
}

ScanHistory::Recorded ScanHistory::record(const ScanRecord& scan)
{
    Recorded out;
    const QByteArray line = toLine(scan);
    if (!scanFrom(line)) {
        out.status = Status::failure(FileReasons::writeFailure(
            m_path, u"der Scan von %1 lässt sich nicht als Zeile schreiben"_s.arg(scan.segment.text())));
        return out;
    }
    // The first scan on a fresh PC: MERVANE may not exist yet.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!SharedFolders::ensureFolder(folder)) {
        out.status = Status::failure(
            FileReasons::writeFailure(m_path, u"der Ordner %1 kann nicht angelegt werden"_s.arg(folder)));
        return out;
    }
    const QString lockPath = m_path + u".lock"_s;
    QLockFile lock(lockPath);
    if (!lock.tryLock(m_lockWaitMs)) {
        // Recorded or not, the comparison with the previous scan is still worth showing.
        if (Result<std::optional<ScanRecord>> previous = last(scan.segment))
            out.previous = std::move(previous.value());
        out.status = Status::failure(FileReasons::writeFailure(m_path, lockReason(lock.error(), lockPath)));
        return out;
    }
    Result<std::optional<ScanRecord>> previous = last(scan.segment);
    if (!previous) {
        out.status = Status::from(previous);
        return out;
    }
    out.previous = std::move(previous.value());
    qint64 size = 0;
    out.status = appendLine(m_path, line, size);
    if (out.status && size > qMax(MinCompactBytes, 2 * compactedSize(m_path)))
        out.status = compactLocked(m_path);
    return out;
}

Status ScanHistory::compact()
{
    QLockFile lock(m_path + u".lock"_s);
    if (!lock.tryLock(m_lockWaitMs))
        return Status::failure(FileReasons::writeFailure(m_path, lockReason(lock.error(), m_path + u".lock"_s)));
    return compactLocked(m_path);
}
