// Setups and scans are written on the store's worker thread: the session's thread goes on while
// the disk is slow, the setups of a segment are written in one batch, a gateway is listed once
// its file is durable, and a scan ends only when everything it found is stored and recorded.
#include "base/SharedFolders.h"
#include "session/GatewaySession.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include "GatewaySimulator.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSemaphore>
#include <QSignalSpy>

#ifndef Q_OS_WIN
#include <utime.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr int Faster = 5;

SimulatedGateway gw(int octet)
{
    return SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.%1"_s.arg(octet)),
                                         GatewayId{{0x0A, 0x1B, quint8(octet)}});
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

// Ages a file; a folder or FIFO too where the platform can (Windows opens only files this way).
bool setAge(const QString& path, qint64 seconds)
{
#ifndef Q_OS_WIN
    const time_t when = time(nullptr) - time_t(seconds);
    const utimbuf times{when, when};
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
#else
    QFile file(path);
    return !QFileInfo(path).isFile() ||
           (file.open(QIODevice::ReadWrite) &&
            file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime));
#endif
}

// A writer that holds every batch until the test lets it go, and notes the batch sizes.
struct GatedWriter
{
    QSemaphore gate;
    QMutex mutex;
    QList<int> batches;

    SessionStore::Writer writer()
    {
        return [this](const QList<FileWrite>& files) {
            {
                QMutexLocker lock(&mutex);
                batches << int(files.size());
            }
            // Bounded, so that a writer wrongly run on the session's thread fails the test
            // instead of hanging it.
            gate.tryAcquire(1, 30000);
            return writeFilesAtomically(files);
        };
    }
    int calls()
    {
        QMutexLocker lock(&mutex);
        return int(batches.size());
    }
};

} // namespace

class TestSessionStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDocuments> m_docs;
    std::unique_ptr<GatewaySimulator> m_sim;
    std::unique_ptr<GatewaySession> m_session;

    void listen(const QList<SimulatedGateway>& gateways)
    {
        QVERIFY2(m_sim->listen(gateways, 0), qPrintable(m_sim->errorString()));
        m_session->setPort(m_sim->port());
        ExchangeTimings timings = ExchangeTimings().scaledDown(Faster);
        timings.verifyWindowMs = 0;
        m_session->setTimings(timings);
    }
    void scan()
    {
        QSignalSpy finished(m_session.get(), &GatewaySession::scanFinished);
        m_session->startScan(Segment{127, 0, 0});
        QVERIFY(finished.wait(20000));
    }

private slots:
    void initTestCase() { qRegisterMetaType<GatewayRow>(); }
    void init()
    {
        m_docs = std::make_unique<ScratchDocuments>();
        m_sim = std::make_unique<GatewaySimulator>();
        m_session = std::make_unique<GatewaySession>();
        m_session->setMasterKey(SimulatedGateway::defaultMasterKey());
        m_session->setSetupsFolder(SharedFolders::setups());
        m_session->setHistoryFile(scanHistoryPath());
    }
    void cleanup()
    {
        m_session.reset();
        m_sim.reset();
        m_docs.reset();
    }

    void slowDiskNeverHoldsTheScan()
    {
        QList<SimulatedGateway> gateways;
        for (int octet = 21; octet <= 40; ++octet)
            gateways << gw(octet);
        listen(gateways);
        GatedWriter disk;
        m_session->store().setWriter(disk.writer());
        QSignalSpy progress(m_session.get(), &GatewaySession::progress);
        QSignalSpy finished(m_session.get(), &GatewaySession::scanFinished);
        QSignalSpy stored(&m_session->store(), &SessionStore::setupStored);

        m_session->startScan(Segment{127, 0, 0});
        // Every address is tried and every answer decoded and listed; the setups then go to the
        // disk in one batch, which is held: the scan has not ended while they are not durable.
        QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty() && progress.last().at(0).toInt() == 255, 20000);
        QCOMPARE(m_session->answerCount(), 20);
        QTRY_COMPARE(disk.calls(), 1);
        QCOMPARE(m_session->list().size(), 20);
        QCOMPARE(finished.count(), 0);
        QCOMPARE(m_session->store().pendingSetups(), 20);
        // Until its file is durable a row says so, and its setup does not open.
        for (const GatewayRow& row : m_session->list().rows()) {
            QCOMPARE(row.stateText(), u"wird gespeichert"_s);
            QVERIFY(row.whyNotOpened().contains(u"wird gerade gespeichert"_s));
        }

        disk.gate.release(1000);
        QVERIFY(finished.wait(20000));
        // The setups of a scan are handed over together: one batch, one wait for the disk.
        QCOMPARE(disk.calls(), 1);
        QCOMPARE(disk.batches.first(), 20);
        QCOMPARE(stored.count(), 20);
        QCOMPARE(m_session->list().size(), 20);
        for (const GatewayRow& row : m_session->list().rows()) {
            QCOMPARE(row.stateText(), u"gespeichert"_s);
            QVERIFY(row.whyNotOpened().isEmpty());
            QVERIFY(QFileInfo::exists(SetupFilePath(SharedFolders::setups(), row.id)));
        }
        // The history is recorded after the setups: every gateway in it as stored.
        const QJsonObject line = QJsonDocument::fromJson(fileBytes(scanHistoryPath()).trimmed()).object();
        const QJsonArray seen = line.value(u"gateways"_s).toArray();
        QCOMPARE(seen.size(), 20);
        for (const QJsonValue& g : seen)
            QCOMPARE(g.toObject().value(u"state"_s).toString(), u"stored"_s);
        QCOMPARE(m_session->changeSummary(), u"erster Scan dieses Segments"_s);
    }

    // A scan stopped by the user (or by opening a row) stores the setups it has received; it is not
    // recorded in the history and does not report an end.
    void stoppedScanStoresWhatItReceived()
    {
        SimulatedGateway silent = gw(23); // holds the scan open for its read window
        silent.behaviour = GatewayBehaviour::Silent;
        listen({gw(21), gw(22), silent});
        QSignalSpy finished(m_session.get(), &GatewaySession::scanFinished);
        m_session->startScan(Segment{127, 0, 0});
        QTRY_COMPARE_WITH_TIMEOUT(m_session->list().size(), 2, 20000);
        m_session->stopScan();
        QTRY_VERIFY_WITH_TIMEOUT(m_session->store().pendingSetups() == 0, 20000);
        for (const GatewayRow& row : m_session->list().rows()) {
            QCOMPARE(row.stateText(), u"gespeichert"_s);
            QVERIFY(QFileInfo::exists(SetupFilePath(SharedFolders::setups(), row.id)));
        }
        QCOMPARE(finished.count(), 0);
        QVERIFY(!QFileInfo::exists(scanHistoryPath()));
    }

    // A setup file the user made read-only is not replaced; the scan lists the gateway with the
    // reason and goes on with the others.
    void readOnlySetupFileNotReplaced()
    {
        listen({gw(21), gw(22)});
        QVERIFY(QDir().mkpath(SharedFolders::setups()));
        const QString locked = SetupFilePath(SharedFolders::setups(), gw(22).id);
        writeBytes(locked, "[NETZWERK]\r\nAORT=Keller\r\n");
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QSignalSpy failed(m_session.get(), &GatewaySession::storeFailed);

        scan();
        QCOMPARE(m_session->list().size(), 2);
        QCOMPARE(m_session->list().rows()[0].state, GatewayRow::State::SetupStored);
        const GatewayRow row = m_session->list().rows()[1];
        QCOMPARE(row.state, GatewayRow::State::SetupNotStored);
        QCOMPARE(row.stored.message(), u"Die Datei %1 konnte nicht gespeichert werden: die Datei ist "
                                       "schreibgeschützt"_s.arg(QDir::toNativeSeparators(locked)));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(fileBytes(locked), QByteArray("[NETZWERK]\r\nAORT=Keller\r\n"));
        QVERIFY(m_session->storeFailureMessage().contains(u"schreibgeschützt"_s));
    }

    void leftoversRemoved_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind"); // "file", "link" (to an old file elsewhere), "folder"
        QTest::addColumn<int>("ageMinutes");
        QTest::addColumn<bool>("removed");
        const QString ours = u".SETUPGW_0A_1B_2C.GWINI.tmp-0123abcd"_s;
        QTest::newRow("ours, two hours old") << ours << u"file"_s << 120 << true;
        QTest::newRow("ours, of another gateway, a day old")
            << u".SETUPGW_FF_00_7E.GWINI.tmp-ffffffff"_s << u"file"_s << 1440 << true;
        QTest::newRow("ours, ten minutes old: a writer may be at work") << ours << u"file"_s << 10 << false;
        QTest::newRow("a link of our name") << ours << u"link"_s << 120 << false;
        QTest::newRow("a folder of our name") << ours << u"folder"_s << 120 << false;
        QTest::newRow("another program's temporary") << u".LISTE.INI.tmp-0123abcd"_s << u"file"_s << 120 << false;
        QTest::newRow("without the dot") << ours.mid(1) << u"file"_s << 120 << false;
        QTest::newRow("a ninth digit") << ours + u'0' << u"file"_s << 120 << false;
        QTest::newRow("upper-case digits") << u".SETUPGW_0A_1B_2C.GWINI.tmp-0123ABCD"_s << u"file"_s << 120 << false;
        QTest::newRow("a setup file itself") << u"SETUPGW_0A_1B_2D.GWINI"_s << u"file"_s << 120 << false;
    }
    void leftoversRemoved()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(int, ageMinutes);
        QFETCH(bool, removed);
        listen({gw(21)});
        QVERIFY(QDir().mkpath(SharedFolders::setups()));
        const QString path = SharedFolders::setups() + name;
        const QString elsewhere = m_docs->file(u"old.txt"_s);
        writeBytes(elsewhere, "alt\n");
        QVERIFY(setAge(elsewhere, 3 * 3600));
        if (kind == u"file"_s) {
            writeBytes(path, "[NETZWERK]\r\n");
        } else {
            PLANT_IN_PLACE(kind, path, elsewhere);
        }
        if (kind != u"link"_s)
            QVERIFY(setAge(path, qint64(ageMinutes) * 60));

        scan();
        QCOMPARE(m_session->list().rows().first().state, GatewayRow::State::SetupStored);
        QCOMPARE(QFileInfo::exists(path) || QFileInfo(path).isSymLink(), !removed);
        QVERIFY(QFileInfo::exists(elsewhere));
    }
};

QTEST_GUILESS_MAIN(TestSessionStore)
#include "TestSessionStore.moc"
