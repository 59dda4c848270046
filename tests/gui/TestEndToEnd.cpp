#include "app/Startup.h"
#include "base/IniFile.h"
#include "base/SharedFolders.h"
#include "common/Prompter.h"
#include "dialog/TFormGWsetup.h"
#include "setups/SetupConversion.h"

#include "GatewaySimulator.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTableWidget>

using namespace Qt::StringLiterals;

// The installer's whole path: scan, open a gateway, edit, import, save, and the gateway receives it.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDocuments> m_docs;
    std::unique_ptr<GatewaySimulator> m_sim;
    ScriptedPrompter m_prompts;
    Windows m_windows;

    template <typename T> T* in(QWidget* window, const char* name)
    {
        return findControl<T>(window, QString::fromLatin1(name));
    }

    void scanAndOpen(int row)
    {
        TTelvaro* main = m_windows.main;
        in<QLineEdit>(main, "EditIP0")->setText(u"127"_s);
        in<QLineEdit>(main, "EditIP1")->setText(u"0"_s);
        in<QLineEdit>(main, "EditIP2")->setText(u"0"_s);
        QSignalSpy done(main, &TTelvaro::scanFinished);
        in<QPushButton>(main, "ButtonScann")->click();
        QVERIFY(done.wait(20000));
        auto* grid = in<QTableWidget>(main, "StringGrid1");
        QCOMPARE(grid->rowCount(), 2);
        grid->setCurrentCell(row, 0);
        emit grid->cellDoubleClicked(row, 0);
        QVERIFY(m_windows.dialog->isVisible());
    }

private slots:
    void init()
    {
        m_docs = std::make_unique<ScratchDocuments>();
        m_sim = std::make_unique<GatewaySimulator>();
        m_prompts.clear();
        Prompter::setInstance(&m_prompts);
    }
    void cleanup()
    {
        destroyWindows(m_windows);
        m_sim.reset();
        Prompter::setInstance(nullptr);
    }

    void germanStandardButtonsAndLook()
    {
        prepareApplication(*qApp);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), u"&Ja"_s);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Abort"), u"Abbrechen"_s);
        QCOMPARE(qApp->style()->name(), u"fusion"_s);
        QVERIFY(qApp->palette().color(QPalette::Window).lightness() < 80); // the dark look
    }

    void editImportSaveAndSend_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<bool>("acknowledged");
        QTest::newRow("acknowledged") << int(GatewayBehaviour::Normal) << true;
        QTest::newRow("NAK") << int(GatewayBehaviour::Nak) << false;
    }
    void editImportSaveAndSend()
    {
        QFETCH(int, behaviour);
        QFETCH(bool, acknowledged);
        SimulatedGateway first =
            SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.21"_s), GatewayId{{0x0A, 0x1B, 0x2C}});
        SimulatedGateway second =
            SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.22"_s), GatewayId{{0x0A, 0x1B, 0x2D}});
        second.behaviour = GatewayBehaviour(behaviour);
        second.record.setFirmwareVersion({2, 7, 1});
        QVERIFY(m_sim->listen({first, second}, 0));
        TTelvaro::Options options;
        options.port = m_sim->port();
        m_windows = createWindows(options);

        scanAndOpen(1);
        TFormGWsetup* dialog = m_windows.dialog;
        QCOMPARE(dialog->windowTitle(), u"Getaway Setup an IP: 127.0.0.22"_s);
        QCOMPARE(in<QLineEdit>(dialog, "EditGWID0")->text(), u"2D"_s);
        QCOMPARE(in<QLineEdit>(dialog, "EditPort")->text(), QString::number(second.record.serverPort()));
        QVERIFY(!in<QLineEdit>(dialog, "EditPort")->isEnabled());

        // Another program's keys in the stored file must survive the save.
        const QString file = SharedFolders::setups() + u"SETUPGW_0A_1B_2D.GWINI"_s;
        {
            IniFile ini = IniFile::load(file).value();
            QVERIFY(ini.writeString(u"NETZWERK"_s, u"KUNDE"_s, u"Hausverwaltung Nord"_s));
            QVERIFY(ini.writeString(u"ABRECHNUNG"_s, u"LETZTER_EXPORT"_s, u"01.11.2026"_s));
            QVERIFY(ini.save());
        }

        m_prompts.answers = {Prompter::Yes};
        in<QPushButton>(dialog, "ButtonProfiMode")->click();
        QCOMPARE(m_prompts.texts().last(), u"Sind Sie sicher?"_s);
        QVERIFY(in<QLineEdit>(dialog, "EditPort")->isEnabled());
        in<QLineEdit>(dialog, "EditServerDNS")->setText(u"server.example.org"_s);
        in<QLineEdit>(dialog, "EditPort")->setText(u"5123"_s);
        in<QRadioButton>(dialog, "RadioButtonProTag")->setChecked(true);
        in<QRadioButton>(dialog, "RadioButtonS")->setChecked(true);
        in<QCheckBox>(dialog, "CheckBoxFiltManCode")->setChecked(true);
        in<QLineEdit>(dialog, "EditHS1")->setText(u"ABC"_s);
        auto* ids = in<QListWidget>(dialog, "ListBoxFiltIDs");
        ids->clear();
        in<QLineEdit>(dialog, "EditID")->setText(u"42"_s);
        in<QPushButton>(dialog, "ButtonADD")->click();
        m_prompts.fileNames = {testData(u"site_Birkenweg.route"_s)};
        in<QPushButton>(dialog, "ButtonImportID")->click();
        QCOMPARE(ids->count(), 5); // 42 and the four storable IDs of the device list
        m_prompts.clear();

        QSignalSpy finished(m_windows.main, &TTelvaro::setupTransferFinished);
        in<QPushButton>(dialog, "ButtonSAVE")->click();
        QVERIFY(!in<QPushButton>(dialog, "ButtonSAVE")->isEnabled()); // no second transfer over the first
        QVERIFY(finished.wait(8000));
        QTest::qWait(100);
        QCOMPARE(finished.count(), 1);
        QVERIFY(in<QPushButton>(dialog, "ButtonSAVE")->isEnabled());

        const IniFile saved = IniFile::load(file).value();
        QCOMPARE(saved.readString(u"NETZWERK"_s, u"SRV_DNS"_s), u"server.example.org"_s);
        QCOMPARE(saved.readInteger(u"NETZWERK"_s, u"PORT"_s, 0), 5123);
        QCOMPARE(saved.readString(u"NETZWERK"_s, u"KUNDE"_s), u"Hausverwaltung Nord"_s);
        QCOMPARE(saved.readString(u"ABRECHNUNG"_s, u"LETZTER_EXPORT"_s), u"01.11.2026"_s);
        QCOMPARE(saved.keys(u"WM-BUS_IDS"_s).size(), 5);
        QCOMPARE(saved.readString(u"WM-BUS_IDS"_s, u"ID2"_s), u"271828"_s);

        // What the gateway got is exactly the file, with its own reserved bytes and firmware version.
        GWSetupRecord expected = second.record;
        QVERIFY(SetupFileToRecord(SharedFolders::setups(), second.id, expected));
        QCOMPARE(expected.firmwareVersion(), (std::array<quint8, 3>{2, 7, 1}));
        QCOMPARE(expected.serverPort(), quint16(5123));
        QVERIFY(!expected.wmbusFlag(GWSetupRecord::ModeT));
        QVERIFY(expected.networkFlag(GWSetupRecord::ReportDaily));
        QCOMPARE(expected.radioIdSlot(0), 0x42u);
        QCOMPARE(m_sim->received().size(), 1);
        QVERIFY(m_sim->received().first().wellFormed);
        QCOMPARE(m_sim->received().first().address, QHostAddress(u"127.0.0.22"_s));
        QCOMPARE(m_sim->received().first().record, expected);

        if (acknowledged) {
            QCOMPARE(m_prompts.texts(), QStringList{u"Die Übertragung war erfolgreich!"_s});
            QVERIFY(!dialog->isVisible());
        } else {
            QCOMPARE(m_prompts.texts(), QStringList{u"Die Übertragung war NICHT erfolgreich!"_s});
            QVERIFY(dialog->isVisible());
            QCOMPARE(in<QLineEdit>(dialog, "EditServerDNS")->text(), u"server.example.org"_s);
            QCOMPARE(ids->count(), 5);
        }
    }

    void loadingAnotherFileCopiesItToTheOpenedGateway()
    {
        SimulatedGateway first =
            SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.21"_s), GatewayId{{0x0A, 0x1B, 0x2C}});
        SimulatedGateway second =
            SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.22"_s), GatewayId{{0x0A, 0x1B, 0x2D}});
        first.record.setServerPort(7001);
        QVERIFY(m_sim->listen({first, second}, 0));
        TTelvaro::Options options;
        options.port = m_sim->port();
        m_windows = createWindows(options);
        scanAndOpen(1);
        // "Laden" of the first gateway's file while the dialog is open for the second one: the save
        // writes the first gateway's file, and the gateway at the opened address gets that setup
        // only after confirming it is the gateway the list showed there.
        m_prompts.fileNames = {SharedFolders::setups() + u"SETUPGW_0A_1B_2C.GWINI"_s};
        in<QPushButton>(m_windows.dialog, "ButtonLOAD")->click();
        QCOMPARE(in<QLineEdit>(m_windows.dialog, "EditGWID0")->text(), u"2C"_s);
        QSignalSpy finished(m_windows.main, &TTelvaro::setupTransferFinished);
        in<QPushButton>(m_windows.dialog, "ButtonSAVE")->click();
        QVERIFY(finished.wait(8000));
        QCOMPARE(m_sim->received().size(), 1);
        QCOMPARE(m_sim->received().first().address, QHostAddress(u"127.0.0.22"_s));
        QCOMPARE(m_sim->received().first().record.serverPort(), quint16(7001));
        QCOMPARE(m_sim->received().first().record.gatewayId(), first.id); // the file's ID, as saved
    }
};

QTEST_MAIN(TestEndToEnd)
#include "TestEndToEnd.moc"
