// What a scan saw, kept per segment in a JSON-lines file that many processes share, and the changes
// since the previous scan.
//
// The concurrent writers are this test binary started again with --record; the killed lock holder
// with --hold-lock.
#include "base/SharedFolders.h"
#include "session/ScanHistory.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstdio>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// "5/0A.1B.2C/1.4.12/a": address 192.0.2.5, ID, firmware (may be empty), setup hash of 64 × the
// letter (may be empty).
SeenGateway gw(const QString& text)
{
    const QStringList p = text.split(u'/');
    SeenGateway g;
    g.address = QHostAddress(u"192.0.2."_s + p[0]);
    g.id = *GatewayId::fromText(p[1]);
    g.firmware = p.value(2);
    g.state = g.firmware.isEmpty() ? u"other-key"_s : u"stored"_s;
    g.setupHash = p.value(3).isEmpty() ? QString() : p.value(3).repeated(64);
    return g;
}

QList<SeenGateway> gws(const QStringList& texts)
{
    QList<SeenGateway> list;
    for (const QString& s : texts)
        list.append(gw(s));
    return list;
}

const Segment kA{192, 0, 2};
const Segment kB{198, 51, 100};

ScanRecord scan(const Segment& segment, int minute, const QList<SeenGateway>& gateways = {})
{
    const QDateTime time(QDate(2024, 5, 17), QTime(9, 0).addSecs(60 * minute), QTimeZone(2 * 3600));
    return ScanRecord{segment, time, gateways};
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

void compareRecords(const ScanRecord& actual, const ScanRecord& expected)
{
    QCOMPARE(actual.segment, expected.segment);
    QCOMPARE(actual.time, expected.time);
    QCOMPARE(actual.time.offsetFromUtc(), expected.time.offsetFromUtc());
    QCOMPARE(actual.gateways, expected.gateways);
}

std::optional<ScanRecord> lastOf(const QString& path, const Segment& segment)
{
    const Result<std::optional<ScanRecord>> found = ScanHistory(path).last(segment);
    if (!found)
        qFatal("%s", qPrintable(found.message()));
    return *found;
}

// The segment of every line of the file, in file order; "?" for a line that is no scan object.
QStringList segmentsIn(const QString& path)
{
    QStringList segments;
    for (const QByteArray& line : fileBytes(path).split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        segments << (o.contains(u"segment"_s) ? o.value(u"segment"_s).toString() : u"?"_s);
    }
    return segments;
}

// A scan of many gateways, so that a few of them make a large file.
ScanRecord bigScan(const Segment& segment, int minute, int gateways)
{
    QStringList texts;
    for (int i = 1; i <= gateways; ++i)
        texts << u"%1/00.00.%2/1.4.12/a"_s.arg(i % 250 + 1)
                     .arg(QString::number(i % 256, 16).rightJustified(2, u'0').toUpper());
    ScanRecord r = scan(segment, minute, gws(texts));
    for (SeenGateway& g : r.gateways)
        g.address = QHostAddress(u"%1.%2"_s.arg(segment.text()).arg(g.address.toIPv4Address() & 0xFF));
    return r;
}

} // namespace

class TestScanHistory final : public QObject
{
    Q_OBJECT

private slots:
    void comparison_data();
    void comparison();
    void seenFromRow();
    void roundTripAndFormat();
    void lastReadsBackwards_data();
    void lastReadsBackwards();
    void compactionKeepsLastPerSegment();
    void compactionWhenDoubled();
    void unknownLinesKept_data();
    void unknownLinesKept();
    void cutLastLineEndedFirst();
    void refusedFiles_data();
    void refusedFiles();
    void readOnlyHistoryNotReplaced();
    void appendRefusesLinkPutInPlace();
    void concurrentProcessesKeepEveryScan();
    void staleLockTakenOver();
    void defaultFileUnderMervane();
};

void TestScanHistory::comparison_data()
{
    QTest::addColumn<bool>("hasPrevious");
    QTest::addColumn<QStringList>("previous");
    QTest::addColumn<QStringList>("current");
    QTest::addColumn<QStringList>("changes");   // change keys, one per current gateway
    QTest::addColumn<QStringList>("movedFrom"); // previous address per current gateway, "" when none
    QTest::addColumn<QStringList>("missing");   // IDs
    QTest::addColumn<QString>("summary");

    const QStringList two{u"5/0A.1B.2C/1.4.12/a"_s, u"6/0A.1B.2D/1.4.12/b"_s};
    QTest::newRow("first scan: all new") << false << QStringList() << two << QStringList{u"new"_s, u"new"_s}
                                         << QStringList{u""_s, u""_s} << QStringList()
                                         << u"erster Scan dieses Segments"_s;
    QTest::newRow("first scan, nothing listed") << false << QStringList() << QStringList() << QStringList()
                                                << QStringList() << QStringList() << u"erster Scan dieses Segments"_s;
    QTest::newRow("same again") << true << two << two << QStringList{u"unchanged"_s, u"unchanged"_s}
                                << QStringList{u""_s, u""_s} << QStringList() << u"keine Änderung"_s;
    QTest::newRow("empty both") << true << QStringList() << QStringList() << QStringList() << QStringList()
                                << QStringList() << u"keine Änderung"_s;
    QTest::newRow("new ID") << true << two << (QStringList(two) << u"7/0A.1B.2E/1.4.12/c"_s)
                            << QStringList{u"unchanged"_s, u"unchanged"_s, u"new"_s} << QStringList{u""_s, u""_s, u""_s}
                            << QStringList() << u"1 neu"_s;
    QTest::newRow("moved beats firmware and setup")
        << true << two << QStringList{u"9/0A.1B.2C/1.5.0/z"_s, u"6/0A.1B.2D/1.4.12/b"_s}
        << QStringList{u"moved"_s, u"unchanged"_s} << QStringList{u"192.0.2.5"_s, u""_s} << QStringList()
        << u"1 umgezogen"_s;
    QTest::newRow("firmware beats setup")
        << true << two << QStringList{u"5/0A.1B.2C/1.5.0/z"_s, u"6/0A.1B.2D/1.4.12/b"_s}
        << QStringList{u"firmware"_s, u"unchanged"_s} << QStringList{u""_s, u""_s} << QStringList()
        << u"1 Firmware geändert"_s;
    QTest::newRow("setup") << true << two << QStringList{u"5/0A.1B.2C/1.4.12/a"_s, u"6/0A.1B.2D/1.4.12/y"_s}
                           << QStringList{u"unchanged"_s, u"setup"_s} << QStringList{u""_s, u""_s} << QStringList()
                           << u"1 Setup geändert"_s;
    QTest::newRow("now another key: nothing known to compare")
        << true << two << QStringList{u"5/0A.1B.2C"_s, u"6/0A.1B.2D/1.4.12/b"_s}
        << QStringList{u"unchanged"_s, u"unchanged"_s} << QStringList{u""_s, u""_s} << QStringList()
        << u"keine Änderung"_s;
    QTest::newRow("setup read again after another key")
        << true << QStringList{u"5/0A.1B.2C"_s} << QStringList{u"5/0A.1B.2C/1.4.12/a"_s} << QStringList{u"unchanged"_s}
        << QStringList{u""_s} << QStringList() << u"keine Änderung"_s;
    QTest::newRow("one missing") << true << two << QStringList{u"6/0A.1B.2D/1.4.12/b"_s} << QStringList{u"unchanged"_s}
                                 << QStringList{u""_s} << QStringList{u"0A.1B.2C"_s} << u"1 fehlt"_s;
    QTest::newRow("all missing") << true << two << QStringList() << QStringList() << QStringList()
                                 << QStringList{u"0A.1B.2C"_s, u"0A.1B.2D"_s} << u"2 fehlen"_s;
    QTest::newRow("replaced at the same address: one new, one missing")
        << true << QStringList{u"5/0A.1B.2C/1.4.12/a"_s} << QStringList{u"5/0A.1B.2F/1.4.12/a"_s}
        << QStringList{u"new"_s} << QStringList{u""_s} << QStringList{u"0A.1B.2C"_s} << u"1 neu, 1 fehlt"_s;
    QTest::newRow("shared ID: the one at its address stays, the other is new")
        << true << QStringList{u"5/0A.1B.2C/1.4.12/a"_s}
        << QStringList{u"7/0A.1B.2C/1.4.12/a"_s, u"5/0A.1B.2C/1.4.12/a"_s} << QStringList{u"new"_s, u"unchanged"_s}
        << QStringList{u""_s, u""_s} << QStringList() << u"1 neu"_s;
    QTest::newRow("shared ID: two moved")
        << true << QStringList{u"5/0A.1B.2C/1.4.12/a"_s, u"6/0A.1B.2C/1.4.12/a"_s}
        << QStringList{u"8/0A.1B.2C/1.4.12/a"_s, u"9/0A.1B.2C/1.4.12/a"_s} << QStringList{u"moved"_s, u"moved"_s}
        << QStringList{u"192.0.2.5"_s, u"192.0.2.6"_s} << QStringList() << u"2 umgezogen"_s;
    QTest::newRow("every kind, in the fixed order")
        << true << QStringList{u"1/00.00.01/1.4.12/a"_s, u"2/00.00.02/1.4.12/a"_s, u"3/00.00.03/1.4.12/a"_s,
                               u"4/00.00.04/1.4.12/a"_s, u"5/00.00.05/1.4.12/a"_s, u"6/00.00.06/1.4.12/a"_s}
        << QStringList{u"9/00.00.09/1.4.12/a"_s, u"4/00.00.04/1.4.12/b"_s, u"3/00.00.03/1.4.13/a"_s,
                       u"8/00.00.08/1.4.12/a"_s, u"1/00.00.01/1.4.12/a"_s, u"7/00.00.02/1.4.12/a"_s}
        << QStringList{u"new"_s, u"setup"_s, u"firmware"_s, u"new"_s, u"unchanged"_s, u"moved"_s}
        << QStringList{u""_s, u""_s, u""_s, u""_s, u""_s, u"192.0.2.2"_s} << QStringList{u"00.00.05"_s, u"00.00.06"_s}
        << u"2 neu, 2 fehlen, 1 umgezogen, 1 Firmware geändert, 1 Setup geändert"_s;
    QTest::newRow("the status line's example")
        << true << QStringList{u"1/00.00.01/1.4.12/a"_s, u"2/00.00.02/1.4.12/a"_s}
        << QStringList{u"1/00.00.01/1.5.0/a"_s, u"3/00.00.03/1.4.12/a"_s, u"4/00.00.04/1.4.12/a"_s}
        << QStringList{u"firmware"_s, u"new"_s, u"new"_s} << QStringList{u""_s, u""_s, u""_s}
        << QStringList{u"00.00.02"_s} << u"2 neu, 1 fehlt, 1 Firmware geändert"_s;
}

void TestScanHistory::comparison()
{
    QFETCH(bool, hasPrevious);
    QFETCH(QStringList, previous);
    QFETCH(QStringList, current);
    QFETCH(QStringList, changes);
    QFETCH(QStringList, movedFrom);
    QFETCH(QStringList, missing);
    QFETCH(QString, summary);

    std::optional<ScanRecord> before;
    if (hasPrevious)
        before = scan(kA, 0, gws(previous));
    const ScanComparison c = compareScans(before, scan(kA, 10, gws(current)));

    QCOMPARE(c.hadPrevious, hasPrevious);
    QStringList keys, from, gone;
    for (const ScanChange change : c.changes)
        keys << changeKey(change);
    for (const QHostAddress& a : c.previousAddress)
        from << (a.isNull() ? QString() : a.toString());
    for (const SeenGateway& g : c.missing)
        gone << g.id.text();
    QCOMPARE(keys, changes);
    QCOMPARE(from, movedFrom);
    QCOMPARE(gone, missing);
    QCOMPARE(summaryText(c), summary);
}

void TestScanHistory::seenFromRow()
{
    GWSetupRecord record;
    record.setFirmwareVersion({1, 4, 12});
    GatewayRow row;
    row.address = QHostAddress(u"192.0.2.7"_s);
    row.id = *GatewayId::fromText(u"0A.1B.2C"_s);
    row.state = GatewayRow::State::SetupNotStored;
    row.firmware = {1, 4, 12};

    const SeenGateway seen = seenGateway(row, &record);
    QCOMPARE(seen.address, row.address);
    QCOMPARE(seen.id, row.id);
    QCOMPARE(seen.firmware, u"1.4.12"_s);
    QCOMPARE(seen.state, u"not-stored"_s);
    QCOMPARE(seen.setupHash.size(), 64);

    // One byte anywhere in the 1116 changes the hash; the same bytes give the same hash.
    GWSetupRecord other = record;
    QCOMPARE(seenGateway(row, &other).setupHash, seen.setupHash);
    other.raw()[GWSetupRecord::Size - 1] ^= 1;
    QVERIFY(seenGateway(row, &other).setupHash != seen.setupHash);

    row.state = GatewayRow::State::OtherKey;
    const SeenGateway locked = seenGateway(row, nullptr);
    QCOMPARE(locked.state, u"other-key"_s);
    QVERIFY(locked.firmware.isEmpty());
    QVERIFY(locked.setupHash.isEmpty());
}

void TestScanHistory::roundTripAndFormat()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    ScanHistory h(path);
    QVERIFY(!lastOf(path, kA));
    QVERIFY(!QFile::exists(path)); // reading writes nothing

    ScanRecord first = scan(kA, 0, gws({u"5/0A.1B.2C/1.4.12/a"_s, u"6/0A.1B.2D"_s}));
    first.gateways[1].state = u"incomplete"_s;
    ScanRecord utc = scan(kB, 1, gws({u"9/00.00.09/2.0.1/f"_s}));
    utc.time = QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58, 250), QTimeZone::utc());
    const ScanRecord empty = scan(kA, 2);
    QList<std::optional<ScanRecord>> previous;
    for (const ScanRecord& s : {first, utc, empty}) {
        const ScanHistory::Recorded recorded = h.record(s);
        QVERIFY2(recorded.status.ok(), qPrintable(recorded.status.message()));
        previous << recorded.previous;
    }
    // Each record hands back the segment's scan before it.
    QVERIFY(!previous[0] && !previous[1]);
    compareRecords(*previous[2], first);

    // One compact object per line, the time with its offset.
    const QList<QByteArray> lines = fileBytes(path).split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[3].isEmpty());
    QVERIFY(lines[0].startsWith("{") && !lines[0].contains(' '));
    const QJsonObject o = QJsonDocument::fromJson(lines[0]).object();
    QCOMPARE(o.value(u"segment"_s).toString(), u"192.0.2"_s);
    QCOMPARE(o.value(u"time"_s).toString(), u"2024-05-17T09:00:00.000+02:00"_s);
    const QJsonObject g = o.value(u"gateways"_s).toArray().at(0).toObject();
    QCOMPARE(g.value(u"ip"_s).toString(), u"192.0.2.5"_s);
    QCOMPARE(g.value(u"gwid"_s).toString(), u"0A.1B.2C"_s);
    QCOMPARE(g.value(u"firmware"_s).toString(), u"1.4.12"_s);
    QCOMPARE(g.value(u"state"_s).toString(), u"stored"_s);
    QCOMPARE(g.value(u"setupHash"_s).toString(), u"a"_s.repeated(64));
    QVERIFY(lines[1].contains("\"2024-12-31T23:59:58.250+00:00\""));

    compareRecords(*lastOf(path, kA), empty);
    compareRecords(*lastOf(path, kB), utc);
    QVERIFY(!lastOf(path, Segment{10, 1, 1}));
}

void TestScanHistory::lastReadsBackwards_data()
{
    QTest::addColumn<int>("scansBefore");  // of segment B, before the wanted scan of A
    QTest::addColumn<int>("scansAfter");   // of segment B, after it
    QTest::addColumn<QByteArray>("after"); // further lines after it
    QTest::addColumn<bool>("lineBreaks");  // CRLF instead of LF
    QTest::addColumn<bool>("found");

    const QByteArray damagedA = R"({"segment":"192.0.2","time":"kaputt","gateways":[]})"
                                "\n";
    const QByteArray mentionsA = R"({"segment":"198.51.100","time":"2024-05-17T09:05:00+02:00","gateways":[],)"
                                 R"("note":"192.0.2"})"
                                 "\n";
    const QByteArray overlong = '"' + QByteArray(ScanHistory::MaxLineBytes + 10, 'x') + "\"192.0.2\"\n";
    QTest::newRow("the last line") << 3 << 0 << QByteArray() << false << true;
    QTest::newRow("the first line, pieces of scans after it") << 0 << 40 << QByteArray() << false << true;
    QTest::newRow("in the middle, CRLF") << 40 << 40 << QByteArray() << true << true;
    QTest::newRow("later lines of A that do not read") << 5 << 30 << (damagedA + mentionsA) << false << true;
    QTest::newRow("a line longer than any scan after it") << 5 << 0 << overlong << false << true;
    QTest::newRow("only an older scan of A, far back") << -1 << 40 << (damagedA + overlong) << false << false;
}

void TestScanHistory::lastReadsBackwards()
{
    QFETCH(int, scansBefore);
    QFETCH(int, scansAfter);
    QFETCH(QByteArray, after);
    QFETCH(bool, lineBreaks);
    QFETCH(bool, found);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    ScanHistory h(path);
    const ScanRecord wanted = bigScan(kA, 1000, 200);
    QVERIFY(h.record(bigScan(kA, 999, 3)).status.ok()); // an older one that must not be found
    for (int i = 0; i < scansBefore; ++i)
        QVERIFY(h.record(bigScan(kB, i, 200)).status.ok());
    if (scansBefore >= 0)
        QVERIFY(h.record(wanted).status.ok());
    for (int i = 0; i < scansAfter; ++i)
        QVERIFY(h.record(bigScan(kB, 2000 + i, 200)).status.ok());
    QByteArray bytes = fileBytes(path) + after;
    if (lineBreaks)
        bytes.replace("\n", "\r\n");
    writeBytes(path, bytes);
    QVERIFY2(bytes.size() > 2 * 256 * 1024 || scansAfter == 0, "the file spans several pieces");

    const std::optional<ScanRecord> last = lastOf(path, kA);
    QCOMPARE(last.has_value(), true);
    compareRecords(*last, found ? wanted : bigScan(kA, 999, 3));
    QVERIFY(!lastOf(path, Segment{10, 1, 1}));
}

void TestScanHistory::compactionKeepsLastPerSegment()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    ScanHistory h(path);
    const int extra = 7;
    for (int i = 0; i < ScanHistory::MaxScansPerSegment + extra; ++i) {
        QVERIFY(h.append(scan(kA, i, gws({u"5/0A.1B.2C/1.4.%1/a"_s.arg(i % 50)}))).ok());
        if (i % 40 == 0)
            QVERIFY(h.append(scan(kB, i)).ok());
    }
    QCOMPARE(segmentsIn(path).count(u"192.0.2"_s), ScanHistory::MaxScansPerSegment + extra); // appended only
    const Status compacted = h.compact();
    QVERIFY2(compacted.ok(), qPrintable(compacted.message()));

    QList<int> minutesA, minutesB;
    for (const QByteArray& line : fileBytes(path).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty())
            continue;
        const QDateTime t = QDateTime::fromString(o.value(u"time"_s).toString(), Qt::ISODateWithMs);
        (o.value(u"segment"_s).toString() == u"192.0.2"_s ? minutesA : minutesB)
            << int(scan(kA, 0).time.secsTo(t) / 60);
    }
    QCOMPARE(minutesA.size(), ScanHistory::MaxScansPerSegment);
    QCOMPARE(minutesA.first(), extra); // the oldest went
    QCOMPARE(minutesA.last(), ScanHistory::MaxScansPerSegment + extra - 1);
    QCOMPARE(minutesB, (QList<int>{0, 40, 80})); // the other segment untouched
    compareRecords(*lastOf(path, kA),
                   scan(kA, ScanHistory::MaxScansPerSegment + extra - 1,
                        gws({u"5/0A.1B.2C/1.4.%1/a"_s.arg((ScanHistory::MaxScansPerSegment + extra - 1) % 50)})));
}

void TestScanHistory::compactionWhenDoubled()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    // A history another version wrote: more than MinCompactBytes, 150 scans of one segment.
    QByteArray bytes;
    {
        ScanHistory writer(dir.filePath(u"source.jsonl"_s));
        for (int i = 0; i < 150; ++i)
            QVERIFY(writer.append(bigScan(kB, i, 100)).ok());
        bytes = fileBytes(writer.path());
    }
    QVERIFY(bytes.size() > ScanHistory::MinCompactBytes);
    writeBytes(path, bytes);

    ScanHistory h(path);
    QVERIFY(h.append(scan(kA, 0)).ok()); // never compacted yet: now
    QCOMPARE(segmentsIn(path).count(u"198.51.100"_s), ScanHistory::MaxScansPerSegment);
    QCOMPARE(segmentsIn(path).count(u"192.0.2"_s), 1);
    const qint64 compacted = QFileInfo(path).size();
    for (int i = 0; i < 10; ++i)
        QVERIFY(h.append(bigScan(kB, 500 + i, 100)).ok()); // far from twice that size: appended only
    QCOMPARE(segmentsIn(path).count(u"198.51.100"_s), ScanHistory::MaxScansPerSegment + 10);
    QVERIFY(QFileInfo(path).size() > compacted);
}

void TestScanHistory::unknownLinesKept_data()
{
    QTest::addColumn<QByteArray>("line");
    const QByteArray gwOk =
        R"({"ip":"192.0.2.5","gwid":"0A.1B.2C","firmware":"1.4.12","state":"stored","setupHash":""})";
    const auto withGateway = [](const QByteArray& g) {
        return R"({"segment":"192.0.2","time":"2024-05-17T09:05:00+02:00","gateways":[)" + g + "]}";
    };
    QTest::newRow("not JSON") << QByteArray("Telvaro");
    QTest::newRow("cut off") << withGateway(gwOk).left(60);
    QTest::newRow("array") << QByteArray("[1,2,3]");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe{", 4);
    QTest::newRow("a newer version's scan")
        << QByteArray(R"({"version":2,"segment":"192.0.2","started":"2031-01-01T00:00:00Z","found":[]})");
    QTest::newRow("segment octet 300") << QByteArray(
        R"({"segment":"192.0.300","time":"2024-05-17T09:05:00+02:00","gateways":[]})");
    QTest::newRow("time not a date") << QByteArray(R"({"segment":"192.0.2","time":"gestern","gateways":[]})");
    QTest::newRow("bad ip") << withGateway(QByteArray(gwOk).replace("192.0.2.5", "192.0.2.256"));
    QTest::newRow("IPv6") << withGateway(QByteArray(gwOk).replace("192.0.2.5", "::1"));
    QTest::newRow("bad gwid") << withGateway(QByteArray(gwOk).replace("0A.1B.2C", "0A.1B"));
    QTest::newRow("bad firmware") << withGateway(QByteArray(gwOk).replace("1.4.12", "neu"));
    QTest::newRow("bad state") << withGateway(QByteArray(gwOk).replace("\"stored\"", "\"gespeichert\""));
    QTest::newRow("short hash") << withGateway(QByteArray(gwOk).replace("\"setupHash\":\"\"", "\"setupHash\":\"abc\""));
    QTest::newRow("missing key") << withGateway(QByteArray(gwOk).replace(",\"setupHash\":\"\"", ""));
    QTest::newRow("longer than any scan")
        << withGateway(QByteArray(gwOk).replace("\"1.4.12\"", '"' + QByteArray(ScanHistory::MaxLineBytes, '1') + '"'));
}

void TestScanHistory::unknownLinesKept()
{
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    const ScanRecord good1 = scan(kA, 0, gws({u"5/0A.1B.2C/1.4.12/a"_s}));
    const ScanRecord good2 = scan(kA, 1, gws({u"6/0A.1B.2C/1.4.12/a"_s}));
    ScanHistory h(path);
    QVERIFY(h.append(good1).ok());
    QVERIFY(h.append(good2).ok());
    const QList<QByteArray> lines = fileBytes(path).split('\n');
    // The unknown line in the middle, with Windows line ends and a blank line.
    writeBytes(path, lines[0] + "\r\n" + line + "\r\n\r\n" + lines[1] + "\r\n");
    compareRecords(*lastOf(path, kA), good2);

    const ScanRecord third = scan(kA, 2);
    const ScanHistory::Recorded recorded = h.record(third);
    QVERIFY(recorded.status.ok());
    compareRecords(*recorded.previous, good2);
    const Status compacted = h.compact();
    QVERIFY2(compacted.ok(), qPrintable(compacted.message()));
    const QByteArray after = fileBytes(path);
    QVERIFY2(after.contains("\r\n" + line + "\r\n"), "the unknown line is kept byte for byte");
    QCOMPARE(after.count("\n"), 5);
    compareRecords(*lastOf(path, kA), third);
}

void TestScanHistory::cutLastLineEndedFirst()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    ScanHistory h(path);
    const ScanRecord first = scan(kA, 0, gws({u"5/0A.1B.2C/1.4.12/a"_s}));
    QVERIFY(h.append(first).ok());
    const QByteArray cut = R"({"segment":"192.0.2","time":"2024-05-17T09:0)";
    writeBytes(path, fileBytes(path) + cut); // a writer killed in the middle of its line

    const ScanRecord second = scan(kA, 1);
    const ScanHistory::Recorded recorded = h.record(second);
    QVERIFY(recorded.status.ok());
    compareRecords(*recorded.previous, first);
    compareRecords(*lastOf(path, kA), second);
    const QList<QByteArray> lines = fileBytes(path).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1], cut);
}

void TestScanHistory::refusedFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << u"fifo"_s;
    QTest::newRow("link to a good file") << u"link"_s;
    QTest::newRow("dangling link") << u"dangling"_s;
    QTest::newRow("folder") << u"folder"_s;
}

void TestScanHistory::refusedFiles()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    const QString target = dir.filePath(u"real.jsonl"_s);
    QVERIFY(ScanHistory(target).append(scan(kA, 0)).ok());
    const QByteArray targetBytes = fileBytes(target);
    PLANT_IN_PLACE(kind, path, kind == u"dangling"_s ? dir.filePath(u"none"_s) : target);

    // A FIFO without a writer would block a reader that opened it; these return at once.
    ScanHistory h(path);
    const Result<std::optional<ScanRecord>> last = h.last(kA);
    QVERIFY(!last.ok());
    QVERIFY2(last.message().contains(QDir::toNativeSeparators(path)), qPrintable(last.message()));
    const ScanHistory::Recorded recorded = h.record(scan(kA, 1));
    QVERIFY(!recorded.status.ok());
    QVERIFY2(recorded.status.message().contains(QDir::toNativeSeparators(path)), qPrintable(recorded.status.message()));
    QVERIFY(!h.compact().ok());
    QCOMPARE(fileBytes(target), targetBytes);
    QVERIFY(!QFile::exists(dir.filePath(u"none"_s)));
}

void TestScanHistory::readOnlyHistoryNotReplaced()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    ScanHistory h(path);
    const ScanRecord first = scan(kA, 0, gws({u"5/0A.1B.2C/1.4.12/a"_s}));
    QVERIFY(h.append(first).ok());
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray before = fileBytes(path);
#ifndef Q_OS_WIN // a replacement would be another file with the same bytes
    const auto inode = [&path] {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const ino_t before_inode = inode();
#endif

    const ScanHistory::Recorded recorded = h.record(scan(kA, 1));
    QVERIFY(!recorded.status.ok());
    QCOMPARE(recorded.status.message(), u"Die Datei %1 konnte nicht gespeichert werden: die Datei ist "
                                        "schreibgeschützt"_s.arg(QDir::toNativeSeparators(path)));
    compareRecords(*recorded.previous, first); // the comparison still has its basis
    QVERIFY(!h.compact().ok());
    QCOMPARE(fileBytes(path), before);
#ifndef Q_OS_WIN
    QCOMPARE(inode(), before_inode);
#endif
    QCOMPARE(QFileInfo(path).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
}

void TestScanHistory::appendRefusesLinkPutInPlace()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    const QString target = dir.filePath(u"elsewhere.txt"_s);
    ScanHistory h(path);
    QVERIFY(h.append(scan(kA, 0)).ok());
    writeBytes(target, "fremd\n");
    QVERIFY(QFile::remove(path));
    PLANT_IN_PLACE(u"link"_s, path, target);

    const Status appended = h.append(scan(kA, 1));
    QVERIFY(!appended.ok());
    QVERIFY2(appended.message().contains(QDir::toNativeSeparators(path)), qPrintable(appended.message()));
    QCOMPARE(fileBytes(target), QByteArray("fremd\n"));
    QVERIFY(QFileInfo(path).isSymLink());
}

void TestScanHistory::concurrentProcessesKeepEveryScan()
{
    // Six processes at once, two per segment, each recording its scans as fast as it can.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    const QStringList segments{u"192.0.2"_s, u"198.51.100"_s, u"203.0.113"_s};
    constexpr int Processes = 6;
    constexpr int Rounds = 15;
    std::vector<std::unique_ptr<QProcess>> children;
    for (int p = 0; p < Processes; ++p) {
        children.push_back(std::make_unique<QProcess>());
        children.back()->start(QCoreApplication::applicationFilePath(),
                               {u"--record"_s, path, segments[p % 3], QString::number(p + 1), QString::number(Rounds)});
    }
    for (auto& child : children) {
        QVERIFY(child->waitForFinished(60000));
        QVERIFY2(child->exitCode() == 0, child->readAllStandardError().constData());
    }

    QSet<QString> records;
    for (const QByteArray& line : fileBytes(path).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QVERIFY2(!o.isEmpty(), line.constData());
        records << o.value(u"segment"_s).toString() + u' ' + o.value(u"time"_s).toString() + u' ' +
                       o.value(u"gateways"_s).toArray().at(0).toObject().value(u"ip"_s).toString();
    }
    QCOMPARE(records.size(), Processes * Rounds);
}

void TestScanHistory::staleLockTakenOver()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {u"--hold-lock"_s, path});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readAllStandardOutput().trimmed(), QByteArray("locked"));

    // While its holder lives, the lock is respected: nothing is written.
    ScanHistory h(path);
    h.setLockWaitMs(50);
    const Status waited = h.append(scan(kA, 0));
    QVERIFY(!waited.ok());
    QVERIFY2(waited.message().contains(u"Sperrdatei"_s), qPrintable(waited.message()));
    QVERIFY(!QFile::exists(path));

    holder.kill(); // as a crash would: the lock file stays
    QVERIFY(holder.waitForFinished(5000));
    QVERIFY(QFile::exists(path + u".lock"_s));
    h.setLockWaitMs(10000);
    const Status taken = h.append(scan(kA, 1));
    QVERIFY2(taken.ok(), qPrintable(taken.message()));
    compareRecords(*lastOf(path, kA), scan(kA, 1));
}

void TestScanHistory::defaultFileUnderMervane()
{
    ScratchDocuments documents;
    const QString path = scanHistoryPath();
    QCOMPARE(QFileInfo(path).fileName(), u"Telvaro-Scans.jsonl"_s);
    QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(documents.file(u"MERVANE"_s)).absoluteFilePath());
    QVERIFY(!QDir(documents.file(u"MERVANE"_s)).exists());

    const Status appended = ScanHistory(path).append(scan(kA, 0, gws({u"5/0A.1B.2C/1.4.12/a"_s})));
    QVERIFY2(appended.ok(), qPrintable(appended.message()));
    QVERIFY(QFileInfo(documents.file(u"MERVANE/Telvaro-Scans.jsonl"_s)).isFile());
    // Nothing in the folder that other programs read.
    QVERIFY(QDir(SharedFolders::setups()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

int main(int argc, char** argv)
{
    if (argc == 6 && qstrcmp(argv[1], "--record") == 0) {
        // A scan process: `rounds` scans of the segment, each with the gateway at .<number>.
        const QString path = QString::fromLocal8Bit(argv[2]);
        const Segment segment = *Segment::fromText(QString::fromLocal8Bit(argv[3]));
        const int number = atoi(argv[4]);
        ScanHistory history(path);
        for (int round = 0; round < atoi(argv[5]); ++round) {
            ScanRecord r = scan(segment, round, gws({u"%1/0A.1B.2C/1.4.12/a"_s.arg(number)}));
            r.gateways[0].address = QHostAddress(u"%1.%2"_s.arg(segment.text()).arg(number));
            if (const Status s = history.append(r); !s) {
                fprintf(stderr, "%s\n", qPrintable(s.message()));
                return 1;
            }
        }
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--hold-lock") == 0) {
        QCoreApplication app(argc, argv);
        QLockFile lock(QString::fromLocal8Bit(argv[2]) + u".lock"_s);
        if (!lock.lock())
            return 1;
        fputs("locked\n", stdout);
        fflush(stdout);
        // Holds the lock until killed: the test never writes to or closes this process's input.
        (void)std::getchar();
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestScanHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestScanHistory.moc"
