#include "TestSupport.h"

#include "base/SharedFolders.h"
#include "common/Prompter.h"
#include "dialog/TFormGWsetup.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QStringList ProtectedControls = {u"EditServerDNS"_s, u"EditPort"_s, u"CheckBoxDHCP"_s,
                                       u"EditFestIP"_s,    u"EditGW"_s,   u"EditSubMsk"_s,
                                       u"EditDNSSrv"_s,    u"EditNTP"_s,  u"EditMasterKey1"_s};
const QString NoSetup = u"Kein Setup für diese GWID vorhanden!"_s;
const QString BadAddress = u"Das ist keine gültige IP-Adresse="_s;

} // namespace

class TestSetupDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captions_data();
    void captions();
    void initialState();
    void firmwareFolderPrepared();
    void firmwareImagePresent();
    void firmwareFolderFailureReported();

    void loadThroughLaden();
    void loadCancelled();
    void loadMissingFileChangesNothing();
    void loadModeTOff();
    void loadLastIntervalWins();
    void loadNoIntervalLeavesNoneChecked();
    void loadRadioIdTexts();
    void loadThreeHundredIds();

    void openUsesListIds();
    void openMissingAbort();
    void openMissingIgnore();
    void lockAfterReopening();
    void profiModeAnswers_data();
    void profiModeAnswers();

    void checkIPAddress_data();
    void checkIPAddress();

    void keyFilters_data();
    void keyFilters();
    void masterKeyLimitAndCounter();
    void typingLimits_data();
    void typingLimits();
    void loadedTextsKeepTheirLength();
    void pasteIsFiltered();
    void focusAdvance();

    void addKeepsText();
    void addRefusesBadText_data();
    void addRefusesBadText();
    void listLimitAndDelete();
    void deleteWithModifiers_data();
    void deleteWithModifiers();
    void otherKeyOnlyRefreshes();

    void importDeviceList();
    void importTwiceDoubles();
    void importStopsAtLimit();
    void importDispatchBySuffix_data();
    void importDispatchBySuffix();
    void importSamples_data();
    void importSamples();
    void importColumnMessage();
    void importSkippedMessage();
    void importUnreadable_data();
    void importUnreadable();

private:
    template <typename T> T* control(const QString& name) const { return findControl<T>(m_dialog.get(), name); }
    QLineEdit* edit(const QString& name) const { return control<QLineEdit>(name); }
    QListWidget* list() const { return control<QListWidget>(u"ListBoxFiltIDs"_s); }
    QString counter() const { return control<QLabel>(u"LabelIDcount"_s)->text(); }
    QStringList entries() const
    {
        QStringList all;
        for (int i = 0; i < list()->count(); ++i)
            all << list()->item(i)->text();
        return all;
    }
    void click(const QString& button) { control<QPushButton>(button)->click(); }
    void loadThroughLaden(const QString& file)
    {
        m_prompter.fileNames << file;
        click(u"ButtonLOAD"_s);
    }
    void importFile(const QString& file)
    {
        m_prompter.fileNames << file;
        click(u"ButtonImportID"_s);
    }
    void fillList(int count)
    {
        for (int i = 0; i < count; ++i) {
            edit(u"EditID"_s)->setText(QString::number(i + 1));
            click(u"ButtonADD"_s);
        }
    }
    QString installSetup(const QString& dataFile, const QString& name)
    {
        QDir().mkpath(SharedFolders::setups());
        const QString target = SharedFolders::setups() + name;
        QFile::remove(target);
        if (!QFile::copy(testData(dataFile), target))
            qFatal("cannot copy %s", qPrintable(dataFile));
        return target;
    }
    bool protectedEnabled(bool expected) const
    {
        for (const QString& name : ProtectedControls) {
            if (control<QWidget>(name)->isEnabled() != expected)
                return false;
        }
        return true;
    }
    void unlock()
    {
        m_prompter.answers << Prompter::Yes;
        click(u"ButtonProfiMode"_s);
    }

    std::unique_ptr<ScratchDocuments> m_documents;
    ScriptedPrompter m_prompter;
    std::unique_ptr<TFormGWsetup> m_dialog;
};

void TestSetupDialog::init()
{
    m_documents = std::make_unique<ScratchDocuments>();
    m_prompter.clear();
    Prompter::setInstance(&m_prompter);
    m_dialog = std::make_unique<TFormGWsetup>();
}

void TestSetupDialog::cleanup()
{
    m_dialog.reset();
    Prompter::setInstance(nullptr);
    m_documents.reset();
}

void TestSetupDialog::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("network group") << u"GroupBoxNW"_s << u"Netwerk Setup"_s;
    QTest::newRow("radio group") << u"GroupBox1"_s << u"WM-BUS Setup"_s;
    QTest::newRow("save") << u"ButtonSAVE"_s << u"Speichern"_s;
    QTest::newRow("load") << u"ButtonLOAD"_s << u"Laden"_s;
    QTest::newRow("import") << u"ButtonImportID"_s << u"Import ID's"_s;
    QTest::newRow("add") << u"ButtonADD"_s << u"+"_s;
    QTest::newRow("unlock") << u"ButtonProfiMode"_s << u"Editieren"_s;
    QTest::newRow("sofort") << u"RadioButtonSofort"_s << u"sofort"_s;
    QTest::newRow("pro h") << u"RadioButtonProH"_s << u"pro h"_s;
    QTest::newRow("pro Tag") << u"RadioButtonProTag"_s << u"pro Tag"_s;
    QTest::newRow("pro Monat") << u"RadioButtonProMonat"_s << u"pro Monat"_s;
    QTest::newRow("T/C") << u"RadioButtonT"_s << u"T/C"_s;
    QTest::newRow("S") << u"RadioButtonS"_s << u"S"_s;
    QTest::newRow("DHCP") << u"CheckBoxDHCP"_s << u"DHCP"_s;
    QTest::newRow("makers") << u"CheckBoxFiltManCode"_s << u"mit Filterung nach Hersteller:"_s;
    QTest::newRow("media") << u"CheckBoxFiltMC"_s << u"mit Filterung nach Mediumcode:"_s;
    QTest::newRow("ids") << u"CheckBoxFiltFunkID"_s << u"mit Filterung nach FunkID's:"_s;
    QTest::newRow("server label") << u"LabelServerDNS"_s
                                  << u"DNS Name oder IP Adresse:\ndes WM-BUS Servers \n(PC-Programm)"_s;
    QTest::newRow("router note") << u"LabelGWNote"_s << u"IP des GW im Büro (z.Bsp. Fritzbox)"_s;
    QTest::newRow("dns note") << u"LabelDNSSrvNote"_s << u"Namensauflösung von Domäne zu IP"_s;
    QTest::newRow("ntp note") << u"LabelNTPNote"_s << u"Zeitserver für aktuelle Uhrzeit"_s;
    QTest::newRow("gateway id") << u"LabelGWID"_s << u"Gateway ID:"_s;
    QTest::newRow("interval") << u"LabelInterval"_s << u"Verbindungsintervall:"_s;
    QTest::newRow("fixed") << u"LabelFestIP"_s << u"sonst mit:"_s;
    QTest::newRow("master key") << u"LabelMasterKey"_s << u"Master KEY:"_s;
}

void TestSetupDialog::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QWidget* widget = control<QWidget>(name);
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        QCOMPARE(group->title(), caption);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        QCOMPARE(button->text(), caption);
    else
        QCOMPARE(qobject_cast<QLabel*>(widget)->text(), caption);
}

void TestSetupDialog::initialState()
{
    QCOMPARE(m_dialog->windowTitle(), u"Gateway Setups"_s);
    QCOMPARE(m_dialog->minimumSize(), QSize(842, 443));
    QCOMPARE(m_dialog->maximumSize(), QSize(842, 443));
    QVERIFY(!m_dialog->isVisible());
    for (const QString& name : {u"EditGWID2"_s, u"EditGWID1"_s, u"EditGWID0"_s}) {
        QCOMPARE(edit(name)->text(), u"00"_s);
        QVERIFY(!edit(name)->isEnabled());
    }
    QCOMPARE(edit(u"EditSoftVer"_s)->text(), u"0.0.0"_s);
    QVERIFY(!edit(u"EditSoftVer"_s)->isEnabled());
    QCOMPARE(edit(u"EditSendTime"_s)->text(), u"0.0.0 00:00:00"_s);
    QCOMPARE(edit(u"EditEmpfTime"_s)->text(), u"0.0.0 00:00:00"_s);
    QVERIFY(control<QRadioButton>(u"RadioButtonProH"_s)->isChecked());
    QCOMPARE(edit(u"EditServerDNS"_s)->text(), u"wmbus.example.com"_s);
    QCOMPARE(edit(u"EditPort"_s)->text(), u"23"_s);
    QVERIFY(control<QCheckBox>(u"CheckBoxDHCP"_s)->isChecked());
    QCOMPARE(edit(u"EditFestIP"_s)->text(), u"192.168.1.98"_s);
    QCOMPARE(edit(u"EditGW"_s)->text(), u"192.168.001.010"_s);
    QCOMPARE(edit(u"EditSubMsk"_s)->text(), u"255.255.255.000"_s);
    QCOMPARE(edit(u"EditDNSSrv"_s)->text(), u"009.009.009.009"_s);
    QCOMPARE(edit(u"EditNTP"_s)->text(), u"192.053.103.108"_s);
    QCOMPARE(edit(u"EditMasterKey1"_s)->text(), u"7C3E9A15D2084BF6E1A05C93D76F2B48"_s);
    QCOMPARE(control<QLabel>(u"LabelMKcount"_s)->text(), u"32/32"_s);
    QVERIFY(control<QRadioButton>(u"RadioButtonT"_s)->isChecked());
    QVERIFY(!control<QRadioButton>(u"RadioButtonS"_s)->isChecked());
    for (int n = 0; n < 4; ++n) {
        QCOMPARE(edit(u"EditHS%1"_s.arg(n))->text(), u"QLB"_s);
        QCOMPARE(edit(u"EditMC%1"_s.arg(n))->text(), u"7"_s);
        QCOMPARE(edit(u"EditHS%1"_s.arg(n))->alignment(), Qt::AlignCenter);
    }
    QVERIFY(!control<QCheckBox>(u"CheckBoxFiltManCode"_s)->isChecked());
    QVERIFY(!control<QCheckBox>(u"CheckBoxFiltMC"_s)->isChecked());
    QVERIFY(!control<QCheckBox>(u"CheckBoxFiltFunkID"_s)->isChecked());
    QCOMPARE(edit(u"EditID"_s)->text(), u"00000001"_s);
    QVERIFY(edit(u"EditID"_s)->alignment() & Qt::AlignRight);
    QCOMPARE(list()->count(), 0);
    QCOMPARE(counter(), u"0/250"_s);
    QVERIFY(m_dialog->targetAddress().isNull());
    // Each radio group is a group of its own.
    QCOMPARE(control<QRadioButton>(u"RadioButtonT"_s)->group()->buttons().size(), 2);
    QCOMPARE(control<QRadioButton>(u"RadioButtonSofort"_s)->group()->buttons().size(), 4);
    QVERIFY(m_prompter.shown.isEmpty());
}

void TestSetupDialog::firmwareFolderPrepared()
{
    QVERIFY(QFileInfo(m_documents->file(u"MERVANE/W_MBUS_SRV_SOFTWARE"_s)).isDir());
    QVERIFY(!m_dialog->FirmwareImagePresent());
    QVERIFY(m_dialog->FirmwareImagePath().isEmpty());
}

void TestSetupDialog::firmwareImagePresent()
{
    QFile image(SharedFolders::firmware() + u"NewSoftwareGW.bin"_s);
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write("\x01\x02");
    image.close();
    TFormGWsetup second;
    QVERIFY(second.FirmwareImagePresent());
    QVERIFY(second.FirmwareImagePath().endsWith(u"NewSoftwareGW.bin"_s));
}

void TestSetupDialog::firmwareFolderFailureReported()
{
    // A file where the maker's folder should be: the firmware folder cannot be created below it.
    QFile blocker(m_documents->file(u"blocked"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("TELVARO_SHARED_DOCUMENTS", blocker.fileName().toLocal8Bit());
    m_prompter.clear();
    TFormGWsetup second;
    QCOMPARE(m_prompter.shown.size(), 1);
    QCOMPARE(m_prompter.shown[0].icon, Prompter::Icon::Error);
    QCOMPARE(m_prompter.shown[0].text, SharedFolders::firmware());
    QVERIFY(!second.FirmwareImagePresent());
}

void TestSetupDialog::loadThroughLaden()
{
    list()->addItem(u"99"_s);
    control<QCheckBox>(u"CheckBoxFiltFunkID"_s)->setChecked(true);
    control<QLabel>(u"LabelMKcount"_s)->setText(u"5/32"_s);
    loadThroughLaden(testData(u"dialog_netzwerk_only.gwini"_s));

    QCOMPARE(m_prompter.fileRequests.size(), 1);
    QCOMPARE(m_prompter.fileRequests[0].folder, SharedFolders::setups());
    QCOMPARE(m_prompter.fileRequests[0].filter, u"Gateway Setup  (*.gwini)|*.GWINI"_s);
    QVERIFY(m_prompter.shown.isEmpty());

    QCOMPARE(edit(u"EditSendTime"_s)->text(), u"0.0.0 00:00:00"_s);
    QCOMPARE(edit(u"EditEmpfTime"_s)->text(), u"0.0.0 00:00:00"_s);
    QCOMPARE(edit(u"EditGWID2"_s)->text() + edit(u"EditGWID1"_s)->text() + edit(u"EditGWID0"_s)->text(), u"000000"_s);
    QCOMPARE(edit(u"EditSoftVer"_s)->text(), u"1.0.0"_s);
    QVERIFY(edit(u"EditAnbauort"_s)->text().isEmpty());
    QVERIFY(edit(u"EditServerDNS"_s)->text().isEmpty());
    QVERIFY(edit(u"EditFestIP"_s)->text().isEmpty());
    QVERIFY(edit(u"EditGW"_s)->text().isEmpty());
    QCOMPARE(edit(u"EditPort"_s)->text(), u"23"_s);
    QVERIFY(control<QCheckBox>(u"CheckBoxDHCP"_s)->isChecked());
    QCOMPARE(edit(u"EditSubMsk"_s)->text(), u"255.255.255.0"_s);
    QCOMPARE(edit(u"EditDNSSrv"_s)->text(), u"9.9.9.9"_s);
    QCOMPARE(edit(u"EditNTP"_s)->text(), u"192.53.103.108"_s);
    QVERIFY(control<QRadioButton>(u"RadioButtonProH"_s)->isChecked());
    QVERIFY(control<QRadioButton>(u"RadioButtonT"_s)->isChecked());
    QVERIFY(!control<QCheckBox>(u"CheckBoxFiltManCode"_s)->isChecked());
    QVERIFY(!control<QCheckBox>(u"CheckBoxFiltMC"_s)->isChecked());
    QVERIFY(!control<QCheckBox>(u"CheckBoxFiltFunkID"_s)->isChecked());
    for (int n = 0; n < 4; ++n) {
        QCOMPARE(edit(u"EditHS%1"_s.arg(n))->text(), u"QLB"_s);
        QCOMPARE(edit(u"EditMC%1"_s.arg(n))->text(), u"8"_s);
    }
    QCOMPARE(list()->count(), 0);
    QCOMPARE(counter(), u"0/250"_s);
    // The key counter changes only when a key is released in its edit.
    QCOMPARE(control<QLabel>(u"LabelMKcount"_s)->text(), u"5/32"_s);
}

void TestSetupDialog::loadCancelled()
{
    edit(u"EditAnbauort"_s)->setText(u"bleibt"_s);
    click(u"ButtonLOAD"_s);
    QCOMPARE(m_prompter.fileRequests.size(), 1);
    QCOMPARE(edit(u"EditAnbauort"_s)->text(), u"bleibt"_s);
}

void TestSetupDialog::loadMissingFileChangesNothing()
{
    edit(u"EditAnbauort"_s)->setText(u"bleibt"_s);
    QVERIFY(!m_dialog->LoadSetup(m_documents->file(u"gibt_es_nicht.GWINI"_s), {}, {}, {}));
    loadThroughLaden(m_documents->file(u"auch_nicht.GWINI"_s));
    QCOMPARE(edit(u"EditAnbauort"_s)->text(), u"bleibt"_s);
    QCOMPARE(edit(u"EditPort"_s)->text(), u"23"_s);
    QVERIFY(m_prompter.shown.isEmpty());
}

void TestSetupDialog::loadModeTOff()
{
    loadThroughLaden(testData(u"dialog_modet_off.gwini"_s));
    QVERIFY(control<QRadioButton>(u"RadioButtonS"_s)->isChecked());
    QVERIFY(!control<QRadioButton>(u"RadioButtonT"_s)->isChecked());
    QCOMPARE(edit(u"EditGWID2"_s)->text(), u"0A"_s);
}

void TestSetupDialog::loadLastIntervalWins()
{
    control<QRadioButton>(u"RadioButtonProMonat"_s)->setChecked(true);
    loadThroughLaden(testData(u"dialog_sofort_proh.gwini"_s));
    QVERIFY(control<QRadioButton>(u"RadioButtonProH"_s)->isChecked());
    QVERIFY(!control<QRadioButton>(u"RadioButtonSofort"_s)->isChecked());
    QVERIFY(!control<QRadioButton>(u"RadioButtonProMonat"_s)->isChecked());
}

void TestSetupDialog::loadNoIntervalLeavesNoneChecked()
{
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("[NETZWERK]\r\nPROH=0\r\n[WM-BUS]\r\nMODET=0\r\nMODES=0\r\n");
    file.close();
    QVERIFY(m_dialog->LoadSetup(file.fileName(), {}, {}, {}));
    for (const QString& name : {u"RadioButtonSofort"_s, u"RadioButtonProH"_s, u"RadioButtonProTag"_s,
                                u"RadioButtonProMonat"_s, u"RadioButtonT"_s, u"RadioButtonS"_s})
        QVERIFY2(!control<QRadioButton>(name)->isChecked(), qPrintable(name));
    // The groups stay exclusive for the user.
    control<QRadioButton>(u"RadioButtonT"_s)->click();
    control<QRadioButton>(u"RadioButtonS"_s)->click();
    QVERIFY(!control<QRadioButton>(u"RadioButtonT"_s)->isChecked());
}

void TestSetupDialog::loadRadioIdTexts()
{
    loadThroughLaden(testData(u"dialog_id_values.gwini"_s));
    QCOMPARE(entries(), (QStringList{u"00000123"_s, u"abc"_s, u"123456789"_s, u"00000042"_s}));
    QCOMPARE(counter(), u"4/250"_s);
}

void TestSetupDialog::loadThreeHundredIds()
{
    loadThroughLaden(testData(u"dialog_300_ids.gwini"_s));
    QCOMPARE(list()->count(), 300);
    QCOMPARE(list()->item(299)->text(), u"10000299"_s);
    QCOMPARE(counter(), u"300/250"_s);
    edit(u"EditID"_s)->setText(u"42"_s);
    click(u"ButtonADD"_s);
    QCOMPARE(list()->count(), 300);
    QCOMPARE(counter(), u"300/250"_s);
    QVERIFY(m_prompter.shown.isEmpty());
}

void TestSetupDialog::openUsesListIds()
{
    installSetup(u"dialog_other_gwid.gwini"_s, u"SETUPGW_0A_1B_2C.GWINI"_s);
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"192.168.1.20"_s));
    QVERIFY(m_prompter.shown.isEmpty());
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(m_dialog->windowModality(), Qt::ApplicationModal);
    QCOMPARE(m_dialog->windowTitle(), u"Getaway Setup an IP: 192.168.1.20"_s);
    QCOMPARE(edit(u"EditGWID2"_s)->text(), u"0A"_s);
    QCOMPARE(edit(u"EditGWID1"_s)->text(), u"1B"_s);
    QCOMPARE(edit(u"EditGWID0"_s)->text(), u"2C"_s);
    QCOMPARE(edit(u"EditAnbauort"_s)->text(), u"Keller"_s);
    QCOMPARE(edit(u"EditPort"_s)->text(), u"4711"_s);
    QCOMPARE(m_dialog->targetAddress(), QHostAddress(u"192.168.1.20"_s));
    QCOMPARE(m_dialog->openedGwid().text(), u"0A.1B.2C"_s);
    QVERIFY(protectedEnabled(false));
}

void TestSetupDialog::openMissingAbort()
{
    edit(u"EditAnbauort"_s)->setText(u"vorher"_s);
    m_prompter.answers << Prompter::Abort;
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"192.168.1.20"_s));
    QCOMPARE(m_prompter.shown.size(), 1);
    QCOMPARE(m_prompter.shown[0].text, NoSetup);
    QCOMPARE(m_prompter.shown[0].icon, Prompter::Icon::Error);
    QCOMPARE(m_prompter.shown[0].buttons, Prompter::Buttons(Prompter::Abort | Prompter::Ignore));
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(edit(u"EditGWID2"_s)->text(), u"00"_s);
    QCOMPARE(edit(u"EditAnbauort"_s)->text(), u"vorher"_s);
}

void TestSetupDialog::openMissingIgnore()
{
    edit(u"EditAnbauort"_s)->setText(u"vorher"_s);
    m_prompter.answers << Prompter::Ignore;
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"192.168.1.20"_s));
    QCOMPARE(m_prompter.texts(), QStringList{NoSetup});
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(edit(u"EditGWID2"_s)->text() + edit(u"EditGWID1"_s)->text() + edit(u"EditGWID0"_s)->text(), u"0A1B2C"_s);
    QCOMPARE(edit(u"EditAnbauort"_s)->text(), u"vorher"_s);
    QCOMPARE(edit(u"EditMC0"_s)->text(), u"7"_s);
    QCOMPARE(m_dialog->windowTitle(), u"Getaway Setup an IP: 192.168.1.20"_s);
}

void TestSetupDialog::lockAfterReopening()
{
    installSetup(u"dialog_complete.gwini"_s, u"SETUPGW_0A_1B_2C.GWINI"_s);
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"192.168.1.20"_s));
    unlock();
    QVERIFY(protectedEnabled(true));
    QCOMPARE(m_prompter.shown.last().text, u"Sind Sie sicher?"_s);
    QCOMPARE(m_prompter.shown.last().icon, Prompter::Icon::Information);
    QCOMPARE(m_prompter.shown.last().buttons, Prompter::Buttons(Prompter::Yes | Prompter::No));
    m_dialog->close();
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"192.168.1.20"_s));
    QVERIFY(protectedEnabled(false));
}

void TestSetupDialog::profiModeAnswers_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("yes") << int(Prompter::Yes) << true;
    QTest::newRow("no") << int(Prompter::No) << false;
    QTest::newRow("closed") << int(Prompter::NoButton) << false;
}

void TestSetupDialog::profiModeAnswers()
{
    QFETCH(int, answer);
    QFETCH(bool, enabled);
    m_prompter.answers << Prompter::Ignore;
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"192.168.1.20"_s));
    unlock();
    QVERIFY(protectedEnabled(true));
    m_prompter.answers << Prompter::Button(answer);
    click(u"ButtonProfiMode"_s);
    QVERIFY(protectedEnabled(enabled));
}

void TestSetupDialog::checkIPAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("fixed default") << u"192.168.1.98"_s << true;
    QTest::newRow("router default") << u"192.168.001.010"_s << true;
    QTest::newRow("mask") << u"255.255.255.000"_s << true;
    QTest::newRow("two dots") << u"1.2.3"_s << false;
    QTest::newRow("four dots") << u"1.2.3.4.5"_s << false;
    QTest::newRow("first 256") << u"256.1.1.1"_s << false;
    QTest::newRow("last 300") << u"1.2.3.300"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("minus") << u"-1.0.0.0"_s << false;
    QTest::newRow("empty part") << u"1..2.3"_s << false;
    QTest::newRow("letters") << u"a.b.c.d"_s << false;
}

void TestSetupDialog::checkIPAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(m_dialog->CheckIPAddress(text), valid);
    if (valid) {
        QVERIFY(m_prompter.shown.isEmpty());
    } else {
        QCOMPARE(m_prompter.shown.size(), 1);
        QCOMPARE(m_prompter.shown[0].text, BadAddress + text);
        QCOMPARE(m_prompter.shown[0].buttons, Prompter::Buttons(Prompter::Ok));
        QCOMPARE(m_prompter.shown[0].icon, Prompter::Icon::None);
    }
}

void TestSetupDialog::keyFilters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("key lower a") << u"EditMasterKey1"_s << u"a"_s << u"A"_s;
    QTest::newRow("key g") << u"EditMasterKey1"_s << u"g"_s << QString();
    QTest::newRow("key blank") << u"EditMasterKey1"_s << u" "_s << QString();
    QTest::newRow("key minus") << u"EditMasterKey1"_s << u"-"_s << QString();
    QTest::newRow("key mixed") << u"EditMasterKey1"_s << u"0f-Z9x"_s << u"0F9"_s;
    QTest::newRow("fixed letter") << u"EditFestIP"_s << u"a"_s << QString();
    QTest::newRow("fixed comma blank") << u"EditFestIP"_s << u", "_s << QString();
    QTest::newRow("fixed digit dot") << u"EditFestIP"_s << u"7.x1"_s << u"7.1"_s;
    QTest::newRow("maker upper") << u"EditHS0"_s << u"q1b"_s << u"Q1B"_s;
    QTest::newRow("medium digits") << u"EditMC3"_s << u"1a2"_s << u"12"_s;
    QTest::newRow("port digits") << u"EditPort"_s << u"8-0"_s << u"80"_s;
    QTest::newRow("radio id digits") << u"EditID"_s << u"42x"_s << u"42"_s;
    QTest::newRow("location free") << u"EditAnbauort"_s << u"Keller 2.OG"_s << u"Keller 2.OG"_s;
}

void TestSetupDialog::keyFilters()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    m_prompter.answers << Prompter::Ignore;
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"1.2.3.4"_s));
    unlock();
    QLineEdit* target = edit(name);
    target->clear();
    QTest::keyClicks(target, typed);
    QCOMPARE(target->text(), result);
}

void TestSetupDialog::masterKeyLimitAndCounter()
{
    m_prompter.answers << Prompter::Ignore;
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"1.2.3.4"_s));
    unlock();
    QLineEdit* key = edit(u"EditMasterKey1"_s);
    QLabel* count = control<QLabel>(u"LabelMKcount"_s);
    key->setText(QString(31, u'0'));
    QCOMPARE(count->text(), u"32/32"_s); // only a key release rewrites it
    QTest::keyClick(key, Qt::Key_Backspace);
    QCOMPARE(count->text(), u"30/32"_s);
    QTest::keyClicks(key, u"ab"_s);
    QCOMPARE(count->text(), u"32/32"_s);
    QTest::keyClicks(key, u"c"_s);
    QCOMPARE(key->text(), QString(30, u'0') + u"AB"_s);
    QCOMPARE(count->text(), u"32/32"_s);
    key->setCursorPosition(0);
    QTest::keyClick(key, Qt::Key_Delete);
    QCOMPARE(count->text(), u"31/32"_s);
}

void TestSetupDialog::typingLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("server 32") << u"EditServerDNS"_s << QString(33, u'x') << QString(32, u'x');
    QTest::newRow("maker 3") << u"EditHS2"_s << u"abcd"_s << u"ABC"_s;
    QTest::newRow("medium 3") << u"EditMC1"_s << u"1234"_s << u"123"_s;
    QTest::newRow("radio id 8") << u"EditID"_s << u"123456789"_s << u"12345678"_s;
    QTest::newRow("port unlimited") << u"EditPort"_s << u"1234567"_s << u"1234567"_s;
    QTest::newRow("fixed unlimited") << u"EditFestIP"_s << u"192.168.100.100.1"_s << u"192.168.100.100.1"_s;
}

void TestSetupDialog::typingLimits()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    m_prompter.answers << Prompter::Ignore;
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"1.2.3.4"_s));
    unlock();
    QLineEdit* target = edit(name);
    target->clear();
    QTest::keyClicks(target, typed);
    QCOMPARE(target->text(), result);
    // A pasted text is cut at the limit as well.
    target->clear();
    QGuiApplication::clipboard()->setText(typed);
    if (QGuiApplication::clipboard()->text() == typed) {
        target->paste();
        QCOMPARE(target->text(), result);
    }
}

void TestSetupDialog::loadedTextsKeepTheirLength()
{
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("[NETZWERK]\r\nMASTERKEY=00112233445566778899AABBCCDDEEFF0011\r\n"
               "SRV_DNS=ein.sehr.langer.servername.example.com\r\n"
               "[WM-BUS]\r\nFILTER_HS1=qlbx\r\nFILTER_MC2=1234\r\n");
    file.close();
    QVERIFY(m_dialog->LoadSetup(file.fileName(), {}, {}, {}));
    QCOMPARE(edit(u"EditMasterKey1"_s)->text(), u"00112233445566778899AABBCCDDEEFF0011"_s);
    QCOMPARE(edit(u"EditServerDNS"_s)->text(), u"ein.sehr.langer.servername.example.com"_s);
    QCOMPARE(edit(u"EditHS1"_s)->text(), u"qlbx"_s);
    QCOMPARE(edit(u"EditMC2"_s)->text(), u"1234"_s);
}

void TestSetupDialog::pasteIsFiltered()
{
    m_prompter.answers << Prompter::Ignore;
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"1.2.3.4"_s));
    unlock();
    QLineEdit* key = edit(u"EditMasterKey1"_s);
    key->clear();
    QGuiApplication::clipboard()->setText(u"ab-cd 12"_s);
    if (QGuiApplication::clipboard()->text() != u"ab-cd 12"_s)
        QSKIP("no clipboard on this platform");
    key->paste();
    QCOMPARE(key->text(), u"ABCD12"_s);
    QLineEdit* fixed = edit(u"EditFestIP"_s);
    fixed->clear();
    QGuiApplication::clipboard()->setText(u" 10.0.0.1\n"_s);
    fixed->paste();
    QCOMPARE(fixed->text(), u"10.0.0.1"_s);
}

void TestSetupDialog::focusAdvance()
{
    installSetup(u"dialog_complete.gwini"_s, u"SETUPGW_0A_1B_2C.GWINI"_s);
    m_dialog->OpenGatewaySetup(*GatewayId::fromText(u"0A.1B.2C"_s), QHostAddress(u"1.2.3.4"_s));
    QApplication::setActiveWindow(m_dialog.get());
    QLineEdit* location = edit(u"EditAnbauort"_s);
    location->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return location->hasFocus(); }));

    // The ID edits cannot take the focus: the change does nothing.
    edit(u"EditGWID2"_s)->setText(u"AB"_s);
    QVERIFY(location->hasFocus());

    // Where the target can take it, exactly two characters move the focus on.
    edit(u"EditGWID1"_s)->setEnabled(true);
    edit(u"EditGWID0"_s)->setEnabled(true);
    edit(u"EditGWID2"_s)->setText(u"A"_s);
    QVERIFY(location->hasFocus());
    edit(u"EditGWID2"_s)->setText(u"CD"_s);
    QVERIFY(edit(u"EditGWID1"_s)->hasFocus());
    edit(u"EditGWID1"_s)->setText(u"EF"_s);
    QVERIFY(edit(u"EditGWID0"_s)->hasFocus());

    // A load never moves the focus.
    location->setFocus();
    QVERIFY(m_dialog->LoadSetup(SharedFolders::setups() + u"SETUPGW_0A_1B_2C.GWINI"_s, {}, {}, {}));
    QVERIFY(location->hasFocus());
}

void TestSetupDialog::addKeepsText()
{
    QLineEdit* id = edit(u"EditID"_s);
    click(u"ButtonADD"_s);
    click(u"ButtonADD"_s);
    id->setText(u"42"_s);
    click(u"ButtonADD"_s);
    QCOMPARE(entries(), (QStringList{u"00000001"_s, u"00000001"_s, u"42"_s}));
    QCOMPARE(id->text(), u"42"_s);
    QCOMPARE(counter(), u"3/250"_s);
    QVERIFY(m_prompter.shown.isEmpty());
}

void TestSetupDialog::addRefusesBadText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("letters") << u"12a4"_s;
    QTest::newRow("minus") << u"-5"_s;
    QTest::newRow("blank") << u"12 4"_s;
}

void TestSetupDialog::addRefusesBadText()
{
    QFETCH(QString, text);
    edit(u"EditID"_s)->setText(text);
    click(u"ButtonADD"_s);
    QCOMPARE(list()->count(), 0);
    QCOMPARE(m_prompter.texts(), QStringList{u"Ungültige Funk-ID: %1 (1 bis 8 Ziffern)"_s.arg(text)});
    QCOMPARE(edit(u"EditID"_s)->text(), text);
    // An import is refused the same way, but silently.
    m_prompter.clear();
    QVERIFY(!m_dialog->AddRadioID(TFormGWsetup::AddOrigin::Import));
    QVERIFY(m_prompter.shown.isEmpty());
    QCOMPARE(list()->count(), 0);
}

void TestSetupDialog::listLimitAndDelete()
{
    fillList(250);
    QCOMPARE(counter(), u"250/250"_s);
    edit(u"EditID"_s)->setText(u"77"_s);
    click(u"ButtonADD"_s);
    QCOMPARE(list()->count(), 250);
    QCOMPARE(counter(), u"250/250"_s);
    QVERIFY(m_prompter.shown.isEmpty());

    list()->setCurrentRow(0);
    QTest::keyPress(list(), Qt::Key_Delete);
    QCOMPARE(list()->count(), 250); // removal on release only
    QTest::keyRelease(list(), Qt::Key_Delete);
    QCOMPARE(counter(), u"249/250"_s);
    QCOMPARE(list()->item(0)->text(), u"2"_s);
    click(u"ButtonADD"_s);
    QCOMPARE(counter(), u"250/250"_s);
    QCOMPARE(list()->item(249)->text(), u"77"_s);
}

void TestSetupDialog::deleteWithModifiers_data()
{
    QTest::addColumn<int>("modifiers");
    QTest::newRow("plain") << int(Qt::NoModifier);
    QTest::newRow("shift") << int(Qt::ShiftModifier);
    QTest::newRow("ctrl") << int(Qt::ControlModifier);
}

void TestSetupDialog::deleteWithModifiers()
{
    QFETCH(int, modifiers);
    fillList(3);
    list()->setCurrentRow(1);
    QTest::keyClick(list(), Qt::Key_Delete, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(entries(), (QStringList{u"1"_s, u"3"_s}));
    QCOMPARE(counter(), u"2/250"_s);

    // Held down: repeated releases remove one entry only.
    list()->setCurrentRow(0);
    QTest::keyRelease(list(), Qt::Key_Delete);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(list(), &repeat);
    QCOMPARE(list()->count(), 1);

    list()->setCurrentRow(0);
    QTest::keyRelease(list(), Qt::Key_Delete);
    QCOMPARE(list()->count(), 0);
    QCOMPARE(counter(), u"0/250"_s);
    QTest::keyRelease(list(), Qt::Key_Delete); // nothing selected, nothing to remove
    QCOMPARE(counter(), u"0/250"_s);
}

void TestSetupDialog::otherKeyOnlyRefreshes()
{
    fillList(2);
    list()->setCurrentRow(0);
    control<QLabel>(u"LabelIDcount"_s)->setText(u"?"_s);
    QTest::keyClick(list(), Qt::Key_A);
    QCOMPARE(list()->count(), 2);
    QCOMPARE(counter(), u"2/250"_s);
}

void TestSetupDialog::importDeviceList()
{
    importFile(testData(u"dialog_two_houses.route"_s));
    QCOMPARE(m_prompter.fileRequests.size(), 1);
    QCOMPARE(m_prompter.fileRequests[0].folder, SharedFolders::routes());
    QCOMPARE(m_prompter.fileRequests[0].filter, u"Geräteliste  (*.route)|*.ROUTE|AES-Keyliste  (*.csv)|*.CSV"_s);
    QVERIFY(!QFileInfo::exists(SharedFolders::routes()));
    QCOMPARE(entries(), (QStringList{u"11111111"_s, u"123456"_s, u"33333333"_s}));
    QCOMPARE(edit(u"EditID"_s)->text(), u"33333333"_s);
    QCOMPARE(counter(), u"3/250"_s);
    QVERIFY(m_prompter.shown.isEmpty());
    QVERIFY(!control<QCheckBox>(u"CheckBoxFiltFunkID"_s)->isChecked());
}

void TestSetupDialog::importTwiceDoubles()
{
    importFile(testData(u"dialog_two_houses.route"_s));
    importFile(testData(u"dialog_two_houses.route"_s));
    QCOMPARE(entries(),
             (QStringList{u"11111111"_s, u"123456"_s, u"33333333"_s, u"11111111"_s, u"123456"_s, u"33333333"_s}));
}

void TestSetupDialog::importStopsAtLimit()
{
    fillList(245);
    importFile(testData(u"dialog_ten_ids.route"_s));
    QCOMPARE(list()->count(), 250);
    QCOMPARE(counter(), u"250/250"_s);
    QCOMPARE(list()->item(245)->text(), u"50000001"_s);
    QCOMPARE(list()->item(249)->text(), u"50000005"_s);
    // The walk covered the whole file.
    QCOMPARE(edit(u"EditID"_s)->text(), u"50000010"_s);
    QVERIFY(m_prompter.shown.isEmpty());
}

void TestSetupDialog::importDispatchBySuffix_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("ids");
    QTest::newRow("mixed case csv") << u"LISTE.Csv"_s << QStringList{u"12345678"_s, u"87654321"_s};
    QTest::newRow("lower csv") << u"liste.csv"_s << QStringList{u"12345678"_s, u"87654321"_s};
    QTest::newRow("txt ignored") << u"liste.txt"_s << QStringList();
    QTest::newRow("no suffix ignored") << u"liste"_s << QStringList();
    QTest::newRow("upper route") << u"HAUS.ROUTE"_s << QStringList{u"11111111"_s, u"123456"_s, u"33333333"_s};
}

void TestSetupDialog::importDispatchBySuffix()
{
    QFETCH(QString, name);
    QFETCH(QStringList, ids);
    // The content decides nothing: a key list renamed .route would read as an empty device list.
    const QString source = name.endsWith(u"ROUTE"_s) ? u"dialog_two_houses.route"_s : u"dialog_LISTE.Csv"_s;
    const QString target = m_documents->file(name);
    QVERIFY(QFile::copy(testData(source), target));
    importFile(target);
    QCOMPARE(entries(), ids);
    QVERIFY(m_prompter.shown.isEmpty());
}

void TestSetupDialog::importSamples_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("device list") << u"site_Birkenweg.route"_s
                                 << QStringList{u"31415926"_s, u"271828"_s, u"16180339"_s, u"14142135"_s}
                                 << QStringList{u"1 Eintrag wurde übersprungen (keine gültige Funk-ID)."_s};
    QTest::newRow("key list") << u"site_Schluessel.csv"_s
                              << QStringList{u"31415926"_s, u"27182818"_s, u"16180339"_s, u"14142135"_s}
                              << QStringList{u"1 Eintrag wurde übersprungen (keine gültige Funk-ID)."_s};
}

void TestSetupDialog::importSamples()
{
    QFETCH(QString, file);
    QFETCH(QStringList, ids);
    QFETCH(QStringList, messages);
    importFile(testData(file));
    QCOMPARE(entries(), ids);
    QCOMPARE(m_prompter.texts(), messages);
}

void TestSetupDialog::importColumnMessage()
{
    importFile(testData(u"dialog_ten_columns.csv"_s));
    QCOMPARE(entries(), QStringList{u"12345678"_s});
    QCOMPARE(m_prompter.shown.size(), 1);
    QCOMPARE(m_prompter.shown[0].text, u"Mehr als 9 Spalten vorhanden. Falsches Format!"_s);
    QCOMPARE(m_prompter.shown[0].icon, Prompter::Icon::Error);
    QCOMPARE(m_prompter.shown[0].buttons, Prompter::Buttons(Prompter::Ok));
}

void TestSetupDialog::importSkippedMessage()
{
    importFile(testData(u"dialog_skipped.csv"_s));
    QCOMPARE(entries(), (QStringList{u"11111111"_s, u"22222222"_s}));
    QCOMPARE(m_prompter.shown.size(), 1);
    QCOMPARE(m_prompter.shown[0].text, u"3 Einträge wurden übersprungen (keine gültige Funk-ID)."_s);
    QCOMPARE(m_prompter.shown[0].icon, Prompter::Icon::Information);
}

void TestSetupDialog::importUnreadable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QString>("text"); // empty: the system's text, whatever it is
    QTest::newRow("device list") << u"gesperrt.route"_s << int(Prompter::Icon::Error) << int(Prompter::Ok) << QString();
    QTest::newRow("key list") << u"gesperrt.csv"_s << int(Prompter::Icon::Warning) << int(Prompter::Yes)
                              << u"Unerwarteter Fehler in CSV!\nDie Datei %1 konnte nicht gelesen werden: an ihrer "
                                 u"Stelle liegt ein Ordner"_s;
}

void TestSetupDialog::importUnreadable()
{
    QFETCH(QString, name);
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(QString, text);
    fillList(1);
    // A folder of that name exists but cannot be read as a file.
    QVERIFY(QDir().mkpath(m_documents->file(name)));
    importFile(m_documents->file(name));
    QCOMPARE(entries(), QStringList{u"1"_s});
    QCOMPARE(m_prompter.shown.size(), 1);
    QCOMPARE(int(m_prompter.shown[0].icon), icon);
    QCOMPARE(int(m_prompter.shown[0].buttons), buttons);
    if (text.isEmpty())
        QVERIFY(!m_prompter.shown[0].text.isEmpty());
    else
        QCOMPARE(m_prompter.shown[0].text, text.arg(QDir::toNativeSeparators(m_documents->file(name))));
}

QTEST_MAIN(TestSetupDialog)
#include "TestSetupDialog.moc"
