// What a scan saw, kept per segment in a JSON-lines file, and the changes since the previous scan.
#include "base/SharedFolders.h"
#include "session/ScanHistory.h"

#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <unistd.h>

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

} // namespace

class TestScanHistory final : public QObject
{
    Q_OBJECT

private slots:
    void comparison_data();
    void comparison();
    void seenFromRow();
    void roundTripAndFormat();
    void boundedPerSegment();
    void damagedLinesSkipped_data();
    void damagedLinesSkipped();
    void refusedFiles_data();
    void refusedFiles();
    void appendRefusesLinkPutInPlace();
    void appendKeepsScansOfAnotherProgram();
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
    Result<ScanHistory> h = ScanHistory::load(path);
    QVERIFY2(h.ok(), qPrintable(h.message()));
    QVERIFY(h->scans().isEmpty());
    QVERIFY(!h->last(kA));
    QVERIFY(!QFile::exists(path)); // loading writes nothing

    ScanRecord first = scan(kA, 0, gws({u"5/0A.1B.2C/1.4.12/a"_s, u"6/0A.1B.2D"_s}));
    first.gateways[1].state = u"incomplete"_s;
    ScanRecord utc = scan(kB, 1, gws({u"9/00.00.09/2.0.1/f"_s}));
    utc.time = QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58, 250), QTimeZone::utc());
    const ScanRecord empty = scan(kA, 2);
    for (const ScanRecord& s : {first, utc, empty}) {
        const Status appended = h->append(s);
        QVERIFY2(appended.ok(), qPrintable(appended.message()));
    }

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

    Result<ScanHistory> again = ScanHistory::load(path);
    QVERIFY2(again.ok(), qPrintable(again.message()));
    QCOMPARE(again->scans().size(), 3);
    QCOMPARE(again->skippedLines(), 0);
    compareRecords(*again->last(kA), empty);
    compareRecords(*again->last(kB), utc);
    compareRecords(again->scans().first(), first);
    compareRecords(*h->last(kA), empty);
    QVERIFY(!again->last(Segment{10, 1, 1}));
}

void TestScanHistory::boundedPerSegment()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    Result<ScanHistory> h = ScanHistory::load(path);
    QVERIFY(h.ok());
    const int extra = 7;
    for (int i = 0; i < ScanHistory::MaxScansPerSegment + extra; ++i) {
        QVERIFY(h->append(scan(kA, i, gws({u"5/0A.1B.2C/1.4.%1/a"_s.arg(i % 50)}))).ok());
        if (i % 40 == 0)
            QVERIFY(h->append(scan(kB, i)).ok());
    }

    Result<ScanHistory> again = ScanHistory::load(path);
    QVERIFY(again.ok());
    QList<int> minutesA, minutesB;
    for (const ScanRecord& s : again->scans())
        (s.segment == kA ? minutesA : minutesB) << int(scan(kA, 0).time.secsTo(s.time) / 60);
    QCOMPARE(minutesA.size(), ScanHistory::MaxScansPerSegment);
    QCOMPARE(minutesA.first(), extra); // the oldest went
    QCOMPARE(minutesA.last(), ScanHistory::MaxScansPerSegment + extra - 1);
    QCOMPARE(minutesB, (QList<int>{0, 40, 80})); // the other segment untouched
    QCOMPARE(again->last(kA)->time, scan(kA, ScanHistory::MaxScansPerSegment + extra - 1).time);
    QCOMPARE(h->scans().size(), again->scans().size());
}

void TestScanHistory::damagedLinesSkipped_data()
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
    QTest::newRow("segment of two octets")
        << QByteArray(R"({"segment":"192.0","time":"2024-05-17T09:05:00+02:00","gateways":[]})");
    QTest::newRow("segment octet 300") << QByteArray(
        R"({"segment":"192.0.300","time":"2024-05-17T09:05:00+02:00","gateways":[]})");
    QTest::newRow("no time") << QByteArray(R"({"segment":"192.0.2","gateways":[]})");
    QTest::newRow("time not a date") << QByteArray(R"({"segment":"192.0.2","time":"gestern","gateways":[]})");
    QTest::newRow("gateways not an array")
        << QByteArray(R"({"segment":"192.0.2","time":"2024-05-17T09:05:00+02:00","gateways":{}})");
    QTest::newRow("gateway not an object") << withGateway("17");
    QTest::newRow("bad ip") << withGateway(QByteArray(gwOk).replace("192.0.2.5", "192.0.2.256"));
    QTest::newRow("IPv6") << withGateway(QByteArray(gwOk).replace("192.0.2.5", "::1"));
    QTest::newRow("bad gwid") << withGateway(QByteArray(gwOk).replace("0A.1B.2C", "0A.1B"));
    QTest::newRow("bad firmware") << withGateway(QByteArray(gwOk).replace("1.4.12", "neu"));
    QTest::newRow("bad state") << withGateway(QByteArray(gwOk).replace("\"stored\"", "\"gespeichert\""));
    QTest::newRow("short hash") << withGateway(QByteArray(gwOk).replace("\"setupHash\":\"\"", "\"setupHash\":\"abc\""));
    QTest::newRow("state a number") << withGateway(QByteArray(gwOk).replace("\"stored\"", "3"));
    QTest::newRow("missing key") << withGateway(QByteArray(gwOk).replace(",\"setupHash\":\"\"", ""));
}

void TestScanHistory::damagedLinesSkipped()
{
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    const ScanRecord good1 = scan(kA, 0, gws({u"5/0A.1B.2C/1.4.12/a"_s}));
    const ScanRecord good2 = scan(kA, 1, gws({u"6/0A.1B.2C/1.4.12/a"_s}));
    {
        Result<ScanHistory> h = ScanHistory::load(path);
        QVERIFY(h.ok());
        QVERIFY(h->append(good1).ok());
        QVERIFY(h->append(good2).ok());
    }
    const QList<QByteArray> lines = fileBytes(path).split('\n');
    // Damage in the middle, with Windows line ends and a blank line that is no damage.
    writeBytes(path, lines[0] + "\r\n" + line + "\r\n\r\n" + lines[1] + "\r\n");

    Result<ScanHistory> h = ScanHistory::load(path);
    QVERIFY2(h.ok(), qPrintable(h.message()));
    QCOMPARE(h->scans().size(), 2);
    QCOMPARE(h->skippedLines(), 1);
    compareRecords(*h->last(kA), good2);

    const ScanRecord third = scan(kA, 2);
    QVERIFY(h->append(third).ok());
    QCOMPARE(fileBytes(path).count('\n'), 3);
    QVERIFY(!fileBytes(path).contains(line));
    Result<ScanHistory> again = ScanHistory::load(path);
    QCOMPARE(again->skippedLines(), 0);
    compareRecords(*again->last(kA), third);
}

void TestScanHistory::refusedFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << u"fifo"_s;
    QTest::newRow("link to a good file") << u"link"_s;
    QTest::newRow("dangling link") << u"dangling"_s;
    QTest::newRow("folder") << u"folder"_s;
    QTest::newRow("too large") << u"large"_s;
}

void TestScanHistory::refusedFiles()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    const QString target = dir.filePath(u"real.jsonl"_s);
    {
        Result<ScanHistory> h = ScanHistory::load(target);
        QVERIFY(h.ok());
        QVERIFY(h->append(scan(kA, 0)).ok());
    }
    const QByteArray targetBytes = fileBytes(target);
    if (kind == u"large") {
        writeBytes(path, "{}\n");
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), ScanHistory::MaxFileBytes + 1), 0); // sparse
    } else {
        PLANT_IN_PLACE(kind, path, kind == u"dangling"_s ? dir.filePath(u"none"_s) : target);
    }

    // A FIFO without a writer would block a reader that opened it; this returns at once.
    const Result<ScanHistory> h = ScanHistory::load(path);
    QVERIFY(!h.ok());
    QVERIFY2(h.message().contains(QDir::toNativeSeparators(path)), qPrintable(h.message()));
    QCOMPARE(fileBytes(target), targetBytes);
    QVERIFY(!QFile::exists(dir.filePath(u"none"_s)));
}

void TestScanHistory::appendRefusesLinkPutInPlace()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    const QString target = dir.filePath(u"elsewhere.txt"_s);
    Result<ScanHistory> h = ScanHistory::load(path);
    QVERIFY(h.ok());
    QVERIFY(h->append(scan(kA, 0)).ok());
    writeBytes(target, "fremd\n");
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::link(target, path));

    const Status appended = h->append(scan(kA, 1));
    QVERIFY(!appended.ok());
    QVERIFY2(appended.message().contains(QDir::toNativeSeparators(path)), qPrintable(appended.message()));
    QCOMPARE(fileBytes(target), QByteArray("fremd\n"));
    QVERIFY(QFileInfo(path).isSymLink());
    QCOMPARE(h->scans().size(), 1); // unchanged after the failure
}

void TestScanHistory::appendKeepsScansOfAnotherProgram()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"scans.jsonl"_s);
    Result<ScanHistory> window = ScanHistory::load(path);
    Result<ScanHistory> commandLine = ScanHistory::load(path);
    QVERIFY(window.ok() && commandLine.ok());
    QVERIFY(window->append(scan(kA, 0)).ok());
    QVERIFY(commandLine->append(scan(kB, 1)).ok());
    QVERIFY(window->append(scan(kA, 2)).ok());

    Result<ScanHistory> again = ScanHistory::load(path);
    QCOMPARE(again->scans().size(), 3);
    QVERIFY(again->last(kB));
    QVERIFY(window->last(kB));
}

void TestScanHistory::defaultFileUnderMervane()
{
    ScratchDocuments documents;
    const QString path = scanHistoryPath();
    QCOMPARE(QFileInfo(path).fileName(), u"Telvaro-Scans.jsonl"_s);
    QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(documents.file(u"MERVANE"_s)).absoluteFilePath());
    QVERIFY(!QDir(documents.file(u"MERVANE"_s)).exists());

    Result<ScanHistory> h = ScanHistory::load(path);
    QVERIFY2(h.ok(), qPrintable(h.message()));
    const Status appended = h->append(scan(kA, 0, gws({u"5/0A.1B.2C/1.4.12/a"_s})));
    QVERIFY2(appended.ok(), qPrintable(appended.message()));
    QVERIFY(QFileInfo(documents.file(u"MERVANE/Telvaro-Scans.jsonl"_s)).isFile());
    // Nothing in the folder that other programs read.
    QVERIFY(QDir(SharedFolders::setups()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

QTEST_GUILESS_MAIN(TestScanHistory)
#include "TestScanHistory.moc"
