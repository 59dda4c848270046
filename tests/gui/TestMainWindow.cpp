#include "app/TTelvaro.h"
#include "base/IniFile.h"
#include "base/SharedFolders.h"
#include "common/Prompter.h"
#include "link/SetupTransfer.h"
#include "session/ScanHistory.h"
#include "setups/FieldRules.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include "GatewaySimulator.h"
#include "Gateways.h"
#include "SetupFileEdits.h"
#include "TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableWidget>

using namespace Qt::StringLiterals;

namespace {

// A table cell as the user reads it: without the marks that keep names from breaking.
QString plainCell(QString text)
{
    return text.remove(QChar(0x2060)).replace(QChar(0x00A0), u' ');
}

QStringList gridRow(QTableWidget* grid, int row)
{
    QStringList cells;
    for (int col = 0; col < 3; ++col)
        cells << (grid->item(row, col) ? grid->item(row, col)->text() : QString());
    return cells;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDocuments> m_docs;
    ScriptedPrompter m_prompts;
    std::unique_ptr<GatewaySimulator> m_simHolder;
    GatewaySimulator& sim() { return *m_simHolder; }
    std::unique_ptr<TTelvaro> m_window;

    template <typename T> T* child(const char* name)
    {
        return findControl<T>(m_window.get(), QString::fromLatin1(name));
    }

    void writeSettings(const QString& text)
    {
        QVERIFY(SharedFolders::ensureFolder(SharedFolders::mervane()));
        QFile f(SharedFolders::settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.toLatin1());
    }

    // outsideLocal: every segment counts as lying outside the PC's networks.
    void openWindow(const QList<SimulatedGateway>& gateways, bool outsideLocal = false)
    {
        TTelvaro::Options options;
        if (outsideLocal)
            options.segmentIsLocal = [](const Segment&) { return false; };
        if (!gateways.isEmpty()) {
            QVERIFY2(sim().listen(gateways, 0), qPrintable(sim().errorString()));
            options.port = sim().port();
        }
        m_window = std::make_unique<TTelvaro>(options);
        m_window->session().setTimings(fastTimings());
        child<QLineEdit>("EditIP0")->setText(u"127"_s);
        child<QLineEdit>("EditIP1")->setText(u"0"_s);
        child<QLineEdit>("EditIP2")->setText(u"0"_s);
    }

    void scanToEnd()
    {
        QSignalSpy done(m_window.get(), &TTelvaro::scanFinished);
        child<QPushButton>("ButtonScann")->click();
        QVERIFY(m_window->scanRunning());
        QVERIFY(done.wait(20000));
    }

private slots:
    void init()
    {
        m_docs = std::make_unique<ScratchDocuments>();
        m_simHolder = std::make_unique<GatewaySimulator>();
        m_prompts.clear();
        Prompter::setInstance(&m_prompts);
    }
    void cleanup()
    {
        if (m_window)
            m_window->StopScan();
        m_window.reset();
        m_simHolder.reset();
        Prompter::setInstance(nullptr);
    }

    void startUpDefaults()
    {
        openWindow({});
        QCOMPARE(m_window->windowTitle(), u"Telvaro V1.5.3"_s);
        QCOMPARE(m_window->size(), QSize(500, 550));
        QCOMPARE(child<QLineEdit>("EditMasterKey")->text(), u"7C3E9A15D2084BF6E1A05C93D76F2B48"_s);
        auto* grid = child<QTableWidget>("StringGrid1");
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), u"IP:"_s);
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), u"GWID:"_s);
        QCOMPARE(grid->horizontalHeaderItem(2)->text(), u"Firmware:"_s);
        QVERIFY(QFileInfo(SharedFolders::setups()).isDir());
        QVERIFY(m_prompts.shown.isEmpty());
    }

    void windowOffEveryScreenIsMovedOnScreen()
    {
        writeSettings(u"[WINDOW]\r\nTOP=-9000\r\nLEFT=40000\r\n"_s);
        openWindow({});
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(screen.contains(m_window->pos()),
                 qPrintable(u"%1,%2"_s.arg(m_window->pos().x()).arg(m_window->pos().y())));
    }

    void settingsReadWithoutSetupsFolder()
    {
        // The setups folder cannot be made (a file stands in its way): the error shows its path,
        // and the settings are read all the same.
        writeSettings(u"[TCP]\r\nMASTERKEY=00112233445566778899AABBCCDDEEFF\r\n"_s);
        QFile blocker(SharedFolders::setups().chopped(1));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        openWindow({});
        QCOMPARE(m_prompts.texts(), QStringList{SharedFolders::setups()});
        QCOMPARE(child<QLineEdit>("EditMasterKey")->text(), u"00112233445566778899AABBCCDDEEFF"_s);
    }

    void unreadableSettingsAreNotOverwritten()
    {
        // A settings "file" that cannot be read (here a folder) is reported and never replaced on closing.
        QVERIFY(QDir().mkpath(SharedFolders::settingsFile()));
        openWindow({});
        QCOMPARE(m_prompts.shown.size(), 1);
        // Scans use the usual default key, never the form's placeholder text.
        QCOMPARE(child<QLineEdit>("EditMasterKey")->text(), u"7C3E9A15D2084BF6E1A05C93D76F2B48"_s);
        m_window->close();
        QVERIFY(QFileInfo(SharedFolders::settingsFile()).isDir());
        QCOMPARE(m_prompts.shown.size(), 1); // closing writes nothing and reports nothing
    }

    // A setup that cannot be stored: the row says so, the reason is shown once after the scan, and a
    // double-click explains instead of opening an older file of that gateway.
    void unstoredSetupIsMarkedExplainedAndNotOpened()
    {
        const SimulatedGateway g = gw(21, 0x2C);
        openWindow({g, gw(22, 0x2D)});
        const QString file = SharedFolders::setups() + u"SETUPGW_0A_1B_2C.GWINI"_s;
        QVERIFY(QDir().mkpath(file)); // a folder in the file's place
        const QString reason = SetupRecordToFile(SharedFolders::setups(), g.id, g.record).message();
        QVERIFY(!reason.isEmpty());
        scanToEnd();
        auto* grid = child<QTableWidget>("StringGrid1");
        QCOMPARE(gridRow(grid, 0), (QStringList{u"127.0.0.21"_s, u"0A.1B.2C"_s, u"1.4.12 (nicht gespeichert)"_s}));
        QCOMPARE(grid->item(0, 2)->toolTip(), reason);
        QCOMPARE(gridRow(grid, 1), (QStringList{u"127.0.0.22"_s, u"0A.1B.2D"_s, u"1.4.12"_s}));
        QCOMPARE(child<QLabel>("LabelAnzahlGW")->text(), u"2"_s);
        QCOMPARE(
            m_prompts.texts(),
            QStringList{u"Die Setups folgender Gateways konnten nicht gespeichert werden:\n0A.1B.2C (127.0.0.21): "_s +
                        reason});
        QCOMPARE(m_prompts.shown.first().icon, Prompter::Icon::Warning);

        m_prompts.clear();
        QSignalSpy open(m_window.get(), &TTelvaro::openGatewaySetupRequested);
        grid->setCurrentCell(0, 0);
        emit grid->cellDoubleClicked(0, 0);
        QCOMPARE(open.count(), 0);
        QCOMPARE(m_prompts.texts(),
                 QStringList{u"Das Setup von 0A.1B.2C (127.0.0.21) konnte nicht gespeichert werden: "_s + reason +
                             u"\nDie Setup-Datei zeigt nicht den Stand des Gateways und wird darum nicht geöffnet."_s});
        grid->setCurrentCell(1, 0);
        emit grid->cellDoubleClicked(1, 0);
        QCOMPARE(open.count(), 1);
    }

    void scannPressedTwiceRestartsCleanly()
    {
        openWindow({gw(21, 0x2C), gw(22, 0x2D)});
        child<QPushButton>("ButtonScann")->click();
        QSignalSpy done(m_window.get(), &TTelvaro::scanFinished);
        child<QPushButton>("ButtonScann")->click();
        QVERIFY(done.wait(20000));
        QTest::qWait(100);
        QCOMPARE(done.count(), 1);
        QCOMPARE(child<QTableWidget>("StringGrid1")->rowCount(), 2);
        QCOMPARE(child<QLabel>("LabelAnzahlGW")->text(), u"2"_s);
    }

    void closingStoresTypedKeyOnly()
    {
        writeSettings(
            u"[WINDOW]\r\nTOP=20\r\nLEFT=30\r\nWIDTH=640\r\nHEIGHT=480\r\n[TCP]\r\nMASTERKEY=00112233445566778899aabbccddeeff\r\nOTHER=1\r\n"_s);
        openWindow({});
        QCOMPARE(m_window->size(), QSize(640, 480));
        auto* edit = child<QLineEdit>("EditMasterKey");
        QCOMPARE(edit->text(), u"00112233445566778899AABBCCDDEEFF"_s); // shown upper-case
        edit->setFocus();
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, u"a"_s);
        m_window->close();
        const IniFile ini = IniFile::load(SharedFolders::settingsFile()).value();
        QCOMPARE(ini.readString(u"TCP"_s, u"MASTERKEY"_s), u"00112233445566778899AABBCCDDEEFA"_s);
        QCOMPARE(ini.readInteger(u"WINDOW"_s, u"WIDTH"_s, 0), 640);
        QCOMPARE(ini.readString(u"TCP"_s, u"OTHER"_s), u"1"_s);
    }

    void lowerCaseKeyDecodesLikeUpperCase()
    {
        writeSettings(u"[TCP]\r\nMASTERKEY=7c3e9a15d2084bf6e1a05c93d76f2b48\r\n"_s);
        openWindow({gw(21, 0x2C)});
        scanToEnd();
        QCOMPARE(gridRow(child<QTableWidget>("StringGrid1"), 0),
                 (QStringList{u"127.0.0.21"_s, u"0A.1B.2C"_s, u"1.4.12"_s}));
    }

    void keyFilterAndCounter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("lower case turned upper") << u"a"_s << u"A"_s;
        QTest::newRow("refused characters") << u"g -x"_s << QString();
        QTest::newRow("digits and letters") << u"0f9B"_s << u"0F9B"_s;
        QTest::newRow("33rd character accepted")
            << u"0123456789ABCDEF0123456789ABCDEF0"_s << u"0123456789ABCDEF0123456789ABCDEF0"_s;
    }
    void keyFilterAndCounter()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        openWindow({});
        auto* edit = child<QLineEdit>("EditMasterKey");
        edit->clear();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), text);
        QCOMPARE(child<QLabel>("LabelMKcount")->text(), u"%1/32"_s.arg(text.size()));
    }

    void pastedKeyIsFiltered()
    {
        openWindow({});
        auto* edit = child<QLineEdit>("EditMasterKey");
        edit->clear();
        edit->insert(u"ab-cd ef"_s);
        QCOMPARE(edit->text(), u"ABCDEF"_s);
    }

    void scanListsInOrderWithKindsAndFiles()
    {
        // Answers of the later addresses arrive first: the list is ordered by address all the same.
        QList<SimulatedGateway> gws{gw(25, 0x30), gw(21, 0x2C, GatewayBehaviour::Split),
                                    gw(23, 0x2E, GatewayBehaviour::WrongKey), gw(24, 0x2F, GatewayBehaviour::OtherType),
                                    gw(26, 0x31, GatewayBehaviour::Short)};
        gws[1].answerDelayMs = 300;
        openWindow(gws);
        scanToEnd();
        auto* grid = child<QTableWidget>("StringGrid1");
        QCOMPARE(grid->rowCount(), 4);
        QCOMPARE(gridRow(grid, 0), (QStringList{u"127.0.0.21"_s, u"0A.1B.2C"_s, u"1.4.12"_s}));
        QCOMPARE(gridRow(grid, 1), (QStringList{u"127.0.0.23"_s, u"0A.1B.2E"_s, u"???"_s}));
        QCOMPARE(gridRow(grid, 2), (QStringList{u"127.0.0.24"_s, u"0A.1B.2F"_s, QString()}));
        QCOMPARE(gridRow(grid, 3), (QStringList{u"127.0.0.25"_s, u"0A.1B.30"_s, u"1.4.12"_s}));
        QCOMPARE(child<QLabel>("LabelAnzahlGW")->text(), u"5"_s); // the 9-byte answer counts, unlisted
        QVERIFY(QFile::exists(SharedFolders::setups() + u"SETUPGW_0A_1B_2C.GWINI"_s));
        QVERIFY(QFile::exists(SharedFolders::setups() + u"SETUPGW_0A_1B_30.GWINI"_s));
        QVERIFY(!QFile::exists(SharedFolders::setups() + u"SETUPGW_0A_1B_2E.GWINI"_s));
        QVERIFY(!QFile::exists(SharedFolders::setups() + u"SETUPGW_0A_1B_2F.GWINI"_s));
        QVERIFY(m_prompts.shown.isEmpty());
        // The stored file converts back into the gateway's record.
        GWSetupRecord back;
        QVERIFY(SetupFileToRecord(SharedFolders::setups(), GatewayId{{0x0A, 0x1B, 0x2C}}, back));
        QCOMPARE(back.serverPort(), gws[1].record.serverPort());
        QCOMPARE(*m_window->session().lastRead(QHostAddress(u"127.0.0.21"_s))->record, gws[1].record);
    }

    void silentHostDoesNotHoldTheScan()
    {
        openWindow({gw(21, 0x2C, GatewayBehaviour::Silent), gw(22, 0x2D)});
        scanToEnd();
        QCOMPARE(child<QTableWidget>("StringGrid1")->rowCount(), 1);
        QCOMPARE(gridRow(child<QTableWidget>("StringGrid1"), 0)[0], u"127.0.0.22"_s);
        QCOMPARE(child<QLabel>("LabelAnzahlGW")->text(), u"1"_s);
    }

    void stopActsAtOnce()
    {
        openWindow({gw(21, 0x2C, GatewayBehaviour::Silent)});
        child<QPushButton>("ButtonScann")->click();
        QTRY_VERIFY(sim().exchangesStarted() > 0);
        child<QPushButton>("ButtonStop")->click();
        QVERIFY(!m_window->scanRunning());
        QTRY_COMPARE(sim().openConnections(), 0);
        QCOMPARE(child<QLabel>("LabelAnzahlGW")->text(), u"0"_s);
    }

    void refusedSegmentAndKey_data()
    {
        QTest::addColumn<QString>("segment");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("message");
        const QString key = u"7C3E9A15D2084BF6E1A05C93D76F2B48"_s;
        QTest::newRow("part above 255")
            << u"256"_s << key
            << u"Ungültiges IP-Segment: \"256.0.0\". Erlaubt sind drei ganze Zahlen von 0 bis 255."_s;
        QTest::newRow("not a number")
            << u"x"_s << key << u"Ungültiges IP-Segment: \"x.0.0\". Erlaubt sind drei ganze Zahlen von 0 bis 255."_s;
        QTest::newRow("key too short") << u"127"_s << key.left(31)
                                       << u"Der Master Key muss aus genau 32 Hex-Ziffern (0-9, A-F) bestehen."_s;
    }
    void refusedSegmentAndKey()
    {
        QFETCH(QString, segment);
        QFETCH(QString, key);
        QFETCH(QString, message);
        openWindow({});
        child<QLineEdit>("EditIP0")->setText(segment);
        child<QLineEdit>("EditMasterKey")->setText(key);
        child<QPushButton>("ButtonScann")->click();
        QVERIFY(!m_window->scanRunning());
        QCOMPARE(m_prompts.texts(), QStringList{message});
    }

    // Two addresses report one gateway ID: both rows say so, with both addresses as tooltip.
    void sameGatewayIdAtTwoAddresses()
    {
        openWindow({gw(21, 0x2C), gw(22, 0x2C), gw(23, 0x2E)});
        m_window->session().setTimings(ExchangeTimings().scaledDown(10));
        scanToEnd();
        auto* grid = child<QTableWidget>("StringGrid1");
        QCOMPARE(grid->rowCount(), 3);
        for (int row : {0, 1}) {
            QCOMPARE(grid->item(row, 1)->text(), u"0A.1B.2C"_s);
            QCOMPARE(grid->item(row, 2)->text(), u"GWID doppelt"_s);
            QCOMPARE(grid->item(row, 2)->toolTip(), u"GWID doppelt an 127.0.0.21, 127.0.0.22"_s);
        }
        QCOMPARE(gridRow(grid, 2), (QStringList{u"127.0.0.23"_s, u"0A.1B.2E"_s, u"1.4.12"_s}));
        QCOMPARE(grid->item(2, 2)->toolTip(), QString());
    }

    void doubleClickOnWrongKeyRow()
    {
        openWindow({gw(23, 0x2E, GatewayBehaviour::WrongKey)});
        scanToEnd();
        QSignalSpy open(m_window.get(), &TTelvaro::openGatewaySetupRequested);
        auto* grid = child<QTableWidget>("StringGrid1");
        grid->setCurrentCell(0, 0);
        emit grid->cellDoubleClicked(0, 0);
        QCOMPARE(m_prompts.texts(), QStringList{u"Keine gültigen Daten empfangen da der Master Key nicht stimmt!"_s});
        QCOMPARE(open.count(), 0);
    }

    // One row per kind of message; the session's own test holds the full table of outcomes.
    void transferMessages_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<bool>("acknowledged");
        QTest::addColumn<QString>("message");
        QTest::newRow("acknowledged") << int(GatewayBehaviour::Normal) << true << u"Die Übertragung war erfolgreich!"_s;
        QTest::newRow("not acknowledged")
            << int(GatewayBehaviour::Nak) << false << u"Die Übertragung war NICHT erfolgreich!"_s;
    }
    void transferMessages()
    {
        QFETCH(int, behaviour);
        QFETCH(bool, acknowledged);
        QFETCH(QString, message);
        openWindow({gw(21, 0x2C, GatewayBehaviour(behaviour))});
        scanToEnd();
        QSignalSpy finished(m_window.get(), &TTelvaro::setupTransferFinished);
        QSignalSpy succeeded(m_window.get(), &TTelvaro::setupTransferSucceeded);
        const GatewayId id{{0x0A, 0x1B, 0x2C}};
        QVERIFY(m_window->session().sendSetupFile(QHostAddress(u"127.0.0.21"_s), id, id));
        QVERIFY(!child<QPushButton>("ButtonScann")->isEnabled());
        QVERIFY(finished.wait(6000));
        QTest::qWait(200); // nothing more may follow
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toBool(), acknowledged);
        QCOMPARE(succeeded.count(), acknowledged ? 1 : 0);
        QCOMPARE(m_prompts.texts(), QStringList{message});
        QTRY_VERIFY(child<QPushButton>("ButtonScann")->isEnabled()); // once the setup is sent
        QCOMPARE(sim().received().size(), 1);
    }

    // What the window shows of the read-back: the Geprüft column, the status line, one warning for
    // a difference or silence, and for a new key one question whose answer alone changes the key.
    void readBackInTheWindow_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QString>("key");      // written into the setup file before sending
        QTest::addColumn<int>("answer");       // to the master key question
        QTest::addColumn<QString>("verified"); // the Geprüft cell
        QTest::addColumn<QStringList>("prompts");
        QTest::addColumn<QString>("mainKey"); // the main window's key afterwards
        const QString ok = u"Die Übertragung war erfolgreich!"_s;
        const QString defaultKey = u"7C3E9A15D2084BF6E1A05C93D76F2B48"_s;
        const QString newKey = u"00112233445566778899AABBCCDDEEFF"_s;
        const QString question =
            u"Das Gateway verwendet jetzt den Master Key 00112233445566778899AABBCCDDEEFF. Als Master Key übernehmen?"_s;
        QTest::newRow("verified") << int(GatewayBehaviour::Normal) << QString() << 0 << u"ja"_s << QStringList{ok}
                                  << defaultKey;
        QTest::newRow("keeps its old setup")
            << int(GatewayBehaviour::KeepsOld) << QString() << 0 << u"abweichend"_s
            << QStringList{ok, u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) meldet ein anderes Setup als gesendet:\n"
                               u"Server Port: gesendet 5099, gelesen 4711"_s}
            << defaultKey;
        QTest::newRow("new key taken") << int(GatewayBehaviour::Normal) << newKey << int(Prompter::Yes) << u"ja"_s
                                       << QStringList{ok, question} << newKey;
        QTest::newRow("new key declined") << int(GatewayBehaviour::Normal) << newKey << int(Prompter::No) << u"ja"_s
                                          << QStringList{ok, question} << defaultKey;
    }
    void readBackInTheWindow()
    {
        QFETCH(int, behaviour);
        QFETCH(QString, key);
        QFETCH(int, answer);
        QFETCH(QString, verified);
        QFETCH(QStringList, prompts);
        QFETCH(QString, mainKey);
        SimulatedGateway g = gw(21, 0x2C, GatewayBehaviour(behaviour));
        g.restartDelayMs = 200;
        openWindow({g});
        ExchangeTimings timings = fastTimings();
        timings.verifyWindowMs = 500; // past the restart; a differing gateway is reported when it ends
        m_window->session().setTimings(timings);
        scanToEnd();
        const GatewayId id{{0x0A, 0x1B, 0x2C}};
        {
            IniFile ini = IniFile::load(SetupFilePath(SharedFolders::setups(), id)).value();
            QVERIFY(ini.writeString(u"NETZWERK"_s, u"PORT"_s, u"5099"_s));
            if (!key.isEmpty())
                QVERIFY(ini.writeString(u"NETZWERK"_s, u"MASTERKEY"_s, key));
            QVERIFY(ini.save());
        }
        if (answer)
            m_prompts.answers = {Prompter::Ok, Prompter::Button(answer)};
        QSignalSpy done(&m_window->session(), &GatewaySession::verificationFinished);
        QVERIFY(m_window->session().sendSetupFile(QHostAddress(u"127.0.0.21"_s), id, id));
        QVERIFY(done.wait(8000));
        QCOMPARE(m_prompts.texts(), prompts);
        QCOMPARE(child<QTableWidget>("StringGrid1")->item(0, 3)->text(), verified);
        QVERIFY(child<QLabel>("Label5")->text().startsWith(u"Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21)"_s));
        QCOMPARE(child<QLineEdit>("EditMasterKey")->text(), mainKey);
        QCOMPARE(m_window->session().masterKey(), *FieldRules::masterKey(mainKey));
        QVERIFY(child<QPushButton>("ButtonScann")->isEnabled());
    }

    // Only the sending holds the scan back: during the read-back "Scann" works, the row says the
    // check runs, and a scan started then does not end it.
    void readBackRunsAlongsideAScan()
    {
        writeSettings(u"[TCP]\r\nVERIFYTIMEOUT=3000\r\n"_s);
        SimulatedGateway g = gw(21, 0x2C);
        g.restartDelayMs = 600; // a new master key: the gateway restarts and answers nothing meanwhile
        openWindow({g});
        m_window->session().setTimings(ExchangeTimings().scaledDown(10));
        scanToEnd();
        const GatewayId id{{0x0A, 0x1B, 0x2C}};
        QVERIFY(editSetupFile(SetupFilePath(SharedFolders::setups(), id),
                              {{u"NETZWERK/MASTERKEY"_s, u"00112233445566778899AABBCCDDEEFF"_s}}));
        m_prompts.answers = {Prompter::Ok, Prompter::No};
        QSignalSpy sent(&m_window->session(), &GatewaySession::transferFinished);
        QSignalSpy checked(&m_window->session(), &GatewaySession::verificationFinished);
        QVERIFY(m_window->session().sendSetupFile(QHostAddress(u"127.0.0.21"_s), id, id));
        auto* scann = child<QPushButton>("ButtonScann");
        QVERIFY(!scann->isEnabled()); // while the setup is on its way
        QVERIFY(sent.wait(5000));
        QCOMPARE(checked.count(), 0);
        QVERIFY(scann->isEnabled());
        auto* grid = child<QTableWidget>("StringGrid1");
        QCOMPARE(grid->item(0, 3)->text(), u"…"_s);

        QSignalSpy scanned(m_window.get(), &TTelvaro::scanFinished);
        scann->click();
        QVERIFY(m_window->scanRunning());
        QTRY_COMPARE_WITH_TIMEOUT(checked.count(), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(scanned.count(), 1, 5000);
        const auto report = checked.first().first().value<SetupVerifier::Report>();
        QCOMPARE(report.result, SetupVerifier::Report::Result::Verified);
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(gridRow(grid, 0), (QStringList{u"127.0.0.21"_s, u"0A.1B.2C"_s, u"1.4.12"_s}));
        QCOMPARE(grid->item(0, 3)->text(), u"ja"_s);
        QCOMPARE(m_prompts.texts().first(), u"Die Übertragung war erfolgreich!"_s);
        QVERIFY(m_prompts.texts().last().startsWith(u"Das Gateway verwendet jetzt den Master Key"_s));
        QVERIFY(scann->isEnabled());
    }

    void rowFollowsTheGatewayToItsNewAddress()
    {
        writeSettings(u"[TCP]\r\nVERIFYTIMEOUT=3000\r\n"_s);
        SimulatedGateway g = gw(21, 0x2C);
        g.restartDelayMs = 200;
        openWindow({g});
        scanToEnd();
        const GatewayId id{{0x0A, 0x1B, 0x2C}};
        const QString file = SetupFilePath(SharedFolders::setups(), id);
        QVERIFY(editSetupFile(file, {{u"NETZWERK/DHCP"_s, u"0"_s}, {u"NETZWERK/FEST_IP"_s, u"127.0.0.42"_s}}));
        QSignalSpy done(&m_window->session(), &GatewaySession::verificationFinished);
        QVERIFY(m_window->session().sendSetupFile(QHostAddress(u"127.0.0.21"_s), id, id));
        QVERIFY(done.wait(8000));
        auto* grid = child<QTableWidget>("StringGrid1");
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(gridRow(grid, 0), (QStringList{u"127.0.0.42"_s, u"0A.1B.2C"_s, u"1.4.12"_s}));
        QCOMPARE(grid->item(0, 3)->text(), u"ja"_s);
        // The file now says what the gateway reports: its new address, written as the conversion writes it.
        QCOMPARE(IniFile::load(file).value().readString(u"NETZWERK"_s, u"FEST_IP"_s), u"127.000.000.042"_s);
        QCOMPARE(m_prompts.texts(), QStringList{u"Die Übertragung war erfolgreich!"_s});
    }

    // The list's context menu: a template for the marked rows, the dry run shown first, then the
    // results in a table; the unmarked gateway is not touched.
    void applyTemplateToMarkedRows()
    {
        writeSettings(u"[TCP]\r\nVERIFYTIMEOUT=2000\r\n"_s);
        openWindow({gw(21, 0x2C), gw(22, 0x2D, GatewayBehaviour::KeepsOld), gw(23, 0x2E)});
        scanToEnd();
        auto* grid = child<QTableWidget>("StringGrid1");
        grid->selectRow(0);
        grid->selectionModel()->select(grid->model()->index(1, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_prompts.fileNames = {testData(u"template_fleet.GWINI"_s)};
        m_prompts.answers = {Prompter::Yes, Prompter::Ok};
        auto* actions = m_window->findChild<GatewayListActions*>();
        QVERIFY(actions);
        QSignalSpy done(actions, &GatewayListActions::applyFinished);
        child<QAction>("ActionApplyTemplate")->trigger();
        QVERIFY(done.wait(15000));

        QCOMPARE(m_prompts.fileRequests.size(), 1);
        QCOMPARE(m_prompts.fileRequests.first().filter, u"Gateway Setup  (*.gwini)|*.GWINI"_s);
        QCOMPARE(m_prompts.tables.size(), 2);
        const ScriptedPrompter::Table& dry = m_prompts.tables[0];
        QCOMPARE(dry.text, u"Vorlage template_fleet.GWINI auf 2 markierte Gateways anwenden? So würden sich ihre "
                           u"Setups ändern:"_s);
        QCOMPARE(dry.headers, (QStringList{u"IP"_s, u"GWID"_s, u"Ergebnis"_s, u"Grund"_s, u"Änderungen"_s}));
        QCOMPARE(dry.rows.size(), 2);
        QVERIFY2(plainCell(dry.rows[0][4])
                     .startsWith(u"Server (DNS Name oder IP Adresse): collector.mbus.lan → flotte.example.net"_s),
                 qPrintable(dry.rows[0][4]));
        QCOMPARE(dry.rows[0][2], u"würde gesendet"_s);
        QCOMPARE(dry.buttons, Prompter::Buttons(Prompter::Yes | Prompter::No));
        const ScriptedPrompter::Table& result = m_prompts.tables[1];
        QCOMPARE(result.text, u"Ergebnis der Vorlage template_fleet.GWINI:"_s);
        QCOMPARE(result.rows[0].mid(0, 2), (QStringList{u"127.0.0.21"_s, u"0A.1B.2C"_s}));
        QCOMPARE(result.rows[0][2], u"übernommen und geprüft"_s);
        QCOMPARE(result.rows[1][2], u"bestätigt, aber abweichend"_s);
        QCOMPARE(grid->item(0, 3)->text(), u"ja"_s);
        QCOMPARE(grid->item(1, 3)->text(), u"abweichend"_s);
        QCOMPARE(grid->item(2, 3)->text(), QString());
        QCOMPARE(child<QLabel>("Label5")->text(),
                 u"Vorlage template_fleet.GWINI: 1 übernommen und geprüft · 1 bestätigt, aber abweichend"_s);
        QCOMPARE(sim().received().size(), 2);
        QVERIFY2(m_prompts.shown.isEmpty(), qPrintable(m_prompts.texts().join(u'\n'))); // the table says it all
    }

    // A status text wider than the window is cut in view and whole in its tooltip; the window keeps
    // its width.
    void longStatusNeverWidensTheWindow()
    {
        openWindow({});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        const int width = m_window->width();
        const QString csv = m_docs->file(u"Gateways_im_Heizungskeller_Nord_mit_allen_Zaehlern_des_Gebaeudes_"
                                         u"Birkenweg_12_bis_18_Stand_Dezember.csv"_s);
        m_prompts.fileNames = {csv};
        child<QAction>("ActionExportList")->trigger();
        auto* status = child<QLabel>("Label5");
        QCOMPARE(status->text(), u"Liste exportiert: "_s + csv);
        QCOMPARE(status->toolTip(), status->text());
        QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) > width); // wider than the window
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        m_window->centralWidget()->layout()->activate();
        QCOMPARE(m_window->width(), width);
    }

    // The template dialog offers a check box per field group, the first three ticked; the groups
    // chosen decide what the dry run would change.
    void templateFieldGroups_data()
    {
        QTest::addColumn<QList<bool>>("chosen"); // empty: cancelled
        QTest::addColumn<QStringList>("labels"); // the changes the dry run names for the first gateway
        QTest::addColumn<QString>("message");    // instead of a table
        QTest::newRow("as offered") << QList<bool>{true, true, true, false, false, false}
                                    << QStringList{u"Server (DNS Name oder IP Adresse)"_s, u"Server Port"_s,
                                                   u"Verbindungsintervall"_s, u"wM-Bus Mode"_s}
                                    << QString();
        QTest::newRow("server and radio IDs")
            << QList<bool>{true, false, false, false, false, true}
            << QStringList{u"Server (DNS Name oder IP Adresse)"_s, u"Server Port"_s, u"Funk-IDs"_s} << QString();
        QTest::newRow("none") << QList<bool>(6, false) << QStringList()
                              << u"Bitte mindestens eine Feldgruppe wählen."_s;
        QTest::newRow("cancelled") << QList<bool>() << QStringList() << QString();
    }
    void templateFieldGroups()
    {
        QFETCH(QList<bool>, chosen);
        QFETCH(QStringList, labels);
        QFETCH(QString, message);
        openWindow({gw(21, 0x2C)});
        m_window->session().setTimings(ExchangeTimings().scaledDown(10));
        scanToEnd();
        child<QTableWidget>("StringGrid1")->selectRow(0);
        m_prompts.fileNames = {testData(u"template_fleet.GWINI"_s)};
        m_prompts.choiceAnswers = {chosen.isEmpty() ? std::nullopt : std::optional<QList<bool>>(chosen)};
        m_prompts.answers = {Prompter::No};
        child<QAction>("ActionApplyTemplate")->trigger();

        QCOMPARE(m_prompts.choosings.size(), 1);
        QStringList offered;
        for (const Prompter::Choice& c : m_prompts.choosings.first().choices)
            offered << c.label + (c.checked ? u" [x]"_s : QString());
        QCOMPARE(offered, (QStringList{u"Server [x]"_s, u"Intervall [x]"_s, u"Funkmodus [x]"_s, u"Hersteller-Filter"_s,
                                       u"Mediumcode-Filter"_s, u"Funk-ID-Liste"_s}));
        QCOMPARE(m_prompts.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(m_prompts.tables.size(), labels.isEmpty() ? 0 : 1);
        if (!labels.isEmpty()) {
            QStringList named;
            for (const QString& change : plainCell(m_prompts.tables.first().rows[0][4]).split(u", "_s))
                if (change.contains(u": "_s))
                    named << change.section(u": "_s, 0, 0);
            QCOMPARE(named, labels);
        }
        QVERIFY(sim().received().isEmpty());
    }

    void applyWithoutMarkedRowsAsksForThem()
    {
        openWindow({gw(21, 0x2C)});
        scanToEnd();
        child<QTableWidget>("StringGrid1")->clearSelection();
        child<QAction>("ActionApplyTemplate")->trigger();
        QCOMPARE(m_prompts.texts(), QStringList{u"Bitte zuerst Gateways in der Liste markieren."_s});
        QVERIFY(m_prompts.fileRequests.isEmpty());
    }

    // The second scan of a segment: the change per row, the missing gateway greyed after the found
    // ones, the sum-up in the status line; and the list exported as CSV.
    void secondScanShowsChangesAndExports()
    {
        openWindow({gw(21, 0x2C), gw(22, 0x2D)});
        scanToEnd();
        QCOMPARE(child<QLabel>("Label5")->text(), u"Scan beendet: 2 Antworten; erster Scan dieses Segments"_s);
        const quint16 port = sim().port();
        sim().close();
        QVERIFY(sim().listen({gw(21, 0x2C)}, port));
        scanToEnd();
        auto* grid = child<QTableWidget>("StringGrid1");
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->horizontalHeaderItem(4)->text(), u"Änderung"_s);
        QCOMPARE(grid->item(0, 4)->text(), u"unverändert"_s);
        QCOMPARE(gridRow(grid, 1), (QStringList{u"127.0.0.22"_s, u"0A.1B.2D"_s, u"1.4.12"_s}));
        QCOMPARE(grid->item(1, 4)->text(), u"fehlt"_s);
        QVERIFY(!(grid->item(1, 0)->flags() & Qt::ItemIsSelectable)); // greyed, not to be marked
        QCOMPARE(child<QLabel>("Label5")->text(), u"Scan beendet: 1 Antworten; 1 fehlt"_s);

        const QString csv = m_docs->file(u"liste.csv"_s);
        m_prompts.fileNames = {csv};
        child<QAction>("ActionExportList")->trigger();
        QCOMPARE(m_prompts.fileRequests.last().folder, m_docs->file(u"Gateways_127.0.0.csv"_s));
        QCOMPARE(child<QLabel>("Label5")->text(), u"Liste exportiert: "_s + csv);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "\xEF\xBB\xBFIP;GWID;Firmware;Zustand;Änderung;Setup-Datei\r\n"
                                 "127.0.0.21;0A.1B.2C;1.4.12;gespeichert;unverändert;SETUPGW_0A_1B_2C.GWINI\r\n"
                                 "127.0.0.22;0A.1B.2D;1.4.12;;fehlt;\r\n"_ba);
    }

    // A segment outside the PC's networks (here every one, the scan still on loopback): asked for once; a "Ja"
    // is kept in the settings file and holds for the next run, a "Nein" is asked again.
    void outsideSegmentIsAskedForOnce_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("asked"); // over two scans in this run and one in the next
        QTest::addColumn<int>("scans");
        QTest::addColumn<QString>("kept"); // [TCP] CONFIRMEDSEGMENTS afterwards
        QTest::newRow("Ja") << QString() << int(Prompter::Yes) << 1 << 3 << u"127.0.0"_s;
        QTest::newRow("Nein") << QString() << int(Prompter::No) << 3 << 0 << QString();
        QTest::newRow("kept from an earlier run") << u"[TCP]\r\nCONFIRMEDSEGMENTS=198.51.100, 127.0.0,x\r\n"_s
                                                  << int(Prompter::No) << 0 << 3 << u"198.51.100, 127.0.0,x"_s;
        QTest::newRow("another segment kept") << u"[TCP]\r\nCONFIRMEDSEGMENTS=198.51.100\r\n"_s << int(Prompter::Yes)
                                              << 1 << 3 << u"198.51.100,127.0.0"_s;
    }
    void outsideSegmentIsAskedForOnce()
    {
        QFETCH(QString, settings);
        QFETCH(int, answer);
        QFETCH(int, asked);
        QFETCH(int, scans);
        QFETCH(QString, kept);
        if (!settings.isEmpty())
            writeSettings(settings);
        const QString question =
            u"Das Segment 127.0.0 liegt in keinem lokalen IPv4-Netz dieses PCs. Trotzdem absuchen?"_s;
        m_prompts.answers = {Prompter::Button(answer), Prompter::Button(answer), Prompter::Button(answer)};
        int scanned = 0;
        for (int run = 0; run < 2; ++run) {
            openWindow({}, true);
            m_window->session().setTimings(ExchangeTimings().scaledDown(10));
            for (int click = 0; click < 2 - run; ++click) {
                QSignalSpy done(m_window.get(), &TTelvaro::scanFinished);
                child<QPushButton>("ButtonScann")->click();
                if (m_window->scanRunning()) {
                    ++scanned;
                    QVERIFY(done.wait(5000));
                }
            }
            m_window->close();
            m_window.reset();
        }
        QCOMPARE(m_prompts.texts().count(question), asked);
        QCOMPARE(scanned, scans);
        QCOMPARE(IniFile::load(SharedFolders::settingsFile()).value().readString(u"TCP"_s, u"CONFIRMEDSEGMENTS"_s),
                 kept);
    }

    // A history file that cannot be read fails every scan alike: the user hears of it once per run.
    void unreadableHistoryIsReportedOncePerRun()
    {
        QVERIFY(QDir().mkpath(scanHistoryPath())); // a folder in its place
        openWindow({gw(21, 0x2C)});
        m_window->session().setTimings(ExchangeTimings().scaledDown(10));
        scanToEnd();
        QCOMPARE(m_prompts.shown.size(), 1);
        QCOMPARE(m_prompts.shown.first().icon, Prompter::Icon::Warning);
        QVERIFY(m_prompts.texts().first().contains(scanHistoryPath()));
        scanToEnd();
        QCOMPARE(m_prompts.shown.size(), 1);
        QCOMPARE(gridRow(child<QTableWidget>("StringGrid1"), 0)[0], u"127.0.0.21"_s);
    }

    void segmentOutsideTheLocalNetworksIsAskedFor()
    {
        openWindow({});
        child<QLineEdit>("EditIP0")->setText(u"203"_s);
        child<QLineEdit>("EditIP1")->setText(u"0"_s);
        child<QLineEdit>("EditIP2")->setText(u"113"_s);
        m_prompts.answers = {Prompter::No};
        child<QPushButton>("ButtonScann")->click();
        QCOMPARE(
            m_prompts.texts(),
            QStringList{u"Das Segment 203.0.113 liegt in keinem lokalen IPv4-Netz dieses PCs. Trotzdem absuchen?"_s});
        QCOMPARE(m_prompts.shown.first().buttons, Prompter::Buttons(Prompter::Yes | Prompter::No));
        QVERIFY(!m_window->scanRunning()); // answered No: nothing is contacted
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
