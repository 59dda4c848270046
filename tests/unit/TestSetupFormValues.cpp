#include "TestSupport.h"

#include "base/IniFile.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"
#include "setups/SetupFormValues.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

IniFile iniFrom(const QByteArray& text)
{
    return IniFile::fromBytes(text).value();
}

SetupFormValues loaded(const QByteArray& text, const QString& id2 = {}, const QString& id1 = {},
                       const QString& id0 = {})
{
    SetupFormValues values = SetupFormValues::initial();
    loadSetupFormValues(iniFrom(text), id2, id1, id0, values);
    return values;
}

// A dialog state that can be saved as it stands.
SetupFormValues saveable()
{
    SetupFormValues v = SetupFormValues::initial();
    v.gwId2 = u"0A"_s;
    v.gwId1 = u"1B"_s;
    v.gwId0 = u"2C"_s;
    return v;
}

} // namespace

class TestSetupFormValues : public QObject
{
    Q_OBJECT

private slots:
    void initialValues();
    void loadDefaults();
    void loadGatewayIdFromCaller();
    void interval_data();
    void interval();
    void mode_data();
    void mode();
    void radioIdTexts();
    void loadKeepsTextsUnchanged();
    void initialIsSaveable();
    void problems_data();
    void problems();
    void addressProblemsInOrder();
    void fixedAddressOfItsOwnNetwork_data();
    void fixedAddressOfItsOwnNetwork();
    void tooManyIds();
    void writeKeys();
    void writeModeSFollowsModeT_data();
    void writeModeSFollowsModeT();
    void writeReplacesWmBusSections();
    void writeRefusesUnencodableText();
    void savedFormConverts_data();
    void savedFormConverts();
};

void TestSetupFormValues::initialValues()
{
    const SetupFormValues v = SetupFormValues::initial();
    QCOMPARE(v.gwId2, u"00"_s);
    QCOMPARE(v.softVer, u"0.0.0"_s);
    QCOMPARE(v.sendTime, u"0.0.0 00:00:00"_s);
    QVERIFY(v.proH && !v.sofort && !v.proTag && !v.proMonat);
    QCOMPARE(v.serverDns, SetupFormDefaults::ServerHost);
    QCOMPARE(v.port, u"23"_s);
    QVERIFY(v.dhcp);
    QCOMPARE(v.festIp, u"192.168.1.98"_s);
    QCOMPARE(v.gw, u"192.168.001.010"_s);
    QCOMPARE(v.subMsk, u"255.255.255.000"_s);
    QCOMPARE(v.dnsSrv, u"009.009.009.009"_s);
    QCOMPARE(v.ntp, u"192.053.103.108"_s);
    QCOMPARE(v.masterKey, u"7C3E9A15D2084BF6E1A05C93D76F2B48"_s);
    QVERIFY(v.modeT && !v.modeS);
    for (int n = 0; n < 4; ++n) {
        QCOMPARE(v.hs[n], u"QLB"_s);
        QCOMPARE(v.mc[n], u"7"_s);
    }
    QVERIFY(v.radioIds.isEmpty());
}

void TestSetupFormValues::loadDefaults()
{
    SetupFormValues v = SetupFormValues::initial();
    v.radioIds = QStringList{u"1"_s, u"2"_s};
    v.filtFunkId = true;
    v.anbauort = u"vorher"_s;
    loadSetupFormValues(iniFrom("[NETZWERK]\r\n"), {}, {}, {}, v);
    QCOMPARE(v.sendTime, u"0.0.0 00:00:00"_s);
    QCOMPARE(v.empfTime, u"0.0.0 00:00:00"_s);
    QCOMPARE(v.gwId2 + v.gwId1 + v.gwId0, u"000000"_s);
    QCOMPARE(v.softVer, u"1.0.0"_s);
    QVERIFY(v.anbauort.isEmpty());
    QVERIFY(v.serverDns.isEmpty());
    QVERIFY(v.festIp.isEmpty());
    QVERIFY(v.gw.isEmpty());
    QCOMPARE(v.port, u"23"_s);
    QVERIFY(v.dhcp);
    QCOMPARE(v.subMsk, u"255.255.255.0"_s);
    QCOMPARE(v.dnsSrv, u"9.9.9.9"_s);
    QCOMPARE(v.ntp, u"192.53.103.108"_s);
    QVERIFY(v.proH && !v.sofort && !v.proTag && !v.proMonat);
    QVERIFY(v.modeT && !v.modeS);
    QVERIFY(!v.filtManCode && !v.filtMC && !v.filtFunkId);
    for (int n = 0; n < 4; ++n) {
        QCOMPARE(v.hs[n], u"QLB"_s);
        QCOMPARE(v.mc[n], u"8"_s);
    }
    QVERIFY(v.radioIds.isEmpty());
}

void TestSetupFormValues::loadGatewayIdFromCaller()
{
    const QByteArray file = "[NETZWERK]\nGW_ID2=FF\nGW_ID1=EE\nGW_ID0=DD\n";
    const SetupFormValues given = loaded(file, u"0A"_s, u"1B"_s, u"2C"_s);
    QCOMPARE(given.gwId2 + given.gwId1 + given.gwId0, u"0A1B2C"_s);
    // One empty pair is enough to take all three from the file.
    const SetupFormValues partial = loaded(file, u"0A"_s, QString(), u"2C"_s);
    QCOMPARE(partial.gwId2 + partial.gwId1 + partial.gwId0, u"FFEEDD"_s);
}

void TestSetupFormValues::interval_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("checked"); // S, H, T, M or empty
    QTest::newRow("defaults") << QByteArray() << u"H"_s;
    QTest::newRow("sofort and proh: last wins") << QByteArray("SOFORT=1\nPROH=1\n") << u"H"_s;
    QTest::newRow("sofort alone") << QByteArray("SOFORT=1\nPROH=0\n") << u"S"_s;
    QTest::newRow("all four") << QByteArray("SOFORT=1\nPROH=1\nPROTAG=1\nPROMONAT=1\n") << u"M"_s;
    QTest::newRow("tag and default proh") << QByteArray("PROTAG=1\n") << u"T"_s;
    QTest::newRow("none") << QByteArray("PROH=0\n") << QString();
    QTest::newRow("non-zero is true") << QByteArray("PROH=0\nPROMONAT=-7\n") << u"M"_s;
    QTest::newRow("not a number takes default") << QByteArray("PROH=ja\n") << u"H"_s;
}

void TestSetupFormValues::interval()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, checked);
    const SetupFormValues v = loaded("[NETZWERK]\n" + keys);
    QString got;
    if (v.sofort)
        got += u'S';
    if (v.proH)
        got += u'H';
    if (v.proTag)
        got += u'T';
    if (v.proMonat)
        got += u'M';
    QCOMPARE(got, checked);
}

void TestSetupFormValues::mode_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<bool>("modeT");
    QTest::addColumn<bool>("modeS");
    QTest::newRow("defaults") << QByteArray() << true << false;
    QTest::newRow("MODET=0 alone") << QByteArray("MODET=0\n") << false << true;
    QTest::newRow("both set: S wins") << QByteArray("MODET=1\nMODES=1\n") << false << true;
    QTest::newRow("both clear") << QByteArray("MODET=0\nMODES=0\n") << false << false;
    QTest::newRow("T only") << QByteArray("MODET=1\nMODES=0\n") << true << false;
}

void TestSetupFormValues::mode()
{
    QFETCH(QByteArray, keys);
    QFETCH(bool, modeT);
    QFETCH(bool, modeS);
    const SetupFormValues v = loaded("[WM-BUS]\n" + keys);
    QCOMPARE(v.modeT, modeT);
    QCOMPARE(v.modeS, modeS);
}

void TestSetupFormValues::radioIdTexts()
{
    const Result<IniFile> ini = IniFile::load(testData(u"dialog_id_values.gwini"_s));
    QVERIFY(ini.ok());
    SetupFormValues v = SetupFormValues::initial();
    loadSetupFormValues(*ini, {}, {}, {}, v);
    // File order, not key numbers; a value that is no number stays visible as it is.
    QCOMPARE(v.radioIds, (QStringList{u"00000123"_s, u"abc"_s, u"123456789"_s, u"00000042"_s}));
}

void TestSetupFormValues::loadKeepsTextsUnchanged()
{
    const SetupFormValues v =
        loaded("[NETZWERK]\nFEST_IP=1.2.x\nMASTERKEY=abc\nPORT=70000\n[WM-BUS]\nFILTER_HS1=q\nFILTER_MC2=300\n");
    QCOMPARE(v.festIp, u"1.2.x"_s);
    QCOMPARE(v.masterKey, u"abc"_s);
    QCOMPARE(v.port, u"70000"_s);
    QCOMPARE(v.hs[1], u"q"_s);
    QCOMPARE(v.mc[2], u"300"_s);
}

void TestSetupFormValues::initialIsSaveable()
{
    QCOMPARE(setupFormProblems(saveable()), QStringList());
    QVERIFY(validateSetupForm(saveable()).ok());
}

void TestSetupFormValues::problems_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message"); // empty: accepted
    const QString ip = u"Das ist keine gültige IP-Adresse="_s;
    QTest::newRow("id one digit") << u"gwId2"_s << u"A"_s
                                  << u"Ungültige Gateway ID: \"A\" (zwei Hex-Ziffern erwartet)"_s;
    QTest::newRow("id not hex") << u"gwId0"_s << u"G1"_s
                                << u"Ungültige Gateway ID: \"G1\" (zwei Hex-Ziffern erwartet)"_s;
    QTest::newRow("id lower case") << u"gwId1"_s << u"ab"_s << QString();
    QTest::newRow("fixed empty") << u"festIp"_s << QString() << ip;
    QTest::newRow("router three parts") << u"gw"_s << u"1.2.3"_s << ip + u"1.2.3"_s;
    QTest::newRow("mask minus") << u"subMsk"_s << u"-1.0.0.0"_s << ip + u"-1.0.0.0"_s;
    QTest::newRow("dns empty part") << u"dnsSrv"_s << u"1..2.3"_s << ip + u"1..2.3"_s;
    QTest::newRow("ntp above 255") << u"ntp"_s << u"1.2.3.300"_s << ip + u"1.2.3.300"_s;
    QTest::newRow("server host name") << u"serverDns"_s << u"zaehler.example.net"_s << QString();
    QTest::newRow("server digit and letters") << u"serverDns"_s << u"1und1.de"_s << ip + u"1und1.de"_s;
    QTest::newRow("server dot first") << u"serverDns"_s << u".1.2.3"_s << ip + u".1.2.3"_s;
    QTest::newRow("server address") << u"serverDns"_s << u"10.0.0.1"_s << QString();
    QTest::newRow("server empty") << u"serverDns"_s << QString() << QString();
    QTest::newRow("server 33 chars") << u"serverDns"_s << QString(33, u'x')
                                     << u"Server-Name zu lang: \"%1\" (höchstens 32 Zeichen)"_s.arg(QString(33, u'x'));
    QTest::newRow("server umlaut fits Windows-1252") << u"serverDns"_s << u"zähler.example.net"_s << QString();
    QTest::newRow("server character the record cannot hold")
        << u"serverDns"_s << u"łódź.example.net"_s
        << u"Server-Name enthält Zeichen, die das Gateway nicht kennt: \"łódź.example.net\""_s;
    QTest::newRow("id zero is an empty slot")
        << u"radioId"_s << u"00000000"_s << u"Ungültige Funk-ID: \"00000000\" (1 bis 8 Ziffern)"_s;
    QTest::newRow("port empty") << u"port"_s << QString() << u"Ungültiger Server Port: \"\" (1 bis 65535)"_s;
    QTest::newRow("port zero") << u"port"_s << u"0"_s << u"Ungültiger Server Port: \"0\" (1 bis 65535)"_s;
    QTest::newRow("port too big") << u"port"_s << u"65536"_s << u"Ungültiger Server Port: \"65536\" (1 bis 65535)"_s;
    QTest::newRow("port max") << u"port"_s << u"65535"_s << QString();
    QTest::newRow("id empty") << u"radioId"_s << QString() << u"Ungültige Funk-ID: \"\" (1 bis 8 Ziffern)"_s;
    QTest::newRow("id nine digits") << u"radioId"_s << u"123456789"_s
                                    << u"Ungültige Funk-ID: \"123456789\" (1 bis 8 Ziffern)"_s;
    QTest::newRow("id negative") << u"radioId"_s << u"-5"_s << u"Ungültige Funk-ID: \"-5\" (1 bis 8 Ziffern)"_s;
    QTest::newRow("id letters") << u"radioId"_s << u"abc"_s << u"Ungültige Funk-ID: \"abc\" (1 bis 8 Ziffern)"_s;
    QTest::newRow("id short") << u"radioId"_s << u"7"_s << QString();
    QTest::newRow("key 31 digits") << u"masterKey"_s << QString(31, u'A')
                                   << u"Ungültiger Master KEY: \"%1\" (genau 32 Hex-Ziffern)"_s.arg(QString(31, u'A'));
    QTest::newRow("key not hex") << u"masterKey"_s << QString(31, u'A') + u'G'
                                 << u"Ungültiger Master KEY: \"%1\" (genau 32 Hex-Ziffern)"_s.arg(QString(31, u'A') +
                                                                                                  u'G');
    QTest::newRow("key 33 digits") << u"masterKey"_s << QString(33, u'0')
                                   << u"Ungültiger Master KEY: \"%1\" (genau 32 Hex-Ziffern)"_s.arg(QString(33, u'0'));
    QTest::newRow("key lower case") << u"masterKey"_s << u"00112233445566778899aabbccddeeff"_s << QString();
    QTest::newRow("maker two letters") << u"hs"_s << u"QL"_s
                                       << u"Ungültiger Hersteller-Code: \"QL\" (drei Buchstaben)"_s;
    QTest::newRow("maker digit") << u"hs"_s << u"QL1"_s << u"Ungültiger Hersteller-Code: \"QL1\" (drei Buchstaben)"_s;
    QTest::newRow("medium 256") << u"mc"_s << u"256"_s << u"Ungültiger Mediumcode: \"256\" (0 bis 255)"_s;
    QTest::newRow("medium empty") << u"mc"_s << QString() << u"Ungültiger Mediumcode: \"\" (0 bis 255)"_s;
    QTest::newRow("medium 255") << u"mc"_s << u"255"_s << QString();
    QTest::newRow("medium of four digits") << u"mc"_s << u"0008"_s << u"Ungültiger Mediumcode: \"0008\" (0 bis 255)"_s;
    QTest::newRow("medium with a sign") << u"mc"_s << u"+8"_s << u"Ungültiger Mediumcode: \"+8\" (0 bis 255)"_s;
    QTest::newRow("port with a sign") << u"port"_s << u"+23"_s << u"Ungültiger Server Port: \"+23\" (1 bis 65535)"_s;
    QTest::newRow("port of five digits with zeros") << u"port"_s << u"00080"_s << QString();
    QTest::newRow("maker lower case") << u"hs"_s << u"qlb"_s << QString();
    QTest::newRow("server name with a zero character")
        << u"serverDns"_s << u"srv\u0000x"_s
        << u"Server-Name enthält Zeichen, die das Gateway nicht kennt: \"srv\u0000x\""_s;
    QTest::newRow("server name with blanks at the ends") << u"serverDns"_s << u"  srv "_s << QString();
}

void TestSetupFormValues::problems()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, message);
    SetupFormValues v = saveable();
    QString* const texts[] = {&v.gwId2,  &v.gwId1, &v.gwId0,     &v.festIp, &v.gw,       &v.subMsk,
                              &v.dnsSrv, &v.ntp,   &v.serverDns, &v.port,   &v.masterKey};
    const QStringList names = {u"gwId2"_s,  u"gwId1"_s, u"gwId0"_s,     u"festIp"_s, u"gw"_s,       u"subMsk"_s,
                               u"dnsSrv"_s, u"ntp"_s,   u"serverDns"_s, u"port"_s,   u"masterKey"_s};
    if (names.contains(field))
        *texts[names.indexOf(field)] = value;
    else if (field == u"radioId")
        v.radioIds = QStringList{u"12345678"_s, value};
    else if (field == u"hs")
        v.hs[3] = value;
    else
        v.mc[2] = value;

    const QStringList expected = message.isEmpty() ? QStringList() : QStringList{message};
    QCOMPARE(setupFormProblems(v), expected);
    QCOMPARE(validateSetupForm(v).ok(), message.isEmpty());
    QCOMPARE(validateSetupForm(v).message(), message);
}

// With DHCP off the gateway takes the fixed address: not the network's or the broadcast address of
// its own mask. The address checks above still run first.
void TestSetupFormValues::fixedAddressOfItsOwnNetwork_data()
{
    QTest::addColumn<bool>("dhcp");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QStringList>("messages");
    const QString network = u"Die feste IP-Adresse %1 ist die Netzadresse ihres Netzes (Subnetzmaske %2); ein "
                            u"Gateway kann sie nicht haben."_s;
    const QString broadcast = u"Die feste IP-Adresse %1 ist die Broadcast-Adresse ihres Netzes (Subnetzmaske %2); "
                              u"ein Gateway kann sie nicht haben."_s;
    QTest::newRow("host") << false << u"192.168.1.98"_s << u"255.255.255.0"_s << QStringList();
    QTest::newRow("network /24") << false << u"192.168.1.0"_s << u"255.255.255.0"_s
                                 << QStringList{network.arg(u"192.168.1.0"_s, u"255.255.255.0"_s)};
    QTest::newRow("broadcast /24, leading zeros") << false << u"192.168.001.255"_s << u"255.255.255.000"_s
                                                  << QStringList{broadcast.arg(u"192.168.1.255"_s, u"255.255.255.0"_s)};
    QTest::newRow(".255 is a host in a /16") << false << u"10.0.0.255"_s << u"255.255.0.0"_s << QStringList();
    QTest::newRow("broadcast /16") << false << u"10.0.255.255"_s << u"255.255.0.0"_s
                                   << QStringList{broadcast.arg(u"10.0.255.255"_s, u"255.255.0.0"_s)};
    QTest::newRow("DHCP on: not used") << true << u"192.168.1.255"_s << u"255.255.255.0"_s << QStringList();
    QTest::newRow("no address: only that is said") << false << u"192.168.1"_s << u"255.255.255.0"_s
                                                   << QStringList{u"Das ist keine gültige IP-Adresse=192.168.1"_s};
}

void TestSetupFormValues::fixedAddressOfItsOwnNetwork()
{
    QFETCH(bool, dhcp);
    QFETCH(QString, fixed);
    QFETCH(QString, mask);
    QFETCH(QStringList, messages);
    SetupFormValues v = saveable();
    v.dhcp = dhcp;
    v.festIp = fixed;
    v.subMsk = mask;
    QCOMPARE(setupFormProblems(v), messages);
}

void TestSetupFormValues::addressProblemsInOrder()
{
    SetupFormValues v = saveable();
    v.ntp = u"1.2.3"_s;
    v.festIp = u"192.168.1"_s;
    v.dnsSrv = u"1.2.3.4.5"_s;
    const QString ip = u"Das ist keine gültige IP-Adresse="_s;
    QCOMPARE(setupFormProblems(v), (QStringList{ip + u"192.168.1"_s, ip + u"1.2.3.4.5"_s, ip + u"1.2.3"_s}));
}

void TestSetupFormValues::tooManyIds()
{
    SetupFormValues v = saveable();
    for (int i = 0; i < 250; ++i)
        v.radioIds << QString::number(i + 1);
    QVERIFY(validateSetupForm(v).ok());
    v.radioIds << u"1"_s;
    QCOMPARE(setupFormProblems(v), QStringList{u"Zu viele Funk-IDs: 251 (höchstens 250)"_s});
}

void TestSetupFormValues::writeKeys()
{
    SetupFormValues v = saveable();
    v.anbauort = u"Keller"_s;
    v.port = u"4711"_s;
    v.dhcp = false;
    v.proH = false;
    v.proMonat = true;
    v.filtMC = true;
    v.radioIds = QStringList{u"00000123"_s, u"7"_s};
    IniFile ini = iniFrom("[NETZWERK]\r\nFREMD=bleibt\r\n");
    QVERIFY(writeSetupForm(ini, v, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))).ok());

    const QString n = u"NETZWERK"_s;
    QCOMPARE(ini.readString(u"SENDEN"_s, u"SENDTIME"_s), u"04.03.2026 05:06:07"_s);
    QCOMPARE(ini.readString(n, u"GW_ID2"_s) + ini.readString(n, u"GW_ID1"_s) + ini.readString(n, u"GW_ID0"_s),
             u"0A1B2C"_s);
    QCOMPARE(ini.readString(n, u"AORT"_s), u"Keller"_s);
    QCOMPARE(ini.readString(n, u"SRV_DNS"_s), SetupFormDefaults::ServerHost);
    QCOMPARE(ini.readString(n, u"PORT"_s), u"4711"_s);
    QCOMPARE(ini.readString(n, u"DHCP"_s), u"0"_s);
    QCOMPARE(ini.readString(n, u"FEST_IP"_s), u"192.168.1.98"_s);
    QCOMPARE(ini.readString(n, u"GW_IP"_s), u"192.168.001.010"_s);
    QCOMPARE(ini.readString(n, u"SUB_IP"_s), u"255.255.255.000"_s);
    QCOMPARE(ini.readString(n, u"DNS_IP"_s), u"009.009.009.009"_s);
    QCOMPARE(ini.readString(n, u"NTP_IP"_s), u"192.053.103.108"_s);
    QCOMPARE(ini.readString(n, u"SOFORT"_s) + ini.readString(n, u"PROH"_s) + ini.readString(n, u"PROTAG"_s) +
                 ini.readString(n, u"PROMONAT"_s),
             u"0001"_s);
    QCOMPARE(ini.readString(n, u"MASTERKEY"_s), u"7C3E9A15D2084BF6E1A05C93D76F2B48"_s);
    QCOMPARE(ini.readString(n, u"FREMD"_s), u"bleibt"_s);
    const QString w = u"WM-BUS"_s;
    QCOMPARE(ini.readString(w, u"FILTER_HERSTELLER"_s), u"0"_s);
    QCOMPARE(ini.readString(w, u"FILTER_MEDIUM"_s), u"1"_s);
    QCOMPARE(ini.readString(w, u"FILTER_IDS"_s), u"0"_s);
    QCOMPARE(ini.readString(w, u"FILTER_HS2"_s), u"QLB"_s);
    QCOMPARE(ini.readString(w, u"FILTER_MC3"_s), u"7"_s);
    QCOMPARE(ini.keys(u"WM-BUS_IDS"_s), (QStringList{u"ID0"_s, u"ID1"_s}));
    QCOMPARE(ini.readString(u"WM-BUS_IDS"_s, u"ID0"_s), u"123"_s);
    QCOMPARE(ini.readString(u"WM-BUS_IDS"_s, u"ID1"_s), u"7"_s);
}

void TestSetupFormValues::writeModeSFollowsModeT_data()
{
    QTest::addColumn<bool>("modeT");
    QTest::addColumn<bool>("modeS");
    QTest::addColumn<QString>("written"); // MODET, MODES
    QTest::newRow("T") << true << false << u"10"_s;
    QTest::newRow("S") << false << true << u"01"_s;
    QTest::newRow("neither") << false << false << u"01"_s;
}

void TestSetupFormValues::writeModeSFollowsModeT()
{
    QFETCH(bool, modeT);
    QFETCH(bool, modeS);
    QFETCH(QString, written);
    SetupFormValues v = saveable();
    v.modeT = modeT;
    v.modeS = modeS;
    IniFile ini;
    QVERIFY(writeSetupForm(ini, v, QDateTime::currentDateTime()).ok());
    QCOMPARE(ini.readString(u"WM-BUS"_s, u"MODET"_s) + ini.readString(u"WM-BUS"_s, u"MODES"_s), written);
}

void TestSetupFormValues::writeReplacesWmBusSections()
{
    Result<IniFile> ini = IniFile::load(testData(u"dialog_complete.gwini"_s));
    QVERIFY(ini.ok());
    SetupFormValues v = saveable();
    v.radioIds = QStringList{u"5"_s};
    QVERIFY(writeSetupForm(ini.value(), v, QDateTime::currentDateTime()).ok());
    QVERIFY(!ini->hasKey(u"WM-BUS"_s, u"FREMD"_s));
    QCOMPARE(ini->keys(u"WM-BUS_IDS"_s), QStringList{u"ID0"_s});
    QCOMPARE(ini->readString(u"NETZWERK"_s, u"KUNDE"_s), u"Hausverwaltung Nord"_s);
    QCOMPARE(ini->readString(u"GET"_s, u"GETTIME"_s), u"03.11.2026 09:14:02"_s);
    QCOMPARE(ini->readString(u"SOFTWARE"_s, u"V3"_s), u"12"_s);
    QCOMPARE(ini->readString(u"ABRECHNUNG"_s, u"LETZTER_EXPORT"_s), u"01.11.2026"_s);
}

void TestSetupFormValues::writeRefusesUnencodableText()
{
    // A plain ASCII file is Windows-1252, which cannot hold this character.
    IniFile ini = iniFrom("[NETZWERK]\r\n");
    SetupFormValues v = saveable();
    v.anbauort = u"Heizraum \u4E2D"_s;
    QVERIFY(!writeSetupForm(ini, v, QDateTime::currentDateTime()).ok());
}

// Whatever the dialog's check lets through, the conversion takes, byte for byte: both ask the same
// field rules.
void TestSetupFormValues::savedFormConverts_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("server name with blanks at the ends")
        << u"serverDns"_s << u"  srv "_s << 22 << QByteArray("  srv ").leftJustified(32, '\0');
    QTest::newRow("server name in quotes")
        << u"serverDns"_s << u"\"srv\""_s << 22 << QByteArray("\"srv\"").leftJustified(32, '\0');
    QTest::newRow("server name of 32 characters with an umlaut")
        << u"serverDns"_s << u"ä"_s.repeated(32) << 22 << QByteArray(32, '\xE4');
    QTest::newRow("lower-case maker as typed") << u"hs"_s << u"qlb"_s << 1076 << QByteArray("qlbqlbqlbqlb");
    QTest::newRow("address with leading zeros")
        << u"festIp"_s << u"010.000.001.099"_s << 6 << QByteArray::fromHex("0a000163");
    QTest::newRow("port with leading zeros") << u"port"_s << u"00080"_s << 66 << QByteArray::fromHex("5000");
    QTest::newRow("medium 0") << u"mc"_s << u"0"_s << 1088 << QByteArray(4, '\0');
    QTest::newRow("radio ID with leading zeros")
        << u"radioId"_s << u"00000001"_s << 76 << QByteArray::fromHex("0100000000000000");
    QTest::newRow("lower-case master key") << u"masterKey"_s << u"00112233445566778899aabbccddeeff"_s << 1096
                                           << QByteArray::fromHex("00112233445566778899aabbccddeeff");
}

void TestSetupFormValues::savedFormConverts()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    SetupFormValues v = saveable();
    if (field == u"serverDns"_s)
        v.serverDns = value;
    else if (field == u"hs"_s)
        v.hs.fill(value);
    else if (field == u"festIp"_s)
        v.festIp = value;
    else if (field == u"port"_s)
        v.port = value;
    else if (field == u"mc"_s)
        v.mc.fill(value);
    else if (field == u"radioId"_s)
        v.radioIds = QStringList{value};
    else if (field == u"masterKey"_s)
        v.masterKey = value;
    QCOMPARE(setupFormProblems(v), QStringList());

    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const GatewayId id{{0x0A, 0x1B, 0x2C}};
    IniFile ini = IniFile::load(SetupFilePath(folder, id)).value();
    QVERIFY(writeSetupForm(ini, v, QDateTime::currentDateTime()).ok());
    QVERIFY(ini.save().ok());
    GWSetupRecord record;
    const Status converted = SetupFileToRecord(folder, id, record);
    QVERIFY2(converted.ok(), qPrintable(converted.message()));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(record.raw().data()) + offset, bytes.size()).toHex(),
             bytes.toHex());
}

QTEST_MAIN(TestSetupFormValues)
#include "TestSetupFormValues.moc"
