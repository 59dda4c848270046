#include "TestSupport.h"

#include "base/IniFile.h"
#include "base/SharedFolders.h"
#include "common/Prompter.h"
#include "dialog/TFormGWsetup.h"
#include "session/GatewaySession.h"
#include "setups/SetupConversion.h"

#include "GatewaySimulator.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString BadAddress = u"Das ist keine gültige IP-Adresse="_s;
const QString Gwid = u"0A.1B.2C"_s;
const QString Ip = u"127.0.0.21"_s;

GatewayId idOf(const QString& text)
{
    return GatewayId::fromText(text).value();
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSetupSave : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void savesAndSends();
    void handOverStartsFromReceivedRecord();
    void savesNewFileAfterIgnore();
    void twoFailingAddresses();
    void dhcpWithEmptyFixedAddress();
    void serverEntry_data();
    void serverEntry();
    void radioIdsWithoutLeadingZeros();
    void modeSOppositeOfModeT();
    void foreignKeys();
    void createsMissingFolders();
    void folderCannotBeCreated();
    void refusedValueLeavesFile_data();
    void refusedValueLeavesFile();
    void unencodableTextLeavesFile();
    void loadedFileNamesTheSave();
    void withoutSession();
    void refusedGatewayGetsNothing();
    void marksWhatTheGatewayWouldChange();
    void fifoInPlaceOfTheSetupFileIsNamed();
    void closeAfterTransfer();
    void buttonsWaitOnlyForTheSending();

private:
    template <typename T> T* control(const QString& name) const { return findControl<T>(m_dialog.get(), name); }
    QLineEdit* edit(const QString& name) const { return control<QLineEdit>(name); }
    void save() { control<QPushButton>(u"ButtonSAVE"_s)->click(); }
    QString setupPath(const QString& pairs = u"0A_1B_2C"_s) const
    {
        return SharedFolders::setups() + u"SETUPGW_"_s + pairs + u".GWINI"_s;
    }
    // Puts a copy of a test file in place as the setup of 0A.1B.2C and opens it.
    void openWith(const QString& dataFile)
    {
        QVERIFY(QDir().mkpath(SharedFolders::setups()));
        QFile::remove(setupPath());
        QVERIFY(QFile::copy(testData(dataFile), setupPath()));
        QFile::setPermissions(setupPath(), QFile::ReadOwner | QFile::WriteOwner);
        readGateway();
        m_dialog->OpenGatewaySetup(idOf(Gwid), QHostAddress(Ip));
        QVERIFY(m_dialog->isVisible());
        QVERIFY(m_prompter.shown.isEmpty());
    }
    void openWithoutFile()
    {
        readGateway();
        m_prompter.answers << Prompter::Ignore;
        m_dialog->OpenGatewaySetup(idOf(Gwid), QHostAddress(Ip));
        m_prompter.clear();
    }
    // The session reads the gateway before the dialog opens for it, as a scan does: only then may
    // a save send anything to it.
    void readGateway()
    {
        if (!m_simHolder->isListening())
            QVERIFY(m_simHolder->listen({m_gateway}, 0));
        m_session.setPort(m_simHolder->port());
        ExchangeTimings timings = ExchangeTimings().scaledDown(5);
        timings.verifyWindowMs = 0; // the read-back is the session's own business
        m_session.setTimings(timings);
        QSignalSpy read(&m_session, &GatewaySession::gatewayRead);
        m_session.readGateway(QHostAddress(Ip));
        QVERIFY(read.wait(5000));
    }
    // Saves and waits for the transfer that the save starts; what the gateway received.
    QList<ReceivedSetup> saveAndSend()
    {
        QSignalSpy finished(&m_session, &GatewaySession::transferFinished);
        save();
        if (!finished.wait(5000))
            qFatal("the save sent nothing");
        return m_simHolder->received();
    }
    // Saves; nothing may be sent.
    void saveSendsNothing()
    {
        QSignalSpy started(&m_session, &GatewaySession::transferStarted);
        save();
        QCOMPARE(started.count(), 0);
        QVERIFY(m_simHolder->received().isEmpty());
    }
    IniFile savedFile(const QString& pairs = u"0A_1B_2C"_s) const
    {
        const Result<IniFile> ini = IniFile::load(setupPath(pairs));
        if (!ini || !ini->existedOnLoad())
            qFatal("no saved file");
        return *ini;
    }

    std::unique_ptr<ScratchDocuments> m_documents;
    ScriptedPrompter m_prompter;
    SimulatedGateway m_gateway = SimulatedGateway::makeDefault(QHostAddress(Ip), idOf(Gwid));
    std::unique_ptr<GatewaySimulator> m_simHolder;
    GatewaySession m_session;
    std::unique_ptr<TFormGWsetup> m_dialog;
};

void TestSetupSave::init()
{
    m_documents = std::make_unique<ScratchDocuments>();
    m_prompter.clear();
    Prompter::setInstance(&m_prompter);
    m_gateway = SimulatedGateway::makeDefault(QHostAddress(Ip), idOf(Gwid));
    m_simHolder = std::make_unique<GatewaySimulator>();
    m_session.setMasterKey(m_gateway.masterKey);
    m_session.setSetupsFolder(SharedFolders::setups());
    m_dialog = std::make_unique<TFormGWsetup>();
    m_dialog->setSession(&m_session);
}

void TestSetupSave::cleanup()
{
    m_dialog.reset();
    m_simHolder.reset();
    Prompter::setInstance(nullptr);
    m_documents.reset();
}

void TestSetupSave::savesAndSends()
{
    openWith(u"dialog_complete.gwini"_s);
    edit(u"EditAnbauort"_s)->setText(u"Dachboden"_s);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const QList<ReceivedSetup> sent = saveAndSend();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    QVERIFY(m_prompter.shown.isEmpty());
    const IniFile ini = savedFile();
    QCOMPARE(ini.readString(u"NETZWERK"_s, u"AORT"_s), u"Dachboden"_s);
    QCOMPARE(ini.readString(u"NETZWERK"_s, u"GW_IP"_s), u"192.168.001.001"_s);
    const QDateTime stamp = QDateTime::fromString(ini.readString(u"SENDEN"_s, u"SENDTIME"_s), u"dd.MM.yyyy hh:mm:ss"_s);
    QVERIFY(stamp.isValid());
    QVERIFY(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after);
    QCOMPARE(ini.readString(u"WM-BUS_IDS"_s, u"ID1"_s), u"42"_s);
    QCOMPARE(edit(u"EditSendTime"_s)->text(), u"02.11.2026 16:40:55"_s); // the dialog stays as it was

    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].address, QHostAddress(Ip));
    QCOMPARE(sent[0].gatewayId, idOf(Gwid));
    QVERIFY(m_dialog->isVisible()); // the main window closes it on the outcome
}

void TestSetupSave::handOverStartsFromReceivedRecord()
{
    // Reserved bytes and firmware version of what the gateway sent must go back to it.
    m_gateway.record.raw()[0] = 0x55;
    m_gateway.record.raw()[20] = 0x66;
    m_gateway.record.raw()[GWSetupRecord::OffFirmware] = 3;
    m_gateway.record.raw()[GWSetupRecord::OffFirmware + 2] = 9;
    openWith(u"dialog_complete.gwini"_s);
    const QList<ReceivedSetup> received = saveAndSend();
    QCOMPARE(received.size(), 1);

    GWSetupRecord expected = m_gateway.record;
    QVERIFY(SetupFileToRecord(SharedFolders::setups(), idOf(Gwid), expected).ok());
    const GWSetupRecord& sent = received[0].record;
    QCOMPARE(sent.toByteArray(), expected.toByteArray());
    QCOMPARE(sent.raw()[0], quint8(0x55));
    QCOMPARE(sent.raw()[20], quint8(0x66));
    QCOMPARE(sent.raw()[GWSetupRecord::OffFirmware + 2], quint8(9));
    QCOMPARE(sent.gatewayId(), idOf(Gwid));
    QCOMPARE(sent.raw()[GWSetupRecord::OffServerPort], quint8(4711 & 0xFF));
    QCOMPARE(sent.raw()[GWSetupRecord::OffServerPort + 1], quint8(4711 >> 8));
}

void TestSetupSave::savesNewFileAfterIgnore()
{
    openWithoutFile();
    QVERIFY(!QFile::exists(setupPath()));
    QCOMPARE(saveAndSend().size(), 1);
    QVERIFY(m_prompter.shown.isEmpty());
    const IniFile ini = savedFile();
    QCOMPARE(ini.readString(u"NETZWERK"_s, u"GW_ID2"_s), u"0A"_s);
    QCOMPARE(ini.readString(u"NETZWERK"_s, u"DNS_IP"_s), u"009.009.009.009"_s);
    QCOMPARE(ini.readString(u"WM-BUS"_s, u"FILTER_MC0"_s), u"7"_s);
}

void TestSetupSave::twoFailingAddresses()
{
    openWithoutFile();
    edit(u"EditFestIP"_s)->setText(u"192.168.1"_s);
    edit(u"EditGW"_s)->setText(u"1.2.3"_s);
    saveSendsNothing();
    QCOMPARE(m_prompter.texts(), (QStringList{BadAddress + u"192.168.1"_s, BadAddress + u"1.2.3"_s}));
    QVERIFY(!QFile::exists(setupPath()));
    QCOMPARE(edit(u"EditGW"_s)->text(), u"1.2.3"_s);
}

void TestSetupSave::dhcpWithEmptyFixedAddress()
{
    openWithoutFile();
    QVERIFY(control<QCheckBox>(u"CheckBoxDHCP"_s)->isChecked());
    edit(u"EditFestIP"_s)->clear();
    saveSendsNothing();
    QCOMPARE(m_prompter.texts(), QStringList{BadAddress});
    QVERIFY(!QFile::exists(setupPath()));
}

void TestSetupSave::serverEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("host name unchecked") << u"zaehler.example.net"_s << true;
    QTest::newRow("letter first, odd text") << u"x..1"_s << true;
    QTest::newRow("digit and letters") << u"1und1.example.net"_s << false;
    QTest::newRow("dot first") << u".example"_s << false;
    QTest::newRow("address") << u"10.0.0.1"_s << true;
    QTest::newRow("address three digits") << u"010.000.000.001"_s << true;
}

void TestSetupSave::serverEntry()
{
    QFETCH(QString, entry);
    QFETCH(bool, accepted);
    openWithoutFile();
    edit(u"EditServerDNS"_s)->setText(entry);
    if (accepted) {
        QCOMPARE(saveAndSend().size(), 1);
        QVERIFY(m_prompter.shown.isEmpty());
        QCOMPARE(savedFile().readString(u"NETZWERK"_s, u"SRV_DNS"_s), entry);
    } else {
        saveSendsNothing();
        QCOMPARE(m_prompter.texts(), QStringList{BadAddress + entry});
        QVERIFY(!QFile::exists(setupPath()));
    }
}

void TestSetupSave::radioIdsWithoutLeadingZeros()
{
    openWithoutFile();
    edit(u"EditID"_s)->setText(u"00000123"_s);
    control<QPushButton>(u"ButtonADD"_s)->click();
    edit(u"EditID"_s)->setText(u"7"_s);
    control<QPushButton>(u"ButtonADD"_s)->click();
    const QList<ReceivedSetup> sent = saveAndSend();
    const IniFile ini = savedFile();
    QCOMPARE(ini.keys(u"WM-BUS_IDS"_s), (QStringList{u"ID0"_s, u"ID1"_s}));
    QCOMPARE(ini.readString(u"WM-BUS_IDS"_s, u"ID0"_s), u"123"_s);
    QCOMPARE(ini.readString(u"WM-BUS_IDS"_s, u"ID1"_s), u"7"_s);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].record.radioIdSlot(0), quint32(0x00000123));
    QCOMPARE(sent[0].record.radioIdSlot(1), quint32(0x00000007));
}

void TestSetupSave::modeSOppositeOfModeT()
{
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("[WM-BUS]\r\nMODET=0\r\nMODES=0\r\n");
    file.close();
    openWithoutFile();
    QVERIFY(m_dialog->LoadSetup(file.fileName(), u"0A"_s, u"1B"_s, u"2C"_s));
    QVERIFY(!control<QRadioButton>(u"RadioButtonT"_s)->isChecked());
    QVERIFY(!control<QRadioButton>(u"RadioButtonS"_s)->isChecked());
    // The loaded file has no addresses; give the save valid ones.
    for (const QString& name : {u"EditFestIP"_s, u"EditGW"_s})
        edit(name)->setText(u"192.168.1.2"_s);
    edit(u"EditServerDNS"_s)->setText(u"server"_s);
    const QList<ReceivedSetup> sent = saveAndSend();
    QVERIFY2(m_prompter.shown.isEmpty(), qPrintable(m_prompter.texts().join(u'\n')));
    const IniFile ini = savedFile();
    QCOMPARE(ini.readString(u"WM-BUS"_s, u"MODET"_s), u"0"_s);
    QCOMPARE(ini.readString(u"WM-BUS"_s, u"MODES"_s), u"1"_s);
    QVERIFY(!(sent[0].record.raw()[GWSetupRecord::OffWMBusFlags] & GWSetupRecord::ModeT));
}

void TestSetupSave::foreignKeys()
{
    openWith(u"dialog_complete.gwini"_s);
    QCOMPARE(saveAndSend().size(), 1);
    const IniFile ini = savedFile();
    QVERIFY(!ini.hasKey(u"WM-BUS"_s, u"FREMD"_s));
    QCOMPARE(ini.readString(u"NETZWERK"_s, u"KUNDE"_s), u"Hausverwaltung Nord"_s);
    QCOMPARE(ini.readString(u"ABRECHNUNG"_s, u"LETZTER_EXPORT"_s), u"01.11.2026"_s);
    QCOMPARE(ini.readString(u"GET"_s, u"GETTIME"_s), u"03.11.2026 09:14:02"_s);
    QCOMPARE(ini.readString(u"SOFTWARE"_s, u"V2"_s), u"4"_s);
    QCOMPARE(ini.keys(u"WM-BUS_IDS"_s), (QStringList{u"ID0"_s, u"ID1"_s, u"ID2"_s}));
    QCOMPARE(ini.readString(u"WM-BUS_IDS"_s, u"ID2"_s), u"87654321"_s);
    // CRLF as the file had it.
    QVERIFY(!bytesOf(setupPath()).contains("\n[WM-BUS]\n"));
}

void TestSetupSave::createsMissingFolders()
{
    openWithoutFile();
    QVERIFY(QDir(m_documents->file(u"MERVANE"_s)).removeRecursively());
    QCOMPARE(saveAndSend().size(), 1);
    QVERIFY(m_prompter.shown.isEmpty());
    QVERIFY(QFileInfo(m_documents->file(u"MERVANE/W_MBUS_SRV_GWSETUPS"_s)).isDir());
    QVERIFY(QFile::exists(setupPath()));
}

void TestSetupSave::folderCannotBeCreated()
{
    openWithoutFile();
    QVERIFY(QDir(m_documents->file(u"MERVANE"_s)).removeRecursively());
    // A file where the maker's folder belongs.
    QFile blocker(m_documents->file(u"MERVANE"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    saveSendsNothing();
    QCOMPARE(m_prompter.shown.size(), 1);
    QCOMPARE(m_prompter.shown[0].icon, Prompter::Icon::Error);
    QCOMPARE(m_prompter.shown[0].text, SharedFolders::setups());
}

void TestSetupSave::refusedValueLeavesFile_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("fixed") << u"EditFestIP"_s << u"1.2.3.4.5"_s << BadAddress + u"1.2.3.4.5"_s;
    QTest::newRow("fixed broadcast of its mask")
        << u"EditFestIP"_s << u"192.168.001.255"_s
        << u"Die feste IP-Adresse 192.168.1.255 ist die Broadcast-Adresse ihres Netzes (Subnetzmaske "
           u"255.255.255.0); ein Gateway kann sie nicht haben."_s;
    QTest::newRow("fixed network of its mask")
        << u"EditFestIP"_s << u"192.168.1.0"_s
        << u"Die feste IP-Adresse 192.168.1.0 ist die Netzadresse ihres Netzes (Subnetzmaske 255.255.255.0); ein "
           u"Gateway kann sie nicht haben."_s;
    QTest::newRow("router") << u"EditGW"_s << u"256.1.1.1"_s << BadAddress + u"256.1.1.1"_s;
    QTest::newRow("mask") << u"EditSubMsk"_s << u"-1.0.0.0"_s << BadAddress + u"-1.0.0.0"_s;
    QTest::newRow("dns") << u"EditDNSSrv"_s << u"1..2.3"_s << BadAddress + u"1..2.3"_s;
    QTest::newRow("ntp") << u"EditNTP"_s << u"a.b.c.d"_s << BadAddress + u"a.b.c.d"_s;
    QTest::newRow("server") << u"EditServerDNS"_s << u"1.2.3"_s << BadAddress + u"1.2.3"_s;
    QTest::newRow("port empty") << u"EditPort"_s << QString() << u"Ungültiger Server Port: \"\" (1 bis 65535)"_s;
    QTest::newRow("port zero") << u"EditPort"_s << u"0"_s << u"Ungültiger Server Port: \"0\" (1 bis 65535)"_s;
    QTest::newRow("port too big") << u"EditPort"_s << u"99999"_s
                                  << u"Ungültiger Server Port: \"99999\" (1 bis 65535)"_s;
    QTest::newRow("key short") << u"EditMasterKey1"_s << u"ABC"_s
                               << u"Ungültiger Master KEY: \"ABC\" (genau 32 Hex-Ziffern)"_s;
    QTest::newRow("maker short") << u"EditHS1"_s << u"AB"_s
                                 << u"Ungültiger Hersteller-Code: \"AB\" (drei Buchstaben)"_s;
    QTest::newRow("maker digits") << u"EditHS3"_s << u"A1B"_s
                                  << u"Ungültiger Hersteller-Code: \"A1B\" (drei Buchstaben)"_s;
    QTest::newRow("medium big") << u"EditMC2"_s << u"300"_s << u"Ungültiger Mediumcode: \"300\" (0 bis 255)"_s;
    QTest::newRow("medium empty") << u"EditMC0"_s << QString() << u"Ungültiger Mediumcode: \"\" (0 bis 255)"_s;
    QTest::newRow("radio id letters") << u"id"_s << u"abc"_s << u"Ungültige Funk-ID: \"abc\" (1 bis 8 Ziffern)"_s;
    QTest::newRow("radio id nine digits")
        << u"id"_s << u"123456789"_s << u"Ungültige Funk-ID: \"123456789\" (1 bis 8 Ziffern)"_s;
    QTest::newRow("too many ids") << u"ids"_s << u"251"_s << u"Zu viele Funk-IDs: 251 (höchstens 250)"_s;
    QTest::newRow("gateway id") << u"gwid"_s << u"0"_s << u"Ungültige Gateway ID: \"0\" (zwei Hex-Ziffern erwartet)"_s;
}

void TestSetupSave::refusedValueLeavesFile()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, message);
    openWith(u"dialog_complete.gwini"_s);
    const QByteArray before = bytesOf(setupPath());
    if (field == u"id" || field == u"ids" || field == u"gwid") {
        SetupFormValues values = m_dialog->formValues();
        if (field == u"id")
            values.radioIds << value;
        else if (field == u"ids")
            while (values.radioIds.size() < value.toInt())
                values.radioIds << u"1"_s;
        else
            values.gwId1 = value;
        m_dialog->showFormValues(values);
    } else {
        edit(field)->setText(value);
    }
    saveSendsNothing();
    QCOMPARE(m_prompter.texts(), QStringList{message});
    QCOMPARE(bytesOf(setupPath()), before);
    QCOMPARE(QDir(SharedFolders::setups()).entryList(QDir::Files), QStringList{u"SETUPGW_0A_1B_2C.GWINI"_s});
}

void TestSetupSave::unencodableTextLeavesFile()
{
    // The file is Windows-1252; a character it cannot hold must not half-write the file.
    openWith(u"dialog_complete.gwini"_s);
    const QByteArray before = bytesOf(setupPath());
    edit(u"EditAnbauort"_s)->setText(u"Keller \u4E2D"_s);
    saveSendsNothing();
    QCOMPARE(m_prompter.shown.size(), 1);
    QCOMPARE(m_prompter.shown[0].icon, Prompter::Icon::Error);
    QCOMPARE(bytesOf(setupPath()), before);
}

void TestSetupSave::loadedFileNamesTheSave()
{
    openWith(u"dialog_complete.gwini"_s);
    m_prompter.fileNames << testData(u"dialog_other_gwid.gwini"_s);
    control<QPushButton>(u"ButtonLOAD"_s)->click();
    QCOMPARE(edit(u"EditGWID2"_s)->text(), u"FF"_s);
    for (const QString& name : {u"EditFestIP"_s, u"EditGW"_s})
        edit(name)->setText(u"192.168.1.2"_s);
    const QList<ReceivedSetup> sent = saveAndSend();
    QVERIFY2(m_prompter.shown.isEmpty(), qPrintable(m_prompter.texts().join(u'\n')));
    QCOMPARE(savedFile(u"FF_EE_DD"_s).readString(u"NETZWERK"_s, u"AORT"_s), u"Keller"_s);
    // The loaded file goes to the gateway the dialog was opened for.
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].address, QHostAddress(Ip));
    QCOMPARE(sent[0].gatewayId, idOf(Gwid));
    QCOMPARE(sent[0].record.gatewayId(), idOf(u"FF.EE.DD"_s));
}

void TestSetupSave::withoutSession()
{
    m_dialog->setSession(nullptr);
    openWithoutFile();
    saveSendsNothing();
    QVERIFY(m_prompter.shown.isEmpty());
    QVERIFY(QFile::exists(setupPath()));
}

void TestSetupSave::refusedGatewayGetsNothing()
{
    // Its answer did not decrypt: the file is saved, the gateway gets nothing, the user is told why.
    m_gateway.behaviour = GatewayBehaviour::WrongKey;
    openWithoutFile();
    saveSendsNothing();
    QVERIFY(QFile::exists(setupPath()));
    QCOMPARE(m_prompter.texts(),
             QStringList{u"Die Übertragung war NICHT erfolgreich!\nDas Gateway 0A.1B.2C an 127.0.0.21 verwendet einen "
                         u"anderen Master Key. Es wurde nichts gesendet."_s});
}

void TestSetupSave::marksWhatTheGatewayWouldChange()
{
    QVERIFY(QDir().mkpath(SharedFolders::setups()));
    QVERIFY(SetupRecordToFile(SharedFolders::setups(), idOf(Gwid), m_gateway.record));
    readGateway();
    m_dialog->OpenGatewaySetup(idOf(Gwid), QHostAddress(Ip));
    QTest::qWait(20);
    QVERIFY(m_dialog->markedControls().isEmpty()); // the file says what the gateway reported
    auto* portLabel = control<QLabel>(u"LabelPort"_s);
    edit(u"EditPort"_s)->setText(u"5099"_s);
    QTRY_COMPARE(m_dialog->markedControls(), QList<QWidget*>{portLabel});
    QVERIFY(portLabel->font().bold());
    QCOMPARE(portLabel->toolTip(), u"Gateway: PORT = 4711"_s);
    edit(u"EditID"_s)->setText(u"42"_s);
    control<QPushButton>(u"ButtonADD"_s)->click();
    QTRY_COMPARE(m_dialog->markedControls().size(), 2);
    QVERIFY(m_dialog->markedControls().contains(control<QListWidget>(u"ListBoxFiltIDs"_s)));
    edit(u"EditPort"_s)->setText(u"4711"_s);
    QTRY_COMPARE(m_dialog->markedControls(), QList<QWidget*>{control<QListWidget>(u"ListBoxFiltIDs"_s)});
    QVERIFY(!portLabel->font().bold());
    QVERIFY(m_prompter.shown.isEmpty()); // no question: "Speichern" stays as it is
}

void TestSetupSave::fifoInPlaceOfTheSetupFileIsNamed()
{
    QVERIFY(QDir().mkpath(SharedFolders::setups()));
    PLANT_IN_PLACE(u"fifo"_s, setupPath(), QString());
    m_prompter.answers << Prompter::Ok << Prompter::Abort;
    m_dialog->OpenGatewaySetup(idOf(Gwid), QHostAddress(Ip)); // must not hang on the FIFO
    QCOMPARE(m_prompter.texts(),
             (QStringList{u"Die Datei %1 konnte nicht gelesen werden: sie ist keine gewöhnliche Datei, sondern eine "
                          u"Pipe (FIFO)"_s.arg(setupPath()),
                          u"Kein Setup für diese GWID vorhanden!"_s}));
    QVERIFY(!m_dialog->isVisible());
}

void TestSetupSave::closeAfterTransfer()
{
    openWithoutFile();
    QVERIFY(m_dialog->isVisible());
    m_dialog->closeAfterTransfer();
    QVERIFY(!m_dialog->isVisible());
}

// "Speichern" and "Laden" wait while the setup is on its way to the dialog's gateway, not while it
// is read back (a new master key: the gateway restarts and the read-back waits for it).
void TestSetupSave::buttonsWaitOnlyForTheSending()
{
    m_gateway.restartDelayMs = 400;
    openWith(u"dialog_complete.gwini"_s);
    ExchangeTimings timings = ExchangeTimings().scaledDown(10);
    timings.verifyWindowMs = 3000;
    m_session.setTimings(timings);
    edit(u"EditMasterKey1"_s)->setText(u"00112233445566778899AABBCCDDEEFF"_s);
    QSignalSpy sent(&m_session, &GatewaySession::transferFinished);
    QSignalSpy checked(&m_session, &GatewaySession::verificationFinished);
    auto* saveButton = control<QPushButton>(u"ButtonSAVE"_s);
    auto* loadButton = control<QPushButton>(u"ButtonLOAD"_s);
    save();
    QVERIFY(!saveButton->isEnabled());
    QVERIFY(!loadButton->isEnabled());
    QVERIFY(sent.wait(5000));
    QVERIFY(m_session.transferRunning(QHostAddress(Ip))); // the read-back runs
    QCOMPARE(checked.count(), 0);
    QVERIFY(saveButton->isEnabled());
    QVERIFY(loadButton->isEnabled());
    QVERIFY(checked.wait(5000));
    QVERIFY(saveButton->isEnabled());
}

QTEST_MAIN(TestSetupSave)
#include "TestSetupSave.moc"
