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
        LinkSettings link;
        link.port = m_sim->port();
        link.verifyTimeoutMs = 1500;
        m_session->setLinkSettings(link);
        m_session->setTimings(fastTimings());
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
        QVERIFY2(outcomes[4].reason.startsWith(u"[NETZWERK] SRV_DNS: gesendet flotte.example.net, gelesen"_s),
                 qPrintable(outcomes[4].reason));
        QCOMPARE(m_exitCode, 1);
        QCOMPARE(m_summary, u"Vorlage fleet: 3 übernommen und geprüft, 1 bestätigt, aber abweichend, 1 übersprungen"_s);
        QVERIFY(outcomes[0].changed.contains(u"NETZWERK/SRV_DNS"_s));
        QVERIFY(outcomes[0].changed.contains(u"WM-BUS/MODET"_s));
        QVERIFY(!outcomes[0].changed.contains(u"NETZWERK/FEST_IP"_s));
        QVERIFY(!outcomes[0].changed.contains(u"NETZWERK/MASTERKEY"_s));

        const GWSetupRecord templ = TemplateApply::readTemplate(testData(u"template_fleet.GWINI"_s)).value();
        const QList<SimulatedGateway> after = m_sim->gateways();
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(identity(after[i].record), identity(gateways[i].record));
            QCOMPARE(after[i].address, gateways[i].address);
        }
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(after[i].record.serverName(), "flotte.example.net"_ba);
            QCOMPARE(after[i].record.serverPort(), quint16(5000));
            QCOMPARE(after[i].record.radioIdSlot(1), templ.radioIdSlot(1));
            QVERIFY(!after[i].record.wmbusFlag(GWSetupRecord::ModeT));
            // The setup file says what was sent.
            GWSetupRecord fromFile = after[i].record;
            QVERIFY(SetupFileToRecord(SharedFolders::setups(), gateways[i].id, fromFile));
            QCOMPARE(fromFile, after[i].record);
        }
        QCOMPARE(after[3].record, gateways[3].record);
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
        QCOMPARE(outcomes[0].changed.first(), u"NETZWERK/SRV_DNS"_s);
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
        QTest::newRow("one gateway, fleet fields")
            << u"0A.1B.16"_s << QString() << QStringList{u"127.0.0.22"_s} << QStringList();
        QTest::newRow("all gateways, the port only")
            << QString() << u"NETZWERK/PORT"_s << QStringList{u"127.0.0.21"_s, u"127.0.0.22"_s}
            << QStringList{u"NETZWERK/PORT"_s};
        QTest::newRow("identity named explicitly")
            << u"0A.1B.15"_s << u"netzwerk/fest_ip, NETZWERK/DHCP"_s << QStringList{u"127.0.0.21"_s}
            << QStringList{u"NETZWERK/DHCP"_s, u"NETZWERK/FEST_IP"_s};
        QTest::newRow("an ID not listed") << u"0A.1B.15,0A.1B.99"_s << u"NETZWERK/PORT"_s
                                          << QStringList{u"127.0.0.21"_s, QString()} << QStringList{u"NETZWERK/PORT"_s};
    }
    void onlyAndFields()
    {
        QFETCH(QString, only);
        QFETCH(QString, fields);
        QFETCH(QStringList, ips);
        QFETCH(QStringList, changed);
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
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("only");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown field")
            << u"NETZWERK/FOO"_s << QString()
            << u"Unbekanntes Feld: \"NETZWERK/FOO\" (erwartet ABSCHNITT/SCHLÜSSEL einer Setup-Datei, z.B. NETZWERK/PORT)"_s;
        QTest::newRow("gateway ID is no field")
            << u"NETZWERK/GW_ID0"_s << QString()
            << u"Unbekanntes Feld: \"NETZWERK/GW_ID0\" (erwartet ABSCHNITT/SCHLÜSSEL einer Setup-Datei, z.B. NETZWERK/PORT)"_s;
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

    void templateThatDoesNotConvertSendsNothing()
    {
        scan({gw(21)});
        QFile bad(m_docs->file(u"bad.GWINI"_s));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("[NETZWERK]\r\nFEST_IP=1.2.3\r\n");
        bad.close();
        TemplateApply run(*m_session);
        TemplateApply::Options options;
        options.templatePath = bad.fileName();
        const Status started = run.start(options);
        QVERIFY(!started);
        QVERIFY2(started.message().startsWith(u"Die Vorlage %1 ist kein gültiges Setup: "_s.arg(bad.fileName())),
                 qPrintable(started.message()));
        QVERIFY(started.message().contains(u"FEST_IP"_s));
        QTest::qWait(100);
        QVERIFY(m_sim->received().isEmpty());
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
