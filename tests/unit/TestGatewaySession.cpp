// The gateway session without any window: a scan lists and stores, a setup file goes back to the
// gateway it was read from, and every refusal and transfer outcome is one value with one message.
#include "base/IniFile.h"
#include "base/SharedFolders.h"
#include "session/GatewaySession.h"
#include "session/ScanExplanation.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include "GatewaySimulator.h"
#include "Gateways.h"
#include "ProcessProbe.h"
#include "SetupFileEdits.h"
#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace {

const GatewayId Id2C{{0x0A, 0x1B, 0x2C}};

const QHostAddress Host21(u"127.0.0.21"_s);

} // namespace

class TestGatewaySession : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDocuments> m_docs;
    std::unique_ptr<GatewaySimulator> m_sim;
    std::unique_ptr<GatewaySession> m_session;

    void listen(const QList<SimulatedGateway>& gateways, int verifyTimeoutMs = 0)
    {
        QVERIFY2(m_sim->listen(gateways, 0), qPrintable(m_sim->errorString()));
        m_session->setPort(m_sim->port());
        ExchangeTimings timings = fastTimings();
        timings.verifyWindowMs = verifyTimeoutMs;
        m_session->setTimings(timings);
    }
    void scan()
    {
        QSignalSpy finished(m_session.get(), &GatewaySession::scanFinished);
        m_session->startScan(Segment{127, 0, 0});
        QVERIFY(finished.wait(20000));
    }
    void read(const QHostAddress& host)
    {
        QSignalSpy read(m_session.get(), &GatewaySession::gatewayRead);
        m_session->readGateway(host);
        QVERIFY(read.wait(10000));
    }
    SetupTransfer::Report sendAndWait(const QHostAddress& host, const GatewayId& id)
    {
        QSignalSpy finished(m_session.get(), &GatewaySession::transferFinished);
        const Status started = m_session->sendSetupFile(host, id, id);
        if (!started)
            qFatal("not started: %s", qPrintable(started.message()));
        if (!finished.wait(10000))
            qFatal("no outcome");
        QTest::qWait(50);
        if (finished.count() != 1)
            qFatal("%d outcomes", int(finished.count()));
        return finished.first().first().value<SetupTransfer::Report>();
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<SetupVerifier::Report>();
        qRegisterMetaType<SetupTransfer::Report>();
        qRegisterMetaType<GatewayRead>();
        qRegisterMetaType<GatewayRow>();
    }
    void init()
    {
        m_docs = std::make_unique<ScratchDocuments>();
        m_sim = std::make_unique<GatewaySimulator>();
        m_session = std::make_unique<GatewaySession>();
        m_session->setMasterKey(SimulatedGateway::defaultMasterKey());
        m_session->setSetupsFolder(SharedFolders::setups());
    }
    void cleanup()
    {
        m_session.reset();
        m_sim.reset();
        m_docs.reset();
    }

    // The whole path of one gateway: scan, its setup stored, the file edited by another program,
    // sent back, acknowledged; the gateway holds the file's values and its own reserved bytes.
    void scanStoreEditSend()
    {
        SimulatedGateway g = gw(21, 0x2C);
        g.record.setFirmwareVersion({3, 1, 7});
        listen({g});
        scan();
        QCOMPARE(m_session->list().size(), 1);
        const QString file = SetupFilePath(SharedFolders::setups(), Id2C);
        QVERIFY(editSetupFile(file, {{u"NETZWERK/PORT"_s, u"5123"_s}}));
        const SetupTransfer::Report report = sendAndWait(Host21, Id2C);
        QVERIFY(report.acknowledged());
        QCOMPARE(report.message(), u"Die Übertragung war erfolgreich!"_s);
        QCOMPARE(m_sim->received().size(), 1);
        const GWSetupRecord got = m_sim->received().first().record;
        GWSetupRecord expected = g.record;
        expected.setServerPort(5123);
        QCOMPARE(got, expected); // reserved bytes and firmware 3.1.7 as the gateway reported them
    }

    void rowsOfAScan_data()
    {
        QTest::addColumn<int>("behaviour"); // -1: nothing listens at .21
        QTest::addColumn<bool>("listed");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("answers");
        using S = GatewayRow::State;
        using B = GatewayBehaviour;
        QTest::newRow("setup") << int(B::Normal) << true << int(S::SetupStored) << u"1.4.12"_s << true << u"gateway"_s
                               << 1;
        QTest::newRow("in two parts") << int(B::Split) << true << int(S::SetupStored) << u"1.4.12"_s << true
                                      << u"gateway"_s << 1;
        QTest::newRow("another master key")
            << int(B::WrongKey) << true << int(S::OtherKey) << u"???"_s << false << u"other-key"_s << 1;
        QTest::newRow("another type") << int(B::OtherType) << true << int(S::OtherType) << QString() << false
                                      << u"other-type"_s << 1;
        QTest::newRow("cut off after the header") << int(B::ResetMidFrame) << true << int(S::Incomplete)
                                                  << u"(unvollständig)"_s << false << u"incomplete"_s << 1;
        QTest::newRow("nine bytes") << int(B::Short) << false << 0 << QString() << false << u"incomplete"_s << 1;
        QTest::newRow("silent") << int(B::Silent) << false << 0 << QString() << false << u"silent"_s << 0;
        QTest::newRow("closes at once") << int(B::Close) << false << 0 << QString() << false << u"closed"_s << 0;
        QTest::newRow("nothing listens") << -1 << false << 0 << QString() << false << u"refused"_s << 0;
    }
    void rowsOfAScan()
    {
        QFETCH(int, behaviour);
        QFETCH(bool, listed);
        QFETCH(int, state);
        QFETCH(QString, firmware);
        QFETCH(bool, stored);
        QFETCH(QString, kind);
        QFETCH(int, answers);
        QList<SimulatedGateway> gateways{gw(22, GatewayBehaviour::Normal, 0x2D)};
        if (behaviour >= 0)
            gateways << gw(21, GatewayBehaviour(behaviour), 0x2C);
        listen(gateways);
        scan();
        const GatewayRow* row = m_session->list().find(Host21);
        QCOMPARE(row != nullptr, listed);
        if (row) {
            QCOMPARE(int(row->state), state);
            QCOMPARE(row->firmwareText(), firmware);
            QCOMPARE(row->gwidText(), u"0A.1B.2C"_s);
        }
        QCOMPARE(QFile::exists(SetupFilePath(SharedFolders::setups(), Id2C)), stored);
        QCOMPARE(m_session->answerCount(), answers + 1);
        GatewaySession::Counts counts = m_session->counts();
        int total = 0;
        for (int n : counts)
            total += n;
        QCOMPARE(total, 255);
        for (int k = 0; k < 8; ++k)
            if (kindKey(GatewayRead::Kind(k)) == kind)
                QVERIFY(counts[k] >= 1);
        QVERIFY(m_session->storeFailures().isEmpty());
    }

    // A setup that cannot be written stays listed, marked, with the reason.
    void storeFailureKeepsTheRowWithItsReason()
    {
        const SimulatedGateway g = gw(21, 0x2C);
        listen({g});
        QVERIFY(QDir().mkpath(SetupFilePath(SharedFolders::setups(), Id2C))); // a folder in the file's place
        QSignalSpy failed(m_session.get(), &GatewaySession::storeFailed);
        scan();
        QCOMPARE(failed.count(), 1);
        const GatewayRow row = failed.first().first().value<GatewayRow>();
        QCOMPARE(row.state, GatewayRow::State::SetupNotStored);
        QCOMPARE(row.firmwareText(), u"1.4.12 (nicht gespeichert)"_s);
        QCOMPARE(row.stored.message(), SetupRecordToFile(SharedFolders::setups(), Id2C, g.record).message());
        QCOMPARE(m_session->storeFailures().size(), 1);
        QCOMPARE(m_session->list().size(), 1);
        QCOMPARE(m_session->answerCount(), 1);
    }

    void sendRefused_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<bool>("readFirst");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("message");
        using B = GatewayBehaviour;
        const QString none = u" Es wurde nichts gesendet."_s;
        QTest::newRow("never read") << int(B::Normal) << false << u"0A.1B.2C"_s
                                    << u"Von 127.0.0.21 wurde in dieser Sitzung kein Setup gelesen."_s + none;
        QTest::newRow("another master key")
            << int(B::WrongKey) << true << u"0A.1B.2C"_s
            << u"Das Gateway 0A.1B.2C an 127.0.0.21 verwendet einen anderen Master Key."_s + none;
        QTest::newRow("another type")
            << int(B::OtherType) << true << u"0A.1B.2C"_s
            << u"Das Gateway 0A.1B.2C an 127.0.0.21 hat kein Setup gemeldet (Telegrammtyp 21)."_s + none;
        QTest::newRow("answer cut off") << int(B::ResetMidFrame) << true << u"0A.1B.2C"_s
                                        << u"Die Antwort des Gateways 0A.1B.2C an 127.0.0.21 war unvollständig."_s +
                                               none;
        QTest::newRow("nine bytes") << int(B::Short) << true << u"0A.1B.2C"_s
                                    << u"Von 127.0.0.21 kam kein Setup (keine gültige Antwort)."_s + none;
        QTest::newRow("no answer") << int(B::Silent) << true << u"0A.1B.2C"_s
                                   << u"Von 127.0.0.21 kam kein Setup (keine gültige Antwort)."_s + none;
        QTest::newRow("another gateway")
            << int(B::Normal) << true << u"0A.1B.99"_s
            << u"An der Adresse 127.0.0.21 meldet sich das Gateway 0A.1B.2C statt 0A.1B.99."_s + none;
        QTest::newRow("fixed address is its subnet's network address")
            << int(B::Normal) << true << u"0A.1B.2C/fixed-network"_s
            << u"Die feste IP-Adresse 127.0.0.0 ist die Netzadresse ihres Netzes (Subnetzmaske 255.255.255.0); ein "
               u"Gateway kann sie nicht haben."_s +
                   none;
    }
    void sendRefused()
    {
        QFETCH(int, behaviour);
        QFETCH(bool, readFirst);
        QFETCH(QString, target);
        QFETCH(QString, message);
        listen({gw(21, GatewayBehaviour(behaviour), 0x2C)});
        const GatewayId id = *GatewayId::fromText(target.section(u'/', 0, 0));
        // A stored file for the target: what is refused is the gateway, never the file, unless the
        // file's setup is one no gateway can live with.
        QVERIFY(SharedFolders::ensureFolder(SharedFolders::setups()));
        GWSetupRecord record = gw(21, 0x2C).record;
        if (target.endsWith(u"/fixed-network"_s)) {
            record.setNetworkFlag(GWSetupRecord::Dhcp, false);
            record.setFixedIp({127, 0, 0, 0});
            record.setSubnetMask({255, 255, 255, 0});
        }
        QVERIFY(SetupRecordToFile(SharedFolders::setups(), id, record));
        if (readFirst)
            read(Host21);
        QSignalSpy started(m_session.get(), &GatewaySession::transferStarted);
        const Status sent = m_session->sendSetupFile(Host21, id, id);
        QVERIFY(!sent);
        QCOMPARE(sent.message(), message);
        QTest::qWait(100);
        QCOMPARE(started.count(), 0);
        QCOMPARE(m_sim->received().size(), 0);
    }

    void sendRefusedWhenTheFileDoesNotConvert()
    {
        listen({gw(21, 0x2C)});
        read(Host21);
        QVERIFY(SharedFolders::ensureFolder(SharedFolders::setups()));
        const QString file = SetupFilePath(SharedFolders::setups(), Id2C);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[NETZWERK]\r\nFEST_IP=1.2.x.4\r\n");
        f.close();
        const Status sent = m_session->sendSetupFile(Host21, Id2C, Id2C);
        QVERIFY(!sent);
        QVERIFY2(sent.message().contains(u"FEST_IP"_s), qPrintable(sent.message()));
        QCOMPARE(m_sim->received().size(), 0);
    }

    // The read before a send is only a read: the file that is to be sent stays as it is.
    void readWritesNoFile()
    {
        listen({gw(21, 0x2C)});
        QVERIFY(SharedFolders::ensureFolder(SharedFolders::setups()));
        const QString file = SetupFilePath(SharedFolders::setups(), Id2C);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[NETZWERK]\r\nPORT=5555\r\n");
        f.close();
        read(Host21);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), "[NETZWERK]\r\nPORT=5555\r\n"_ba);
        QCOMPARE(m_session->list().size(), 0);
    }

    // One full table of what a gateway does with a setup and what the session reports.
    void transferOutcomes_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<bool>("closeAfterRead");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("received");
        using B = GatewayBehaviour;
        using O = SetupTransfer::Outcome;
        QTest::newRow("acknowledged") << int(B::Normal) << false << int(O::Acknowledged) << 1;
        QTest::newRow("06 and more") << int(B::AckPlus) << false << int(O::Acknowledged) << 1;
        QTest::newRow("NAK") << int(B::Nak) << false << int(O::NotAcknowledged) << 1;
        QTest::newRow("no acknowledgement") << int(B::NoAck) << false << int(O::NotAcknowledged) << 1;
        QTest::newRow("acknowledgement after its window") << int(B::LateAck) << false << int(O::NotAcknowledged) << 1;
        QTest::newRow("write answer too short") << int(B::WriteShort) << false << int(O::NoAnswer) << 0;
        QTest::newRow("gone after the read") << int(B::Normal) << true << int(O::Refused) << 0;
    }
    void transferOutcomes()
    {
        QFETCH(int, behaviour);
        QFETCH(bool, closeAfterRead);
        QFETCH(int, outcome);
        QFETCH(int, received);
        listen({gw(21, GatewayBehaviour(behaviour), 0x2C)});
        scan();
        if (closeAfterRead)
            m_sim->close();
        settleDeletions();
        const int fdsBefore = openDescriptors();
        const SetupTransfer::Report report = sendAndWait(Host21, Id2C);
        const QString message =
            report.acknowledged() ? u"Die Übertragung war erfolgreich!"_s : u"Die Übertragung war NICHT erfolgreich!"_s;
        // Everything the transfer opened is closed again (the simulator's side aside: it listens on).
        QTRY_VERIFY_WITH_TIMEOUT((settleDeletions(), openDescriptors() <= fdsBefore), 6000);
        if (qEnvironmentVariableIsSet("TELVARO_HARDENING_REPORT")) {
            const auto said = [](int o, qsizetype sent) {
                SetupTransfer::Report r;
                r.outcome = SetupTransfer::Outcome(o);
                return u"%1, %2 sent"_s.arg(r.acknowledged() ? u"bestätigt"_s : r.reason()).arg(sent);
            };
            qInfo().noquote() << u"HARDENING|transfer: %1|%2|%3"_s.arg(
                QString::fromUtf8(QTest::currentDataTag()), said(outcome, received),
                said(int(report.outcome), m_sim->received().size()));
        }
        QCOMPARE(int(report.outcome), outcome);
        QCOMPARE(report.message(), message);
        QCOMPARE(m_sim->received().size(), received);
        QVERIFY(!m_session->transferRunning());
    }

    // Another gateway took the address between the read and the transfer: nothing is sent.
    void anotherGatewayAtTransferTime()
    {
        listen({gw(21, 0x2C)});
        const quint16 port = m_sim->port();
        scan();
        m_sim->close();
        QVERIFY(m_sim->listen({gw(21, GatewayBehaviour::Normal, 0x77)}, port));
        const SetupTransfer::Report report = sendAndWait(Host21, Id2C);
        QCOMPARE(report.outcome, SetupTransfer::Outcome::OtherGateway);
        QCOMPARE(report.message(), u"Die Übertragung war NICHT erfolgreich!\nAn der Adresse 127.0.0.21 meldet sich das "
                                   u"Gateway 0A.1B.77 statt 0A.1B.2C; es wurde nichts gesendet."_s);
        QCOMPARE(m_sim->received().size(), 0);
    }

    void secondTransferToTheSameGatewayWaits()
    {
        listen({gw(21, GatewayBehaviour::LateAck, 0x2C)});
        scan();
        QSignalSpy finished(m_session.get(), &GatewaySession::transferFinished);
        QVERIFY(m_session->sendSetupFile(Host21, Id2C, Id2C));
        const Status second = m_session->sendSetupFile(Host21, Id2C, Id2C);
        QVERIFY(!second);
        QCOMPARE(second.message(), u"Es läuft bereits eine Übertragung; bitte auf ihr Ergebnis warten."_s);
        QVERIFY(finished.wait(10000));
        QTest::qWait(100);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(m_sim->received().size(), 1);
    }

    // After the acknowledgement the gateway is read back and compared field by field.
    void readBack_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<int>("verifyMs");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("status");
        using B = GatewayBehaviour;
        using R = SetupVerifier::Report::Result;
        QTest::newRow("takes the setup")
            << int(B::Normal) << 1000 << int(R::Verified)
            << QStringList{u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) meldet das gesendete Setup."_s}
            << u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) meldet das gesendete Setup."_s;
        QTest::newRow("acknowledges, keeps its old setup")
            << int(B::KeepsOld) << 300 << int(R::Differs)
            << QStringList{u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) meldet ein anderes Setup als gesendet:"_s,
                           u"Server (DNS Name oder IP Adresse): gesendet neu.example.net, gelesen collector.mbus.lan"_s,
                           u"Server Port: gesendet 5099, gelesen 4711"_s}
            << u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) meldet ein anderes Setup als gesendet (2 Felder "
               u"abweichend)."_s;
        QTest::newRow("stores one field changed")
            << int(B::ChangesField) << 300 << int(R::Differs)
            << QStringList{u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) meldet ein anderes Setup als gesendet:"_s,
                           u"Server Port: gesendet 5099, gelesen 5100"_s}
            << u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) meldet ein anderes Setup als gesendet (1 Feld "
               u"abweichend)."_s;
        QTest::newRow("answers with a key neither side knows")
            << -1 << 300 << int(R::NoAnswer)
            << QStringList{u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) antwortet mit einem unbekannten Master "
                           u"Key; ob es das Setup übernommen hat, ist nicht bestätigt."_s}
            << u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) antwortet mit einem unbekannten Master Key; ob es das "
               u"Setup übernommen hat, ist nicht bestätigt."_s;
        QTest::newRow("restarts longer than the window")
            << int(B::LongRestart) << 1000 << int(R::NoAnswer)
            << QStringList{u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) hat innerhalb von 1 s kein Setup gemeldet; "
                           u"ob "
                           u"es das Setup übernommen hat, ist nicht bestätigt."_s}
            << u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) hat innerhalb von 1 s kein Setup gemeldet; ob es das "
               u"Setup übernommen hat, ist nicht bestätigt."_s;
    }
    void readBack()
    {
        QFETCH(int, behaviour);
        QFETCH(int, verifyMs);
        QFETCH(int, result);
        QFETCH(QStringList, lines);
        QFETCH(QString, status);
        // -1: takes the setup, then answers with a key that is neither the old nor the sent one.
        listen({gw(21, behaviour < 0 ? GatewayBehaviour::Normal : GatewayBehaviour(behaviour), 0x2C)}, verifyMs);
        if (behaviour < 0)
            connect(m_sim.get(), &GatewaySimulator::setupReceived, this,
                    [this] { m_sim->setBehaviour(Host21, GatewayBehaviour::WrongKey); });
        scan();
        const QString file = SetupFilePath(SharedFolders::setups(), Id2C);
        QVERIFY(editSetupFile(file, {{u"NETZWERK/PORT"_s, u"5099"_s}, {u"NETZWERK/SRV_DNS"_s, u"neu.example.net"_s}}));
        QSignalSpy verified(m_session.get(), &GatewaySession::verificationFinished);
        QVERIFY(sendAndWait(Host21, Id2C).acknowledged());
        QVERIFY(verified.count() == 1 || verified.wait(verifyMs + 6000));
        const auto report = verified.first().first().value<SetupVerifier::Report>();
        QCOMPARE(int(report.result), result);
        QCOMPARE(report.lines(), lines);
        QCOMPARE(report.statusLine(), status);
        const GatewayRow* row = m_session->list().find(Host21);
        QVERIFY(row);
        QCOMPARE(row->verificationText(), result == int(SetupVerifier::Report::Result::Verified)  ? u"ja"_s
                                          : result == int(SetupVerifier::Report::Result::Differs) ? u"abweichend"_s
                                                                                                  : u"keine Antwort"_s);
        QVERIFY(!m_session->transferRunning());
    }

    // A new master key: the gateway is read with it, and the session says so; the list keeps the
    // gateway and its file is rewritten from what it reports.
    void readBackWithTheNewKey()
    {
        SimulatedGateway g = gw(21, 0x2C);
        g.restartDelayMs = 300;
        listen({g}, 4000);
        scan();
        const QString file = SetupFilePath(SharedFolders::setups(), Id2C);
        QVERIFY(editSetupFile(file, {{u"NETZWERK/MASTERKEY"_s, u"00112233445566778899AABBCCDDEEFF"_s}}));
        QSignalSpy verified(m_session.get(), &GatewaySession::verificationFinished);
        QVERIFY(sendAndWait(Host21, Id2C).acknowledged());
        QVERIFY(verified.wait(10000));
        const auto report = verified.first().first().value<SetupVerifier::Report>();
        QCOMPARE(report.result, SetupVerifier::Report::Result::Verified);
        QVERIFY(report.newKey);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(report.key.data()), 16).toHex().toUpper(),
                 "00112233445566778899AABBCCDDEEFF"_ba);
        QCOMPARE(m_session->masterKey(), SimulatedGateway::defaultMasterKey()); // the window decides
        QCOMPARE(IniFile::load(file).value().readString(u"NETZWERK"_s, u"MASTERKEY"_s),
                 u"00112233445566778899AABBCCDDEEFF"_s);
    }

    // A new fixed address inside the segment, DHCP off: the gateway is found there, its row moves
    // and its file is rewritten from what it reports.
    void readBackAtTheNewAddress()
    {
        SimulatedGateway g = gw(21, 0x2C);
        g.restartDelayMs = 300;
        listen({g}, 4000);
        scan();
        const QString file = SetupFilePath(SharedFolders::setups(), Id2C);
        QVERIFY(editSetupFile(file, {{u"NETZWERK/DHCP"_s, u"0"_s},
                                     {u"NETZWERK/FEST_IP"_s, u"127.000.000.042"_s},
                                     {u"NETZWERK/AORT"_s, u"Keller"_s}}));
        QSignalSpy verified(m_session.get(), &GatewaySession::verificationFinished);
        QVERIFY(sendAndWait(Host21, Id2C).acknowledged());
        QVERIFY(verified.wait(10000));
        const auto report = verified.first().first().value<SetupVerifier::Report>();
        QCOMPARE(report.result, SetupVerifier::Report::Result::Verified);
        QVERIFY(report.moved());
        QCOMPARE(report.answeredFrom, QHostAddress(u"127.0.0.42"_s));
        QCOMPARE(report.lines().last(), u"Es antwortet jetzt unter der Adresse 127.0.0.42."_s);
        QVERIFY(!m_session->list().find(Host21));
        const GatewayRow* row = m_session->list().find(QHostAddress(u"127.0.0.42"_s));
        QVERIFY(row);
        QCOMPARE(row->verificationText(), u"ja"_s);
        const IniFile ini = IniFile::load(file).value();
        QCOMPARE(ini.readString(u"NETZWERK"_s, u"FEST_IP"_s), u"127.000.000.042"_s);
        QCOMPARE(ini.readString(u"NETZWERK"_s, u"AORT"_s), u"Keller"_s);
        // The gateway can be sent to at its new address.
        QVERIFY(m_session->lastRead(QHostAddress(u"127.0.0.42"_s)));
    }

    // Addresses the read-back never contacts: outside the segment, the segment's .0 or .255 (a /16
    // mask makes .255 a host address), and a gateway told to take its address by DHCP is looked for
    // at its old address only.
    void readBackAddresses_data()
    {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("elsewhere");
        QTest::addColumn<QString>("last");
        QTest::newRow("fixed address outside the segment")
            << QStringList{u"NETZWERK/DHCP"_s, u"0"_s, u"NETZWERK/FEST_IP"_s, u"192.000.002.005"_s} << u"192.0.2.5"_s
            << u"Die neue feste Adresse 192.0.2.5 liegt außerhalb des abgesuchten Segments und wurde nicht "
               u"abgefragt."_s;
        QTest::newRow("fixed address on the segment's .255")
            << QStringList{u"NETZWERK/DHCP"_s,    u"0"_s,
                           u"NETZWERK/FEST_IP"_s, u"127.000.000.255"_s,
                           u"NETZWERK/SUB_IP"_s,  u"255.255.000.000"_s}
            << u"127.0.0.255"_s
            << u"Die neue feste Adresse 127.0.0.255 ist Netz- oder Broadcast-Adresse des abgesuchten Segments und "
               u"wurde nicht abgefragt."_s;
        QTest::newRow("DHCP switched on") << QStringList{u"NETZWERK/DHCP"_s, u"1"_s} << QString()
                                          << u"Das Gateway bezieht seine Adresse jetzt per DHCP; der nächste Scan "
                                             u"findet es an seiner GWID 0A.1B.2C."_s;
    }
    void readBackAddresses()
    {
        QFETCH(QStringList, edits);
        QFETCH(QString, elsewhere);
        QFETCH(QString, last);
        SimulatedGateway g = gw(21, GatewayBehaviour::LongRestart, 0x2C);
        g.record.setNetworkFlag(GWSetupRecord::Dhcp, false);
        g.record.setFixedIp({127, 0, 0, 21});
        listen({g}, 300);
        scan();
        const QString file = SetupFilePath(SharedFolders::setups(), Id2C);
        QList<std::pair<QString, QString>> changes;
        for (int i = 0; i + 1 < edits.size(); i += 2)
            changes.append({edits[i], edits[i + 1]});
        QVERIFY(editSetupFile(file, changes));
        QSignalSpy verified(m_session.get(), &GatewaySession::verificationFinished);
        QVERIFY(sendAndWait(Host21, Id2C).acknowledged());
        QVERIFY(verified.wait(8000));
        const auto report = verified.first().first().value<SetupVerifier::Report>();
        QCOMPARE(report.result, SetupVerifier::Report::Result::NoAnswer);
        QCOMPARE(report.fixedElsewhere ? report.fixedElsewhere->toString() : QString(), elsewhere);
        QCOMPARE(report.lines().last(), last);
    }

    // What a scan keeps: the setup files and the history, or (read only, for a dry run) nothing; a
    // gateway ID that two addresses report is stored for neither, and nothing is sent to either.
    void whatAScanKeeps_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("twins");
        QTest::addColumn<bool>("stored");   // the file of 0A.1B.2C
        QTest::addColumn<bool>("recorded"); // the history
        QTest::newRow("stores and records") << false << false << true << true;
        QTest::newRow("read only keeps nothing") << true << false << false << false;
        QTest::newRow("one ID at two addresses") << false << true << false << true;
    }
    void whatAScanKeeps()
    {
        QFETCH(bool, readOnly);
        QFETCH(bool, twins);
        QFETCH(bool, stored);
        QFETCH(bool, recorded);
        const QString history = SharedFolders::mervane() + u"Telvaro-Scans.jsonl"_s;
        m_session->setHistoryFile(history);
        QList<SimulatedGateway> gateways{gw(21, 0x2C), gw(23, GatewayBehaviour::Normal, 0x2E)};
        if (twins)
            gateways << gw(22, 0x2C); // the same ID as .21
        listen(gateways);
        QSignalSpy finished(m_session.get(), &GatewaySession::scanFinished);
        m_session->startScan(Segment{127, 0, 0},
                             readOnly ? GatewaySession::ScanMode::ReadOnly : GatewaySession::ScanMode::StoreAndRecord);
        QVERIFY(finished.wait(20000));
        QCOMPARE(QFile::exists(SetupFilePath(SharedFolders::setups(), Id2C)), stored);
        QCOMPARE(QFile::exists(SetupFilePath(SharedFolders::setups(), GatewayId{{0x0A, 0x1B, 0x2E}})), !readOnly);
        QCOMPARE(QFile::exists(history), recorded);
        QVERIFY(m_session->lastRead(Host21)); // what was read is known all the same
        const GatewayRow* row = m_session->list().find(Host21);
        QVERIFY(row);
        QCOMPARE(row->state == GatewayRow::State::DuplicateId, twins);
        if (!twins)
            return;
        QCOMPARE(m_session->list().find(QHostAddress(u"127.0.0.22"_s))->state, GatewayRow::State::DuplicateId);
        QCOMPARE(row->sameIdText(), u"127.0.0.21, 127.0.0.22"_s);
        QCOMPARE(row->stateText(), u"GWID doppelt"_s);
        QCOMPARE(m_session->report()[u"gateways"_s].toArray()[0].toObject()[u"state"_s].toString(), u"duplicate-id"_s);
        // A file of the ID from before: still nothing is sent to either address.
        QVERIFY(SetupRecordToFile(SharedFolders::setups(), Id2C, gw(21, 0x2C).record));
        for (const QString& ip : {u"127.0.0.21"_s, u"127.0.0.22"_s}) {
            const Status sent = m_session->sendSetupFile(QHostAddress(ip), Id2C, Id2C);
            QVERIFY(!sent);
            QVERIFY2(sent.message().startsWith(u"Die GWID 0A.1B.2C meldet sich im selben Scan an mehreren Adressen "
                                               u"(127.0.0.21, 127.0.0.22)."_s),
                     qPrintable(sent.message()));
        }
        QTest::qWait(50);
        QVERIFY(m_sim->received().isEmpty());
    }

    // One call configures the session: the settings file, the overrides on top, key, folders, history.
    void configure_data()
    {
        QTest::addColumn<QByteArray>("settings"); // "-": a folder in the file's place
        QTest::addColumn<QString>("key");         // the override; empty: none
        QTest::addColumn<int>("port");            // the override; 0: none
        QTest::addColumn<int>("verifyMs");        // the override; -1: none
        QTest::addColumn<QString>("expected");    // port/parallel/verify, or the refusal
        QTest::addColumn<bool>("noted");
        QTest::addColumn<bool>("window"); // the key is checked before each scan
        QTest::newRow("no settings file: the defaults")
            << QByteArray() << QString() << 0 << -1 << u"30/255/10000"_s << false << false;
        QTest::newRow("the file's values") << "[TCP]\r\nPORT=3030\r\nPARALLEL=8\r\nVERIFYTIMEOUT=0\r\n"_ba << QString()
                                           << 0 << -1 << u"3030/8/0"_s << false << false;
        QTest::newRow("overrides win") << "[TCP]\r\nPORT=3030\r\nVERIFYTIMEOUT=5000\r\n"_ba << QString() << 4040 << 0
                                       << u"4040/255/0"_s << false << false;
        QTest::newRow("an unreadable file: defaults, said")
            << "-"_ba << QString() << 0 << -1 << u"30/255/10000"_s << true << false;
        QTest::newRow("a bad key in the file is refused")
            << "[TCP]\r\nMASTERKEY=123\r\n"_ba << QString() << 0 << -1 << u"Master Key"_s << false << false;
        QTest::newRow("a bad key given is refused")
            << QByteArray() << u"XYZ"_s << 0 << -1 << u"Master Key"_s << false << false;
        QTest::newRow("a key given replaces the file's")
            << "[TCP]\r\nMASTERKEY=123\r\n"_ba << u"00112233445566778899AABBCCDDEEFF"_s << 0 << -1 << u"30/255/10000"_s
            << false << false;
        QTest::newRow("a bad key in the file, checked before each scan: kept as text")
            << "[TCP]\r\nMASTERKEY=123\r\n"_ba << QString() << 0 << -1 << u"30/255/10000"_s << false << true;
        QTest::newRow("a bad key given is refused in the window too")
            << QByteArray() << u"XYZ"_s << 0 << -1 << u"Master Key"_s << false << true;
    }
    void configure()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, key);
        QFETCH(int, port);
        QFETCH(int, verifyMs);
        QFETCH(QString, expected);
        QFETCH(bool, noted);
        QFETCH(bool, window);
        const QString file = SharedFolders::settingsFile();
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        if (settings == "-")
            QVERIFY(QDir().mkpath(file));
        else if (!settings.isEmpty()) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(settings);
        }
        GatewaySession session;
        GatewaySession::Overrides overrides;
        overrides.masterKeyText = key;
        overrides.keyCheckedBeforeScan = window;
        if (port)
            overrides.port = quint16(port);
        if (verifyMs >= 0)
            overrides.verifyTimeoutMs = verifyMs;
        const Result<GatewaySession::Configuration> configured = session.configure(file, overrides);
        if (!expected.contains(u'/')) {
            QVERIFY(!configured);
            QVERIFY2(configured.message().contains(expected), qPrintable(configured.message()));
            QVERIFY(session.setupsFolder().isEmpty()); // nothing configured
            return;
        }
        QVERIFY2(configured, qPrintable(configured.message()));
        QCOMPARE(configured->note.isEmpty(), !noted);
        QCOMPARE(configured->settingsRead, settings != "-");
        QCOMPARE(u"%1/%2/%3"_s.arg(session.port()).arg(session.parallel()).arg(session.timings().verifyWindowMs),
                 expected);
        const QString keyInForce = !key.isEmpty()                   ? key
                                   : settings.contains("MASTERKEY") ? u"123"_s
                                                                    : SetupKeys::DefaultMasterKey;
        QCOMPARE(configured->masterKeyText, keyInForce);
        QCOMPARE(session.setupsFolder(), SharedFolders::setups());
        QVERIFY(QFileInfo(SharedFolders::setups()).isDir());
        if (!key.isEmpty())
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(session.masterKey().data()), 16).toHex().toUpper(),
                     key.toLatin1());
    }

    // A second scan of the segment after one gateway vanished and another got new firmware.
    void secondScanSaysWhatChanged()
    {
        m_session->setHistoryFile(SharedFolders::mervane() + u"Telvaro-Scans.jsonl"_s);
        const SimulatedGateway a = gw(21, 0x2C), b = gw(22, GatewayBehaviour::Normal, 0x2D),
                               c = gw(23, GatewayBehaviour::Normal, 0x2E);
        listen({a, b, c});
        const quint16 port = m_sim->port();
        scan();
        QCOMPARE(m_session->changeSummary(), u"erster Scan dieses Segments"_s);
        QCOMPARE(m_session->list().rows().first().changeText(), u"neu"_s);

        m_sim->close();
        SimulatedGateway newer = c;
        newer.record.setFirmwareVersion({1, 5, 0});
        QVERIFY(m_sim->listen({a, newer}, port));
        scan();
        QCOMPARE(m_session->list().size(), 2);
        QCOMPARE(m_session->list().rows()[0].changeText(), u"unverändert"_s);
        QCOMPARE(m_session->list().rows()[1].changeText(), u"Firmware geändert"_s);
        QCOMPARE(m_session->missing().size(), 1);
        QCOMPARE(m_session->missing().first().id, b.id);
        QCOMPARE(m_session->changeSummary(), u"1 fehlt, 1 Firmware geändert"_s);
        QCOMPARE(m_session->scanSummary(), u"Scan beendet: 2 Antworten; 1 fehlt, 1 Firmware geändert"_s);
        const QJsonObject report = m_session->report();
        QCOMPARE(report[u"missing"_s].toArray().first()[u"gwid"_s].toString(), u"0A.1B.2D"_s);
        QCOMPARE(report[u"gateways"_s].toArray()[1][u"change"_s].toString(), u"firmware"_s);
        QVERIFY(m_session->historyStatus());
    }

    // What each address did, when nothing was listed: refused, silent, closed and absent addresses.
    void countsExplainAnEmptyScan()
    {
        // An address that exists but never completes a connection: a listener whose queue is full.
        QTcpServer full;
        full.setListenBacklogSize(0);
        QVERIFY(full.listen(QHostAddress(u"127.0.0.25"_s), 0));
        full.pauseAccepting();
        std::vector<std::unique_ptr<QTcpSocket>> fillers;
        for (int i = 0; i < 4; ++i) {
            fillers.push_back(std::make_unique<QTcpSocket>());
            fillers.back()->connectToHost(QHostAddress(u"127.0.0.25"_s), full.serverPort());
        }
        QTest::qWait(100);
        QVERIFY(m_sim->listen({gw(22, GatewayBehaviour::Silent, 0x2C), gw(23, GatewayBehaviour::Silent, 0x2E),
                               gw(24, GatewayBehaviour::Close, 0x2F)},
                              full.serverPort()));
        m_session->setPort(full.serverPort());
        ExchangeTimings timings = fastTimings();
        timings.verifyWindowMs = 0;
#ifdef Q_OS_WIN
        // Wine reports a refusal among 255 connections later than the scaled wait: the real one.
        timings.connectMs = ExchangeTimings().connectMs;
#endif
        m_session->setTimings(timings);
        scan();
        const GatewaySession::Counts c = m_session->counts();
        using K = GatewayRead::Kind;
        QCOMPARE(c[size_t(K::Silent)], 2);
        QCOMPARE(c[size_t(K::Closed)], 1);
        QCOMPARE(c[size_t(K::Timeout)], 1);
        QCOMPARE(c[size_t(K::Refused)], 251);
        QCOMPARE(m_session->list().size(), 0);
        QCOMPARE(m_session->scanSummary(), explainEmptyScan(c, Segment{127, 0, 0}, full.serverPort()));
        QVERIFY(m_session->scanSummary().startsWith(u"3 Geräte an Port "_s));
    }
};

QTEST_GUILESS_MAIN(TestGatewaySession)
#include "TestGatewaySession.moc"
