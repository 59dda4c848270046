// One template for a fleet of gateways: each keeps its own identity and network, takes the fleet
// fields, and ends in exactly one result; a dry run sends nothing.
#include "base/SharedFolders.h"
#include "session/TemplateApply.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include "GatewaySimulator.h"
#include "Gateways.h"
#include "TestSupport.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

using R = TemplateApply::Result;

// What a gateway is and how it is reached: never the template's business unless named.
QByteArray identity(const GWSetupRecord& r)
{
    QByteArray bytes = r.toByteArray().mid(GWSetupRecord::OffGatewayId, 15); // ID, fixed, router, mask
    bytes += r.toByteArray().mid(GWSetupRecord::OffNtpIp, 8);                // NTP, DNS
    bytes += r.toByteArray().mid(GWSetupRecord::OffMasterKey, 16);
    bytes += char(r.networkFlag(GWSetupRecord::Dhcp));
    return bytes;
}

} // namespace

class TestTemplateApply : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDocuments> m_docs;
    std::unique_ptr<GatewaySimulator> m_sim;
    std::unique_ptr<GatewaySession> m_session;

    void scan(const QList<SimulatedGateway>& gateways)
    {
        QVERIFY(m_sim->listen(gateways, 0));
        m_session->setPort(m_sim->port());
        ExchangeTimings timings = fastTimings();
        timings.verifyWindowMs = 500;
        m_session->setTimings(timings);
        QSignalSpy finished(m_session.get(), &GatewaySession::scanFinished);
        m_session->startScan(Segment{127, 0, 0});
        QVERIFY(finished.wait(20000));
    }
    QList<TemplateApply::Outcome> apply(TemplateApply::Options options)
    {
        options.templatePath = testData(u"template_fleet.GWINI"_s);
        TemplateApply run(*m_session);
        QSignalSpy finished(&run, &TemplateApply::finished);
        const Status started = run.start(options);
        if (!started)
            qFatal("%s", qPrintable(started.message()));
        if (finished.isEmpty() && !finished.wait(20000))
            qFatal("the run did not finish");
        m_exitCode = run.exitCode();
        m_summary = run.summary(u"fleet"_s);
        return run.outcomes();
    }
    int m_exitCode = -1;
    QString m_summary;

private slots:
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

    void fiveGateways()
    {
        const QList<SimulatedGateway> gateways{gw(21), gw(22), gw(23), gw(24, GatewayBehaviour::WrongKey),
                                               gw(25, GatewayBehaviour::KeepsOld)};
        scan(gateways);
        const QList<TemplateApply::Outcome> outcomes = apply({});
        QCOMPARE(outcomes.size(), 5);
        const QList<R> expected{R::Verified, R::Verified, R::Verified, R::Skipped, R::Differs};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(outcomes[i].ip, gateways[i].address);
            QCOMPARE(outcomes[i].result, expected[i]);
        }
        QCOMPARE(outcomes[3].reason, u"anderer Master Key"_s);
        QVERIFY2(outcomes[4].reason.startsWith(
                     u"Server (DNS Name oder IP Adresse): gesendet flotte.example.net, gelesen collector.mbus.lan"_s),
                 qPrintable(outcomes[4].reason));
        QCOMPARE(m_exitCode, 1);
        // Result texts hold commas; the summary's separator is one none of them holds.
        QCOMPARE(m_summary,
                 u"Vorlage fleet: 3 übernommen und geprüft · 1 bestätigt, aber abweichend · 1 übersprungen"_s);
        // By default the server, the interval and the radio mode; each gateway keeps its filters and IDs.
        QCOMPARE(outcomes[0].changed,
                 (QStringList{u"Server (DNS Name oder IP Adresse): collector.mbus.lan → flotte.example.net"_s,
                              u"Server Port: 4711 → 5000"_s, u"Verbindungsintervall: pro h → pro Tag"_s,
                              u"wM-Bus Mode: T/C → S"_s}));

        const GWSetupRecord templ = TemplateApply::readTemplate(testData(u"template_fleet.GWINI"_s)).value();
        const QList<SimulatedGateway> after = m_sim->gateways();
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(identity(after[i].record), identity(gateways[i].record));
            QCOMPARE(after[i].address, gateways[i].address);
        }
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(after[i].record.serverName(), "flotte.example.net"_ba);
            QCOMPARE(after[i].record.serverPort(), quint16(5000));
            QCOMPARE(after[i].record.radioIdSlot(1), gateways[i].record.radioIdSlot(1));
            QVERIFY(templ.radioIdSlot(1) != gateways[i].record.radioIdSlot(1));
            QCOMPARE(after[i].record.manufacturerCode(0), gateways[i].record.manufacturerCode(0));
            QVERIFY(!after[i].record.wmbusFlag(GWSetupRecord::ModeT));
            // The setup file says what was sent.
            GWSetupRecord fromFile = after[i].record;
            QVERIFY(SetupFileToRecord(SharedFolders::setups(), gateways[i].id, fromFile));
            QCOMPARE(fromFile, after[i].record);
        }
        QCOMPARE(after[3].record, gateways[3].record);
        // The gateway that kept its old setup: its file says what it reports, not the template.
        GWSetupRecord kept = gateways[4].record;
        QVERIFY(SetupFileToRecord(SharedFolders::setups(), gateways[4].id, kept));
        QCOMPARE(kept.serverName(), gateways[4].record.serverName());
    }

    void dryRunSendsNothing()
    {
        scan({gw(21), gw(22, GatewayBehaviour::OtherType)});
        QVERIFY(QFile::exists(SetupFilePath(SharedFolders::setups(), gw(21).id)));
        TemplateApply::Options options;
        options.dryRun = true;
        const QList<TemplateApply::Outcome> outcomes = apply(options);
        QCOMPARE(outcomes.size(), 2);
        QCOMPARE(outcomes[0].result, R::DryRun);
        QCOMPARE(outcomes[0].changed.first(),
                 u"Server (DNS Name oder IP Adresse): collector.mbus.lan → flotte.example.net"_s);
        QCOMPARE(outcomes[1].result, R::Skipped);
        QCOMPARE(outcomes[1].reason, u"kein Setup gemeldet (anderer Telegrammtyp)"_s);
        QCOMPARE(m_exitCode, 0);
        QTest::qWait(100);
        QVERIFY(m_sim->received().isEmpty());
        GWSetupRecord stored = gw(21).record;
        QVERIFY(SetupFileToRecord(SharedFolders::setups(), gw(21).id, stored));
        QCOMPARE(stored.serverName(), gw(21).record.serverName()); // the file is untouched
    }

    void onlyAndFields_data()
    {
        QTest::addColumn<QString>("only");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QStringList>("ips");
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("one gateway, fleet fields")
            << u"0A.1B.16"_s << QString() << QStringList{u"127.0.0.22"_s} << QStringList() << 0;
        QTest::newRow("all gateways, the port only")
            << QString() << u"NETZWERK/PORT"_s << QStringList{u"127.0.0.21"_s, u"127.0.0.22"_s}
            << QStringList{u"Server Port: 4711 → 5000"_s} << 0;
        QTest::newRow("identity named explicitly")
            << u"0A.1B.15"_s << u"netzwerk/fest_ip, NETZWERK/DHCP"_s << QStringList{u"127.0.0.21"_s}
            << QStringList{u"mit DHCP: nein → ja"_s, u"feste IP (sonst mit): 127.0.0.21 → 10.0.0.1"_s} << 0;
        QTest::newRow("a group by name") << u"0A.1B.15"_s << u"Mediumcode-Filter"_s << QStringList{u"127.0.0.21"_s}
                                         << QStringList{u"Mediumcode 2: 6 → 8"_s, u"Mediumcode 3: 4 → 3"_s,
                                                        u"Mediumcode 4: 2 → 4"_s}
                                         << 0;
        QTest::newRow("an ID not listed")
            << u"0A.1B.15,0A.1B.99"_s << u"NETZWERK/PORT"_s << QStringList{u"127.0.0.21"_s, QString()}
            << QStringList{u"Server Port: 4711 → 5000"_s} << 1;
    }
    void onlyAndFields()
    {
        QFETCH(QString, only);
        QFETCH(QString, fields);
        QFETCH(QStringList, ips);
        QFETCH(QStringList, changed);
        QFETCH(int, exitCode);
        scan({gw(21), gw(22)});
        TemplateApply::Options options;
        options.dryRun = true;
        if (!only.isEmpty())
            options.only = TemplateApply::parseIds(only).value();
        if (!fields.isEmpty())
            options.fields = TemplateApply::parseFields(fields).value();
        const QList<TemplateApply::Outcome> outcomes = apply(options);
        QStringList seen;
        for (const TemplateApply::Outcome& o : outcomes)
            seen << (o.ip.isNull() ? QString() : o.ip.toString());
        QCOMPARE(seen, ips);
        if (!changed.isEmpty())
            QCOMPARE(outcomes.first().changed, changed);
        if (ips.last().isEmpty()) {
            QCOMPARE(outcomes.last().result, R::Skipped);
            QCOMPARE(outcomes.last().reason, u"nicht gefunden"_s);
        }
        QCOMPARE(m_exitCode, exitCode); // a gateway named and not found is no success, not even dry
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("only");
        QTest::addColumn<QString>("message");
        QTest::newRow("gateway ID is no field")
            << u"NETZWERK/GW_ID0"_s << QString()
            << u"Unbekanntes Feld: \"NETZWERK/GW_ID0\" (erwartet ABSCHNITT/SCHLÜSSEL einer Setup-Datei wie "
               "NETZWERK/PORT oder eine Gruppe: Server, Intervall, Funkmodus, Hersteller-Filter, Mediumcode-Filter, "
               "Funk-ID-Liste)"_s;
        QTest::newRow("no ID at all") << QString() << u" , "_s << u"--only nennt keine GWID"_s;
        QTest::newRow("bad GWID") << QString() << u"0A.1B"_s << u"Ungültige GWID: \"0A.1B\""_s;
    }
    void badInput()
    {
        QFETCH(QString, fields);
        QFETCH(QString, only);
        QFETCH(QString, message);
        const QString got =
            fields.isEmpty() ? TemplateApply::parseIds(only).message() : TemplateApply::parseFields(fields).message();
        QCOMPARE(got, message);
    }

    // A template is checked before anything is sent: every key of the chosen fields must be in it
    // (a missing one would blank that field across the fleet); keys of fields not chosen may be missing.
    void templateCheck_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<QStringList>("changed");
        QTest::newRow("a value that does not convert") << "[NETZWERK]\r\nFEST_IP=1.2.3\r\n"_ba << u"NETZWERK/FEST_IP"_s
                                                       << u"ist kein gültiges Setup: "_s << QStringList();
        QTest::newRow("only the network section, default fields")
            << "[NETZWERK]\r\nSRV_DNS=neu.example.net\r\nPORT=6000\r\n"_ba << QString()
            << u"fehlen Schlüssel der gewählten Felder: NETZWERK/SOFORT, NETZWERK/PROH, NETZWERK/PROTAG, "
               "NETZWERK/PROMONAT, WM-BUS/MODET. Es wurde nichts gesendet."_s
            << QStringList();
        QTest::newRow("the radio-ID list named, its section missing")
            << "[WM-BUS]\r\nFILTER_IDS=1\r\n"_ba << u"Funk-ID-Liste"_s
            << u"fehlen Schlüssel der gewählten Felder: WM-BUS_IDS."_s << QStringList();
        QTest::newRow("only what --fields names")
            << "[NETZWERK]\r\nSRV_DNS=neu.example.net\r\nPORT=6000\r\n"_ba << u"Server"_s << QString()
            << QStringList{u"Server (DNS Name oder IP Adresse): collector.mbus.lan → neu.example.net"_s,
                           u"Server Port: 4711 → 6000"_s};
        QTest::newRow("an empty radio-ID list empties the lists")
            << "[WM-BUS]\r\nFILTER_IDS=0\r\n[WM-BUS_IDS]\r\n"_ba << u"WM-BUS_IDS"_s << QString()
            << QStringList{u"Funk-IDs: −12345678 −20240517 −90662293"_s};
    }
    void templateCheck()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, fields);
        QFETCH(QString, refusal);
        QFETCH(QStringList, changed);
        scan({gw(21)});
        QFile file(m_docs->file(u"vorlage.GWINI"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        TemplateApply run(*m_session);
        QSignalSpy finished(&run, &TemplateApply::finished);
        TemplateApply::Options options;
        options.templatePath = file.fileName();
        options.dryRun = true;
        if (!fields.isEmpty())
            options.fields = TemplateApply::parseFields(fields).value();
        const Status started = run.start(options);
        QVERIFY2(started.ok() == refusal.isEmpty(), qPrintable(started.message()));
        if (!started) {
            QVERIFY2(started.message().contains(refusal), qPrintable(started.message()));
            QVERIFY(run.outcomes().isEmpty());
        } else {
            QVERIFY(!finished.isEmpty() || finished.wait(5000));
            QCOMPARE(run.outcomes().size(), 1);
            QCOMPARE(run.outcomes().first().changed, changed);
        }
        QVERIFY(m_sim->received().isEmpty());
    }

    // The setup file follows the gateway: written after an acknowledgement (with what the gateway
    // reports when it differs), never for a gateway that did not take the setup.
    void fileFollowsTheGateway_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<int>("verifyMs");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("serverInFile");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("reason");
        using B = GatewayBehaviour;
        QTest::newRow("takes it, read back")
            << int(B::Normal) << 500 << int(R::Verified) << "flotte.example.net"_ba << 0 << QString();
        QTest::newRow("takes it, no read-back: acknowledged is the best")
            << int(B::Normal) << 0 << int(R::Acknowledged) << "flotte.example.net"_ba << 0 << u"ohne Kontrolle"_s;
        QTest::newRow("refuses it") << int(B::Nak) << 500 << int(R::NotAcknowledged) << "collector.mbus.lan"_ba << 1
                                    << QString();
        QTest::newRow("acknowledges, keeps its old setup")
            << int(B::KeepsOld) << 500 << int(R::Differs) << "collector.mbus.lan"_ba << 1 << QString();
    }
    void fileFollowsTheGateway()
    {
        QFETCH(int, behaviour);
        QFETCH(int, verifyMs);
        QFETCH(int, result);
        QFETCH(QByteArray, serverInFile);
        QFETCH(int, exitCode);
        QFETCH(QString, reason);
        scan({gw(21, GatewayBehaviour(behaviour))});
        ExchangeTimings timings = m_session->timings();
        timings.verifyWindowMs = verifyMs;
        m_session->setTimings(timings);
        const QList<TemplateApply::Outcome> outcomes = apply({});
        QCOMPARE(outcomes.size(), 1);
        QCOMPARE(int(outcomes.first().result), result);
        if (!reason.isEmpty())
            QCOMPARE(outcomes.first().reason, reason);
        QCOMPARE(m_exitCode, exitCode);
        GWSetupRecord fromFile = gw(21).record;
        QVERIFY(SetupFileToRecord(SharedFolders::setups(), gw(21).id, fromFile));
        QCOMPARE(fromFile.serverName(), serverInFile);
    }

    // A fixed address outside the segment is named in the run's result, as a single send names it.
    void fixedAddressOutsideTheSegmentIsNamed()
    {
        scan({gw(21)});
        QFile file(m_docs->file(u"vorlage.GWINI"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[NETZWERK]\r\nDHCP=0\r\nFEST_IP=192.0.2.5\r\nSUB_IP=255.255.255.0\r\n");
        file.close();
        TemplateApply run(*m_session);
        QSignalSpy finished(&run, &TemplateApply::finished);
        TemplateApply::Options options;
        options.templatePath = file.fileName();
        options.fields = TemplateApply::parseFields(u"NETZWERK/DHCP,NETZWERK/FEST_IP,NETZWERK/SUB_IP"_s).value();
        QVERIFY(run.start(options));
        QVERIFY(finished.wait(15000));
        QVERIFY2(run.outcomes().first().reason.contains(
                     u"Die neue feste Adresse 192.0.2.5 liegt außerhalb des abgesuchten Segments"_s),
                 qPrintable(run.outcomes().first().reason));
    }

    // Gateways the run must not send to: nothing goes to them, the reason is named.
    void refusedGateways_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("fixed address is its subnet's broadcast address")
            << u"broadcast"_s
            << u"Die feste IP-Adresse 10.0.0.255 ist die Broadcast-Adresse ihres Netzes (Subnetzmaske "
               "255.255.255.0); ein Gateway kann sie nicht haben."_s
            << 1;
        QTest::newRow("one gateway ID at two addresses")
            << u"duplicate"_s
            << u"Die GWID 0A.1B.15 meldet sich im selben Scan an mehreren Adressen (127.0.0.21, 127.0.0.22)."_s << 2;
    }
    void refusedGateways()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QFETCH(int, exitCode);
        SimulatedGateway twin = gw(22);
        twin.id = gw(21).id;
        twin.record.setGatewayId(twin.id);
        scan(kind == u"duplicate"_s ? QList<SimulatedGateway>{gw(21), twin, gw(23)} : QList{gw(21)});
        TemplateApply::Options options;
        options.templatePath = testData(u"template_fleet.GWINI"_s);
        if (kind == u"broadcast"_s) {
            QFile file(m_docs->file(u"vorlage.GWINI"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[NETZWERK]\r\nDHCP=0\r\nFEST_IP=10.0.0.255\r\nSUB_IP=255.255.255.0\r\n");
            file.close();
            options.templatePath = file.fileName();
            options.fields = TemplateApply::parseFields(u"NETZWERK/DHCP,NETZWERK/FEST_IP,NETZWERK/SUB_IP"_s).value();
        }
        TemplateApply run(*m_session);
        QSignalSpy finished(&run, &TemplateApply::finished);
        const Status started = run.start(options);
        QVERIFY2(started, qPrintable(started.message()));
        QVERIFY(!finished.isEmpty() || finished.wait(10000));
        QVERIFY2(run.outcomes().first().reason.startsWith(reason), qPrintable(run.outcomes().first().reason));
        QCOMPARE(run.outcomes().first().result, R::Refused);
        QCOMPARE(run.exitCode(), exitCode);
        QTest::qWait(50);
        QVERIFY(m_sim->received().isEmpty()); // with a duplicate, not even the third gateway
    }

    void atMostEightAtOnce()
    {
        QList<SimulatedGateway> gateways;
        for (int octet = 21; octet < 33; ++octet) {
            gateways << gw(octet, GatewayBehaviour::LateAck); // each holds its transfer open a while
        }
        scan(gateways);
        // Counted before the run hears of an ending (and starts the next transfer).
        int active = 0, most = 0;
        connect(m_session.get(), &GatewaySession::transferStarted, [&] { most = std::max(most, ++active); });
        connect(m_session.get(), &GatewaySession::transferFinished, [&] { --active; });
        TemplateApply run(*m_session);
        QSignalSpy finished(&run, &TemplateApply::finished);
        TemplateApply::Options options;
        options.templatePath = testData(u"template_fleet.GWINI"_s);
        QVERIFY(run.start(options));
        QVERIFY(finished.wait(30000));
        QCOMPARE(most, TemplateApply::MaxTransfers);
        QCOMPARE(run.outcomes().size(), 12);
        for (const TemplateApply::Outcome& o : run.outcomes())
            QCOMPARE(o.result, R::NotAcknowledged); // the acknowledgement comes after its window
    }
};

QTEST_GUILESS_MAIN(TestTemplateApply)
#include "TestTemplateApply.moc"
