#include "TestSupport.h"

#include "base/IniFile.h"
#include "setups/GWSetupRecord.h"
#include "setups/HexPair.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(GWSetupRecord)

namespace {

const GatewayId Gw{{0x0A, 0x1B, 0x2C}};

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray rawBytes(const GWSetupRecord& r, int offset, int size)
{
    return QByteArray(reinterpret_cast<const char*>(r.raw().data() + offset), size);
}

// A record with something in every byte, so that carried and overwritten bytes can be told apart.
GWSetupRecord patterned(quint8 seed)
{
    GWSetupRecord r;
    for (int i = 0; i < GWSetupRecord::Size; ++i)
        r.raw()[i] = quint8(seed + i * 7);
    return r;
}

bool isOwnedKey(const QString& section, const QString& key)
{
    using namespace SetupKeys;
    static const QHash<QString, QStringList> owned{
        {Get, {GetTime}},
        {Netzwerk,
         {GwId2, GwId1, GwId0, SrvDns, Port, Dhcp, FestIp, GwIp, SubIp, DnsIp, NtpIp, Sofort, ProH, ProTag, ProMonat,
          MasterKey}},
        {Software, {V1, V2, V3}},
        {WMBus,
         {ModeT, ModeS, FilterHersteller, FilterMedium, FilterIds, filterHs(0), filterHs(1), filterHs(2), filterHs(3),
          filterMc(0), filterMc(1), filterMc(2), filterMc(3)}},
    };
    if (section == WMBusIds)
        return true;
    return owned.value(section).contains(key);
}

// The file's lines (with their line breaks) that no conversion owns, in order.
QList<QByteArray> foreignLines(const QByteArray& file)
{
    QList<QByteArray> result;
    QString section;
    for (const QByteArray& line : file.split('\n')) {
        if (line.isEmpty())
            continue;
        const QString text = IniFile::fromWindows1252(line).trimmed();
        if (text.startsWith(u'[') && text.contains(u']')) {
            section = text.mid(1, text.lastIndexOf(u']') - 1).trimmed().toUpper();
            if (section == SetupKeys::WMBusIds)
                continue;
        } else if (text.contains(u'=') && isOwnedKey(section, text.left(text.indexOf(u'=')).trimmed().toUpper())) {
            continue;
        } else if (section == SetupKeys::WMBusIds) {
            continue;
        }
        result << line;
    }
    return result;
}

} // namespace

class TestSetupConversion : public QObject
{
    Q_OBJECT

private slots:
    void hexPair_data();
    void hexPair();
    void masterKeyText_data();
    void masterKeyText();
    void dottedQuad_data();
    void dottedQuad();
    void setupFilePath();

    void goldenFile_data();
    void goldenFile();
    void goldenRewriteChangesOnlyItsLines();
    void rewriteKeepsForeignKeys_data();
    void rewriteKeepsForeignKeys();

    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void missingFile();

    void roundTrip_data();
    void roundTrip();
    void singleSlotStoredAsOneKey();
    void newFileKeyOrder();
    void getTimeIsNow();
    void storeFailures_data();
    void storeFailures();
};

void TestSetupConversion::hexPair_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte");
    QTest::newRow("digits") << u"42"_s << 0x42;
    QTest::newRow("upper") << u"AF"_s << 0xAF;
    QTest::newRow("lower same as upper") << u"af"_s << 0xAF;
    QTest::newRow("extra characters ignored") << u"7C3E"_s << 0x7C;
    QTest::newRow("G by arithmetic") << u"0G"_s << 16; // 'G' - 55 = 16
    QTest::newRow("wraps modulo 256") << u"ZZ"_s << ((35 * 16 + 35) & 0xFF);
    QTest::newRow("blank below 55") << u" 1"_s << ((32 - 55) * 16 + 1) % 256 + 256;
    QTest::newRow("one character") << u"A"_s << 0xA0;
    QTest::newRow("empty") << QString() << 0x00;
}

void TestSetupConversion::hexPair()
{
    QFETCH(QString, text);
    QFETCH(int, byte);
    QCOMPARE(int(HexPairToByte(text)), byte);
}

void TestSetupConversion::masterKeyText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused
    QTest::newRow("default key") << SetupKeys::DefaultMasterKey
                                 << QByteArray::fromHex("7C3E9A15D2084BF6E1A05C93D76F2B48");
    QTest::newRow("lower case") << u"00112233445566778899aabbccddeeff"_s
                                << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
    QTest::newRow("31 digits") << u"00112233445566778899AABBCCDDEEF"_s << QByteArray();
    QTest::newRow("33 digits") << u"00112233445566778899AABBCCDDEEFF0"_s << QByteArray();
    QTest::newRow("G is no hex digit") << u"00112233445566778899AABBCCDDEEFG"_s << QByteArray();
    QTest::newRow("blank inside") << u"00112233445566778899AABBCCDD EFF"_s << QByteArray();
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestSetupConversion::masterKeyText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const auto key = parseMasterKeyText(text);
    QCOMPARE(key.has_value(), !bytes.isEmpty());
    if (key)
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(key->data()), 16), bytes);
}

void TestSetupConversion::dottedQuad_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused
    QTest::newRow("plain") << u"192.168.7.20"_s << QByteArray::fromHex("c0a80714");
    QTest::newRow("leading zeros are decimal") << u"192.168.001.010"_s << QByteArray::fromHex("c0a8010a");
    QTest::newRow("missing part repeats last") << u"10.1.2"_s << QByteArray::fromHex("0a010202");
    QTest::newRow("single number") << u"7"_s << QByteArray::fromHex("07070707");
    QTest::newRow("extra part ignored") << u"1.2.3.4.5"_s << QByteArray::fromHex("01020304");
    QTest::newRow("extra junk ignored") << u"1.2.3.4.x"_s << QByteArray::fromHex("01020304");
    QTest::newRow("255 is the top") << u"255.255.255.255"_s << QByteArray::fromHex("ffffffff");
    QTest::newRow("zeros") << u"000.000.000.000"_s << QByteArray::fromHex("00000000");
    QTest::newRow("letter") << u"1.2.x.4"_s << QByteArray();
    QTest::newRow("256") << u"1.2.3.256"_s << QByteArray();
    QTest::newRow("negative") << u"1.-2.3.4"_s << QByteArray();
    QTest::newRow("empty part") << u"1..3.4"_s << QByteArray();
    QTest::newRow("trailing dot") << u"1.2.3."_s << QByteArray();
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("blank in part") << u"1.2. 3.4"_s << QByteArray();
    QTest::newRow("hex part") << u"0x1.2.3.4"_s << QByteArray();
}

void TestSetupConversion::dottedQuad()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const auto a = ParseDottedQuad(text);
    QCOMPARE(a.has_value(), !bytes.isEmpty());
    if (a)
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(a->data()), 4), bytes);
}

void TestSetupConversion::setupFilePath()
{
    QCOMPARE(SetupFilePath(u"/d/W_MBUS_SRV_GWSETUPS/"_s, Gw), u"/d/W_MBUS_SRV_GWSETUPS/SETUPGW_0A_1B_2C.GWINI"_s);
    QCOMPARE(SetupFilePath(QString(), GatewayId{{0xFF, 0x00, 0xa0}}), u"SETUPGW_FF_00_A0.GWINI"_s);
}

void TestSetupConversion::goldenFile_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("carried reserved 0..2") << 0 << QByteArray::fromHex("aaaaaa");
    QTest::newRow("gateway ID from the caller") << 3 << QByteArray::fromHex("0a1b2c");
    QTest::newRow("FEST_IP") << 6 << QByteArray::fromHex("c0a80162");
    QTest::newRow("GW_IP") << 10 << QByteArray::fromHex("c0a80101");
    QTest::newRow("SUB_IP") << 14 << QByteArray::fromHex("ffffff00");
    QTest::newRow("carried reserved 18..21") << 18 << QByteArray::fromHex("aaaaaaaa");
    QTest::newRow("SRV_DNS zero padded") << 22 << (QByteArray("zaehler.example.net") + QByteArray(13, '\0'));
    QTest::newRow("carried reserved 54..57") << 54 << QByteArray::fromHex("aaaaaaaa");
    QTest::newRow("NTP_IP") << 58 << QByteArray::fromHex("c0a80101");
    QTest::newRow("DNS_IP") << 62 << QByteArray::fromHex("c0a80101");
    QTest::newRow("PORT 4711 little-endian") << 66 << QByteArray::fromHex("6712");
    QTest::newRow("carried reserved 68..75") << 68 << QByteArray::fromHex("aaaaaaaaaaaaaaaa");
    QTest::newRow("IDs in file order, BCD") << 76 << QByteArray::fromHex("785634124200000021436587");
    QTest::newRow("slots after the third empty") << 88 << QByteArray(1076 - 88, '\0');
    QTest::newRow("manufacturer codes") << 1076 << QByteArray("QLBABCQLBQLB");
    QTest::newRow("medium codes") << 1088 << QByteArray::fromHex("07080808");
    QTest::newRow("WM-BUS flags: T mode, manufacturer and ID filter") << 1092 << QByteArray::fromHex("31");
    QTest::newRow("carried reserved 1093..1095") << 1093 << QByteArray::fromHex("aaaaaa");
    QTest::newRow("MASTERKEY") << 1096 << QByteArray::fromHex("00112233445566778899aabbccddeeff");
    QTest::newRow("firmware carried, not from SOFTWARE") << 1112 << QByteArray::fromHex("aaaaaa");
    QTest::newRow("network flags: daily only, no DHCP") << 1115 << QByteArray::fromHex("10");
}

void TestSetupConversion::goldenFile()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QVERIFY(QFile::copy(testData(u"setupfile_SETUPGW_0A_1B_2C.GWINI"_s), SetupFilePath(folder, Gw)));
    GWSetupRecord record;
    record.raw().fill(0xAA);
    const Status s = SetupFileToRecord(folder, Gw, record);
    QVERIFY2(s.ok(), qPrintable(s.message()));
    QCOMPARE(rawBytes(record, offset, int(bytes.size())).toHex(), bytes.toHex());
}

void TestSetupConversion::goldenRewriteChangesOnlyItsLines()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QString path = SetupFilePath(folder, Gw);
    QVERIFY(QFile::copy(testData(u"setupfile_SETUPGW_0A_1B_2C.GWINI"_s), path));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray before = readBytes(path);

    GWSetupRecord record;
    QVERIFY(SetupFileToRecord(folder, Gw, record).ok());
    record.setFirmwareVersion({1, 4, 12});
    QVERIFY(SetupRecordToFile(folder, Gw, record).ok());
    const QByteArray after = readBytes(path);

    // The file already held every value in the form the conversion writes; so only the time stamp
    // changes, and the ID section is written anew at the end, its keys numbered by slot.
    const qsizetype stampAt = after.indexOf("GETTIME=");
    QVERIFY(stampAt >= 0);
    const QByteArray stampLine = after.mid(stampAt, after.indexOf('\n', stampAt) - stampAt + 1);
    QVERIFY2(QRegularExpression(u"^GETTIME=\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\r\\n$"_s)
                 .match(QString::fromLatin1(stampLine))
                 .hasMatch(),
             stampLine.constData());
    QByteArray expected = before;
    expected.replace("GETTIME=03.11.2026 09:14:02\r\n", stampLine);
    const QByteArray oldIds = "[WM-BUS_IDS]\r\nID0=12345678\r\nID1=00000042\r\nID7=87654321\r\n";
    QVERIFY(expected.contains(oldIds));
    expected.replace(oldIds, "");
    expected += "[WM-BUS_IDS]\r\nID0=12345678\r\nID1=00000042\r\nID2=87654321\r\n";
    QCOMPARE(after, expected);
    QVERIFY(after.contains("AORT=Heizungsraum B\xFCro 2.OG\r\n"));
}

void TestSetupConversion::rewriteKeepsForeignKeys_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("golden file") << u"setupfile_SETUPGW_0A_1B_2C.GWINI"_s;
    QTest::newRow("keys of other programs in every section") << u"setupfile_foreign_keys.GWINI"_s;
}

void TestSetupConversion::rewriteKeepsForeignKeys()
{
    QFETCH(QString, file);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QString path = SetupFilePath(folder, Gw);
    const QByteArray before = readBytes(testData(file));
    QVERIFY(writeBytes(path, before));

    // A different setup arrives from the gateway: every owned key gets a new value.
    GWSetupRecord record = patterned(3);
    record.setServerName("neu.example.org");
    for (int n = 0; n < 4; ++n)
        record.setManufacturerCode(n, "XYZ");
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        record.setRadioIdSlot(slot, slot % 3 ? 0 : GWSetupRecord::toBcd(1000 + slot));
    QVERIFY(SetupRecordToFile(folder, Gw, record).ok());
    const QByteArray after = readBytes(path);

    QCOMPARE(foreignLines(after), foreignLines(before));
    QVERIFY(foreignLines(before).size() >= 8);
    QVERIFY(!after.contains("zaehler.example.net"));
    QVERIFY(after.contains("SRV_DNS=neu.example.org\r\n"));
    // Still CRLF throughout, still Windows-1252.
    QCOMPARE(after.count("\r\n"), after.count('\n'));
    QVERIFY(after.contains("B\xFCro"));

    GWSetupRecord back;
    QVERIFY(SetupFileToRecord(folder, Gw, back).ok());
    QCOMPARE(back.radioIdSlot(0), GWSetupRecord::toBcd(1000));
    QCOMPARE(back.radioIdSlot(1), GWSetupRecord::toBcd(1003));
    QCOMPARE(back.radioIdSlot(83), GWSetupRecord::toBcd(1249));
    QCOMPARE(back.radioIdSlot(84), 0u);
}

void TestSetupConversion::accepted_data()
{
    // Lines put first into [NETZWERK] of a minimal file (the first of duplicate keys wins), and
    // sections put at its end.
    QTest::addColumn<QByteArray>("netzwerk");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray none;
    QTest::newRow("missing PORT gives 23") << none << none << 66 << QByteArray::fromHex("1700");
    QTest::newRow("missing DHCP and PROH set both bits") << none << none << 1115 << QByteArray::fromHex("09");
    QTest::newRow("missing FILTER_HERSTELLER turns the filter on, T mode")
        << none << none << 1092 << QByteArray::fromHex("11");
    QTest::newRow("missing MASTERKEY gives the default")
        << none << none << 1096 << QByteArray::fromHex("7C3E9A15D2084BF6E1A05C93D76F2B48");
    QTest::newRow("missing codes give QLB") << none << none << 1076 << QByteArray("QLBQLBQLBQLB");
    QTest::newRow("missing medium codes give 8") << none << none << 1088 << QByteArray::fromHex("08080808");
    QTest::newRow("missing SRV_DNS gives zeros") << none << none << 22 << QByteArray(32, '\0');
    QTest::newRow("no WM-BUS_IDS section: empty list") << none << none << 76 << QByteArray(1000, '\0');
    QTest::newRow("empty WM-BUS_IDS section")
        << none << QByteArray("[WM-BUS_IDS]\r\n\r\n") << 76 << QByteArray(1000, '\0');
    QTest::newRow("addresses as written") << none << none << 6 << QByteArray::fromHex("c0a80114c0a80101ffffff00");
    QTest::newRow("leading zeros decimal")
        << QByteArray("FEST_IP=192.168.001.010\r\n") << none << 6 << QByteArray::fromHex("c0a8010a");
    QTest::newRow("last part repeated") << QByteArray("GW_IP=10.1.2\r\n") << none << 10
                                        << QByteArray::fromHex("0a010202");
    QTest::newRow("fifth part ignored") << QByteArray("SUB_IP=1.2.3.4.5\r\n") << none << 14
                                        << QByteArray::fromHex("01020304");
    QTest::newRow("PORT 65535") << QByteArray("PORT=65535\r\n") << none << 66 << QByteArray::fromHex("ffff");
    QTest::newRow("PORT 0") << QByteArray("PORT=0\r\n") << none << 66 << QByteArray::fromHex("0000");
    QTest::newRow("PORT that is no integer takes 23")
        << QByteArray("PORT=abc\r\n") << none << 66 << QByteArray::fromHex("1700");
    QTest::newRow("bool that is no integer takes its default")
        << QByteArray("PROH=nein\r\nDHCP=x\r\n") << none << 1115 << QByteArray::fromHex("09");
    QTest::newRow("several intervals kept") << QByteArray("DHCP=0\r\nSOFORT=1\r\nPROH=0\r\nPROTAG=2\r\nPROMONAT=-1\r\n")
                                            << none << 1115 << QByteArray::fromHex("34");
    QTest::newRow("S mode and every filter")
        << none
        << QByteArray("[WM-BUS]\r\nMODET=0\r\nMODES=1\r\nFILTER_HERSTELLER=0\r\nFILTER_MEDIUM=1\r\nFILTER_IDS=1\r\n")
        << 1092 << QByteArray::fromHex("22");
    QTest::newRow("lower-case manufacturer taken as upper")
        << none << QByteArray("[WM-BUS]\r\nFILTER_HS0=abc\r\nFILTER_HS3=kAm\r\n") << 1076 << QByteArray("ABCQLBQLBKAM");
    QTest::newRow("medium codes with zeros and sign")
        << none << QByteArray("[WM-BUS]\r\nFILTER_MC0=007\r\nFILTER_MC1=+255\r\nFILTER_MC2=0\r\n") << 1088
        << QByteArray::fromHex("07ff0008");
    QTest::newRow("lower-case master key") << QByteArray("MASTERKEY=00112233445566778899aabbccddeeff\r\n") << none
                                           << 1096 << QByteArray::fromHex("00112233445566778899aabbccddeeff");
    QTest::newRow("ID3=12345 and ID7=00012345 are the same ID")
        << none << QByteArray("[WM-BUS_IDS]\r\nID3=12345\r\nID7=00012345\r\n") << 76
        << QByteArray::fromHex("4523010045230100");
    QTest::newRow("file order, not key number")
        << none << QByteArray("[WM-BUS_IDS]\r\nID5=00000042\r\nID0=12345678\r\n") << 76
        << QByteArray::fromHex("4200000078563412");
    QTest::newRow("ID key names of any kind") << none << QByteArray("[WM-BUS_IDS]\r\nX=1\r\nid=99999999\r\n") << 76
                                              << QByteArray::fromHex("0100000099999999");
    QTest::newRow("server name of 32 characters fills the field")
        << QByteArray("SRV_DNS=" + QByteArray(32, 's') + "\r\n") << none << 22 << QByteArray(32, 's');
    QTest::newRow("server name in Windows-1252")
        << QByteArray("SRV_DNS=B\xFCro\r\n") << none << 22 << (QByteArray("B\xFCro") + QByteArray(28, '\0'));
    QTest::newRow("GW_ID keys are not read")
        << QByteArray("GW_ID2=FF\r\nGW_ID1=FF\r\n") << none << 3 << QByteArray::fromHex("0a1b2c");
}

void TestSetupConversion::accepted()
{
    QFETCH(QByteArray, netzwerk);
    QFETCH(QByteArray, tail);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QByteArray content = readBytes(testData(u"setupfile_minimal.GWINI"_s));
    QVERIFY(content.startsWith("[NETZWERK]\r\n"));
    content.insert(12, netzwerk);
    content += tail;
    QVERIFY(writeBytes(SetupFilePath(folder, Gw), content));

    GWSetupRecord record = patterned(1);
    const Status s = SetupFileToRecord(folder, Gw, record);
    QVERIFY2(s.ok(), qPrintable(s.message()));
    QCOMPARE(rawBytes(record, offset, int(bytes.size())).toHex(), bytes.toHex());
}

void TestSetupConversion::refused_data()
{
    QTest::addColumn<QByteArray>("netzwerk");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("message");
    const QByteArray none;
    const auto row = [](const char* name, const QByteArray& netzwerk, const QByteArray& tail, const QString& m) {
        QTest::newRow(name) << netzwerk << tail << m;
    };
    row("letter in address", "FEST_IP=1.2.x.4\r\n", none, u"Ungültiger Wert in [NETZWERK] FEST_IP: 1.2.x.4"_s);
    row("address part 256", "GW_IP=1.2.3.256\r\n", none, u"Ungültiger Wert in [NETZWERK] GW_IP: 1.2.3.256"_s);
    row("negative address part", "SUB_IP=255.255.-1.0\r\n", none,
        u"Ungültiger Wert in [NETZWERK] SUB_IP: 255.255.-1.0"_s);
    row("empty address part", "DNS_IP=1..3.4\r\n", none, u"Ungültiger Wert in [NETZWERK] DNS_IP: 1..3.4"_s);
    row("empty address", "NTP_IP=\r\n", none, u"Fehlender Wert in [NETZWERK] NTP_IP"_s);
    row("PORT above 65535", "PORT=65536\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: 65536 (0 bis 65535)"_s);
    row("negative PORT", "PORT=-1\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: -1 (0 bis 65535)"_s);
    row("huge PORT", "PORT=99999999999\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: 99999999999 (0 bis 65535)"_s);
    row("master key 31 digits", "MASTERKEY=00112233445566778899AABBCCDDEEF\r\n", none,
        u"Ungültiger Wert in [NETZWERK] MASTERKEY: 00112233445566778899AABBCCDDEEF (32 Hex-Ziffern erwartet)"_s);
    row("master key 33 digits", "MASTERKEY=00112233445566778899AABBCCDDEEFF0\r\n", none,
        u"Ungültiger Wert in [NETZWERK] MASTERKEY: 00112233445566778899AABBCCDDEEFF0 (32 Hex-Ziffern erwartet)"_s);
    row("master key not hex", "MASTERKEY=0011223344556677889XAABBCCDDEEFF\r\n", none,
        u"Ungültiger Wert in [NETZWERK] MASTERKEY: 0011223344556677889XAABBCCDDEEFF (32 Hex-Ziffern erwartet)"_s);
    row("empty master key", "MASTERKEY=\r\n", none, u"Fehlender Wert in [NETZWERK] MASTERKEY"_s);
    row("server name of 33 characters", "SRV_DNS=" + QByteArray(33, 'a') + "\r\n", none,
        u"Ungültiger Wert in [NETZWERK] SRV_DNS: %1 (mehr als 32 Zeichen)"_s.arg(QString(33, u'a')));
    row("manufacturer code of two letters", none, "[WM-BUS]\r\nFILTER_HS1=QL\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_HS1: QL (drei Buchstaben A bis Z erwartet)"_s);
    row("manufacturer code of four letters", none, "[WM-BUS]\r\nFILTER_HS2=QLBX\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_HS2: QLBX (drei Buchstaben A bis Z erwartet)"_s);
    row("manufacturer code with digit", none, "[WM-BUS]\r\nFILTER_HS0=Q1B\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_HS0: Q1B (drei Buchstaben A bis Z erwartet)"_s);
    row("manufacturer code with umlaut", none,
        "[WM-BUS]\r\nFILTER_HS3=\xC4"
        "BC\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_HS3: ÄBC (drei Buchstaben A bis Z erwartet)"_s);
    row("medium code 256", none, "[WM-BUS]\r\nFILTER_MC0=256\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_MC0: 256 (0 bis 255)"_s);
    row("negative medium code", none, "[WM-BUS]\r\nFILTER_MC1=-1\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_MC1: -1 (0 bis 255)"_s);
    row("medium code not a number", none, "[WM-BUS]\r\nFILTER_MC3=8a\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_MC3: 8a (0 bis 255)"_s);
    row("radio ID in hex", none, "[WM-BUS_IDS]\r\nID0=12345678\r\nID3=1A2B3C4D\r\n",
        u"Ungültiger Wert in [WM-BUS_IDS] ID3: 1A2B3C4D (1 bis 8 Ziffern erwartet)"_s);
    row("radio ID of nine digits", none, "[WM-BUS_IDS]\r\nID0=123456789\r\n",
        u"Ungültiger Wert in [WM-BUS_IDS] ID0: 123456789 (1 bis 8 Ziffern erwartet)"_s);
    row("negative radio ID", none, "[WM-BUS_IDS]\r\nID0=-5\r\n",
        u"Ungültiger Wert in [WM-BUS_IDS] ID0: -5 (1 bis 8 Ziffern erwartet)"_s);
    row("empty radio ID", none, "[WM-BUS_IDS]\r\nID4=\r\n", u"Fehlender Wert in [WM-BUS_IDS] ID4"_s);
    QByteArray many = "[WM-BUS_IDS]\r\n";
    for (int i = 0; i < 251; ++i)
        many += "ID" + QByteArray::number(i) + "=" + QByteArray::number(i + 1) + "\r\n";
    row("251 radio IDs", none, many, u"Mehr als 250 Funk-IDs in [WM-BUS_IDS] (251)"_s);
}

void TestSetupConversion::refused()
{
    QFETCH(QByteArray, netzwerk);
    QFETCH(QByteArray, tail);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QByteArray content = readBytes(testData(u"setupfile_minimal.GWINI"_s));
    content.insert(12, netzwerk);
    content += tail;
    QVERIFY(writeBytes(SetupFilePath(folder, Gw), content));

    const GWSetupRecord original = patterned(9);
    GWSetupRecord record = original;
    const Status s = SetupFileToRecord(folder, Gw, record);
    QVERIFY(!s.ok());
    QCOMPARE(s.message(), message);
    QVERIFY(record == original);
}

void TestSetupConversion::missingFile()
{
    QTemporaryDir dir;
    const GWSetupRecord original = patterned(5);
    GWSetupRecord record = original;
    const Status s = SetupFileToRecord(dir.path() + u'/', Gw, record);
    QVERIFY(!s.ok());
    QCOMPARE(s.message(), u"Kein Setup für diese GWID vorhanden!"_s);
    QVERIFY(record == original);
}

void TestSetupConversion::roundTrip_data()
{
    QTest::addColumn<GWSetupRecord>("record");

    GWSetupRecord gateway = patterned(17);
    gateway.setGatewayId(Gw);
    gateway.setServerName("srv");
    gateway.setServerPort(4711);
    for (int n = 0; n < 4; ++n)
        gateway.setManufacturerCode(n, QByteArray(1, char('A' + n)) + "MB");
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        gateway.setRadioIdSlot(slot, slot == 3 ? 0x00012345 : slot == 200 ? 0x99999999 : 0);
    QTest::newRow("gateway-like with keyless bits set") << gateway;

    GWSetupRecord full = gateway;
    full.setServerName(QByteArray("abcdefghijklmnopqrstuvwxyz012345"));
    std::mt19937 random(42);
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        full.setRadioIdSlot(slot, GWSetupRecord::toBcd(1 + random() % 99999999));
    full.setServerPort(65535);
    full.setWMBusFlags(0xFF);
    full.setNetworkFlags(0x00);
    QTest::newRow("250 IDs, 32-character name, every WM-BUS bit") << full;

    GWSetupRecord quiet = gateway;
    quiet.setServerName(QByteArray());
    quiet.setServerPort(0);
    quiet.setWMBusFlags(0x00);
    quiet.setNetworkFlags(0xFF);
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        quiet.setRadioIdSlot(slot, 0);
    quiet.setServerName("B\xFC"
                        "ro\x80");
    QTest::newRow("no IDs, S mode, every network bit, 8-bit name") << quiet;
}

void TestSetupConversion::roundTrip()
{
    QFETCH(GWSetupRecord, record);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const Status stored = SetupRecordToFile(folder, Gw, record);
    QVERIFY2(stored.ok(), qPrintable(stored.message()));

    // Read back into the record itself: every byte comes back, except flag bits without a key.
    GWSetupRecord back = record;
    const Status read = SetupFileToRecord(folder, Gw, back);
    QVERIFY2(read.ok(), qPrintable(read.message()));
    GWSetupRecord expected = record;
    expected.setWMBusFlags(record.wmbusFlags() & 0x33);
    expected.setNetworkFlags(record.networkFlags() & 0x3D);
    // Slots keep their numbers only when no empty slot lies before them; the list moves up.
    QList<quint32> ids;
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        if (record.radioIdSlot(slot))
            ids << record.radioIdSlot(slot);
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        expected.setRadioIdSlot(slot, slot < ids.size() ? ids[slot] : 0);
    QCOMPARE(back.toByteArray().toHex(), expected.toByteArray().toHex());

    // Into an empty record: reserved bytes and firmware stay zero, everything keyed arrives.
    GWSetupRecord fresh;
    QVERIFY(SetupFileToRecord(folder, Gw, fresh).ok());
    for (int i : {0, 1, 2, 18, 21, 54, 57, 68, 75, 1093, 1095, 1112, 1114})
        QCOMPARE(int(fresh.raw()[i]), 0);
    QCOMPARE(fresh.masterKey(), record.masterKey());
    QCOMPARE(fresh.serverNameField(), record.serverNameField());
    QCOMPARE(fresh.fixedIp(), record.fixedIp());
    QCOMPARE(fresh.ntpIp(), record.ntpIp());

    // The file holds the record's firmware version.
    const Result<IniFile> ini = IniFile::load(SetupFilePath(folder, Gw));
    QVERIFY(ini.ok());
    QCOMPARE(ini->readInteger(SetupKeys::Software, SetupKeys::V3, -1), int(record.firmwareVersion()[2]));
    QCOMPARE(ini->readBool(SetupKeys::WMBus, SetupKeys::ModeS, false), !record.wmbusFlag(GWSetupRecord::ModeT));
}

void TestSetupConversion::singleSlotStoredAsOneKey()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    GWSetupRecord record;
    for (int n = 0; n < 4; ++n)
        record.setManufacturerCode(n, "QLB");
    record.setRadioIdSlot(3, 0x00012345);
    record.setServerName("srv");
    QVERIFY(SetupRecordToFile(folder, Gw, record).ok());
    const Result<IniFile> ini = IniFile::load(SetupFilePath(folder, Gw));
    QVERIFY(ini.ok());
    QCOMPARE(ini->keys(SetupKeys::WMBusIds), QStringList{u"ID3"_s});
    QCOMPARE(ini->readString(SetupKeys::WMBusIds, u"ID3"_s), u"00012345"_s);
    QCOMPARE(ini->readString(SetupKeys::Netzwerk, SetupKeys::SrvDns), u"srv"_s);
    QCOMPARE(ini->readString(SetupKeys::Netzwerk, SetupKeys::FestIp), u"000.000.000.000"_s);
    QCOMPARE(ini->readString(SetupKeys::Netzwerk, SetupKeys::MasterKey), QString(32, u'0'));

    GWSetupRecord back;
    QVERIFY(SetupFileToRecord(folder, Gw, back).ok());
    QCOMPARE(back.radioIdSlot(0), 0x00012345u);
    QCOMPARE(back.serverNameField(), QByteArray("srv") + QByteArray(29, '\0'));
}

void TestSetupConversion::newFileKeyOrder()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    GWSetupRecord record;
    record.setRadioIdSlot(0, 0x12345678);
    record.setRadioIdSlot(7, 0x42);
    QVERIFY(SetupRecordToFile(folder, Gw, record).ok());
    const QByteArray file = readBytes(SetupFilePath(folder, Gw));
    QStringList names;
    for (const QByteArray& line : file.split('\n')) {
        if (line.isEmpty())
            continue;
        QVERIFY(line.endsWith('\r'));
        const qsizetype eq = line.indexOf('=');
        names << QString::fromLatin1((eq < 0 ? line : line.left(eq)).trimmed());
    }
    // Keys added to NETZWERK after [SOFTWARE] was begun still land in NETZWERK.
    const QStringList expected = (u"[GET] GETTIME [NETZWERK] GW_ID2 GW_ID1 GW_ID0 SRV_DNS PORT DHCP FEST_IP GW_IP "
                                  "SUB_IP DNS_IP NTP_IP SOFORT PROH PROTAG PROMONAT MASTERKEY [SOFTWARE] V1 V2 V3 "
                                  "[WM-BUS] MODET MODES FILTER_HERSTELLER FILTER_MEDIUM FILTER_IDS FILTER_HS0 "
                                  "FILTER_HS1 FILTER_HS2 FILTER_HS3 FILTER_MC0 FILTER_MC1 FILTER_MC2 FILTER_MC3 "
                                  "[WM-BUS_IDS] ID0 ID7"_s)
                                     .split(u' ');
    QCOMPARE(names, expected);
}

void TestSetupConversion::getTimeIsNow()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QVERIFY(SetupRecordToFile(folder, Gw, GWSetupRecord()).ok());
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    const Result<IniFile> ini = IniFile::load(SetupFilePath(folder, Gw));
    QVERIFY(ini.ok());
    const QString text = ini->readString(SetupKeys::Get, SetupKeys::GetTime);
    QVERIFY2(QRegularExpression(u"^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"_s).match(text).hasMatch(),
             qPrintable(text));
    const QDateTime stamp = QDateTime::fromString(text, u"dd.MM.yyyy hh:mm:ss"_s);
    QVERIFY(stamp >= before.addSecs(-1) && stamp <= after);
}

void TestSetupConversion::storeFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("folder missing") << u"nofolder"_s << u"konnte nicht gespeichert werden: "_s;
    QTest::newRow("line break in server name") << u"linebreak"_s << u"Zeilenumbruch"_s;
    QTest::newRow("file cannot be read") << u"directory"_s << u"konnte nicht gelesen werden: "_s;
}

void TestSetupConversion::storeFailures()
{
    QFETCH(QString, kind);
    QFETCH(QString, messagePart);
    QTemporaryDir dir;
    QString folder = dir.path() + u'/';
    GWSetupRecord record;
    const QByteArray old = readBytes(testData(u"setupfile_SETUPGW_0A_1B_2C.GWINI"_s));
    if (kind == u"nofolder"_s) {
        folder = dir.path() + u"/fehlt/"_s;
    } else if (kind == u"linebreak"_s) {
        QVERIFY(writeBytes(SetupFilePath(folder, Gw), old));
        record.setServerName("host\r\nKUNDE=untergeschoben");
    } else {
        QVERIFY(QDir().mkdir(SetupFilePath(folder, Gw)));
    }
    const Status s = SetupRecordToFile(folder, Gw, record);
    QVERIFY(!s.ok());
    QVERIFY2(s.message().contains(messagePart), qPrintable(s.message()));
    if (kind == u"linebreak"_s)
        QCOMPARE(readBytes(SetupFilePath(folder, Gw)), old);
    if (kind == u"nofolder"_s)
        QVERIFY(s.message().contains(SetupFilePath(folder, Gw)));
}

QTEST_GUILESS_MAIN(TestSetupConversion)
#include "TestSetupConversion.moc"
