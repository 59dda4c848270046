#include "TestSupport.h"

#include "base/IniFile.h"
#include "base/TextEncoding.h"
#include "base/Windows1252.h"
#include "setups/GWSetupRecord.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

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
        const QString text = Windows1252::decode(line).trimmed();
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
    void recordValuesInFileOrder();
    void inexpressible_data();
    void inexpressible();
    void singleSlotStoredAsOneKey();
    void newFileKeyOrder();
    void getTimeIsNow();
    void storeFailures_data();
    void storeFailures();
};

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
    QTest::newRow("PORT 65535") << QByteArray("PORT=65535\r\n") << none << 66 << QByteArray::fromHex("ffff");
    QTest::newRow("PORT 1") << QByteArray("PORT=1\r\n") << none << 66 << QByteArray::fromHex("0100");
    QTest::newRow("quoted PORT") << QByteArray("PORT=\"4711\"\r\n") << none << 66 << QByteArray::fromHex("6712");
    QTest::newRow("bool that is no integer takes its default")
        << QByteArray("PROH=nein\r\nDHCP=x\r\n") << none << 1115 << QByteArray::fromHex("09");
    QTest::newRow("several intervals kept") << QByteArray("DHCP=0\r\nSOFORT=1\r\nPROH=0\r\nPROTAG=2\r\nPROMONAT=-1\r\n")
                                            << none << 1115 << QByteArray::fromHex("34");
    QTest::newRow("S mode and every filter")
        << none
        << QByteArray("[WM-BUS]\r\nMODET=0\r\nMODES=1\r\nFILTER_HERSTELLER=0\r\nFILTER_MEDIUM=1\r\nFILTER_IDS=1\r\n")
        << 1092 << QByteArray::fromHex("22");
    QTest::newRow("manufacturer codes copied as they stand")
        << none << QByteArray("[WM-BUS]\r\nFILTER_HS0=abc\r\nFILTER_HS1=a-1\r\nFILTER_HS3=\"k  \"\r\n") << 1076
        << QByteArray("abca-1QLBk  ");
    QTest::newRow("manufacturer code in Windows-1252")
        << none << QByteArray("[WM-BUS]\r\nFILTER_HS2=\xC4\x80\xFF\r\n") << 1082 << QByteArray("\xC4\x80\xFF");
    QTest::newRow("medium codes with zeros")
        << none << QByteArray("[WM-BUS]\r\nFILTER_MC0=007\r\nFILTER_MC1=255\r\nFILTER_MC2=0\r\n") << 1088
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
    QTest::newRow("server name bytes that are valid UTF-8 stay two bytes")
        << QByteArray("SRV_DNS=\xC3\xA4\r\n") << none << 22 << (QByteArray("\xC3\xA4") + QByteArray(30, '\0'));
    QTest::newRow("quoted server name keeps its blanks")
        << QByteArray("SRV_DNS=\"  srv \"\r\n") << none << 22 << (QByteArray("  srv ") + QByteArray(26, '\0'));
    QByteArray duplicates = "[WM-BUS_IDS]\r\n";
    for (int i = 0; i < 300; ++i)
        duplicates += "ID" + QByteArray::number(i % 250) + "=" + QByteArray::number(i + 1) + "\r\n";
    QTest::newRow("250 radio IDs and 50 duplicate keys: the first of each")
        << none << duplicates << 1072 << QByteArray::fromHex("50020000");
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
    QTest::addColumn<QByteArray>("netzwerk"); // behind a byte-order mark for the whole file: UTF-8
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("message");
    const QByteArray none;
    const auto row = [](const char* name, const QByteArray& netzwerk, const QByteArray& tail, const QString& m) {
        QTest::newRow(name) << netzwerk << tail << m;
    };
    const QString addressWhy = u" (vier Zahlen von 0 bis 255 mit je 1 bis 3 Ziffern, durch Punkte getrennt)"_s;
    row("letter in address", "FEST_IP=1.2.x.4\r\n", none,
        u"Ungültiger Wert in [NETZWERK] FEST_IP: 1.2.x.4"_s + addressWhy);
    row("address part 256", "GW_IP=1.2.3.256\r\n", none,
        u"Ungültiger Wert in [NETZWERK] GW_IP: 1.2.3.256"_s + addressWhy);
    row("negative address part", "SUB_IP=255.255.-1.0\r\n", none,
        u"Ungültiger Wert in [NETZWERK] SUB_IP: 255.255.-1.0"_s + addressWhy);
    row("empty address part", "DNS_IP=1..3.4\r\n", none,
        u"Ungültiger Wert in [NETZWERK] DNS_IP: 1..3.4"_s + addressWhy);
    row("empty address", "NTP_IP=\r\n", none, u"Fehlender Wert in [NETZWERK] NTP_IP"_s);
    row("mask of three parts", "SUB_IP=255.255.255\r\n", none,
        u"Ungültiger Wert in [NETZWERK] SUB_IP: 255.255.255"_s + addressWhy);
    row("address of five parts", "FEST_IP=192.168.1.98.7\r\n", none,
        u"Ungültiger Wert in [NETZWERK] FEST_IP: 192.168.1.98.7"_s + addressWhy);
    row("address with signs", "GW_IP=+1.-0.3.4\r\n", none,
        u"Ungültiger Wert in [NETZWERK] GW_IP: +1.-0.3.4"_s + addressWhy);
    row("address part of four digits", "DNS_IP=0192.168.1.1\r\n", none,
        u"Ungültiger Wert in [NETZWERK] DNS_IP: 0192.168.1.1"_s + addressWhy);
    row("address with a trailing dot", "NTP_IP=1.2.3.4.\r\n", none,
        u"Ungültiger Wert in [NETZWERK] NTP_IP: 1.2.3.4."_s + addressWhy);
    row("PORT 0", "PORT=0\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: 0 (1 bis 65535)"_s);
    row("PORT above 65535", "PORT=65536\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: 65536 (1 bis 65535)"_s);
    row("negative PORT", "PORT=-1\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: -1 (1 bis 65535)"_s);
    row("PORT with a sign", "PORT=+23\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: +23 (1 bis 65535)"_s);
    row("PORT that is no number", "PORT=abc\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: abc (1 bis 65535)"_s);
    row("huge PORT", "PORT=99999999999\r\n", none, u"Ungültiger Wert in [NETZWERK] PORT: 99999999999 (1 bis 65535)"_s);
    row("empty PORT", "PORT=\r\n", none, u"Fehlender Wert in [NETZWERK] PORT"_s);
    row("master key 31 digits", "MASTERKEY=00112233445566778899AABBCCDDEEF\r\n", none,
        u"Ungültiger Wert in [NETZWERK] MASTERKEY: 00112233445566778899AABBCCDDEEF (32 Hex-Ziffern erwartet)"_s);
    row("master key 33 digits", "MASTERKEY=00112233445566778899AABBCCDDEEFF0\r\n", none,
        u"Ungültiger Wert in [NETZWERK] MASTERKEY: 00112233445566778899AABBCCDDEEFF0 (32 Hex-Ziffern erwartet)"_s);
    row("master key not hex", "MASTERKEY=0011223344556677889XAABBCCDDEEFF\r\n", none,
        u"Ungültiger Wert in [NETZWERK] MASTERKEY: 0011223344556677889XAABBCCDDEEFF (32 Hex-Ziffern erwartet)"_s);
    row("empty master key", "MASTERKEY=\r\n", none, u"Fehlender Wert in [NETZWERK] MASTERKEY"_s);
    row("server name of 33 characters", "SRV_DNS=" + QByteArray(33, 'a') + "\r\n", none,
        u"Ungültiger Wert in [NETZWERK] SRV_DNS: %1 (mehr als 32 Zeichen)"_s.arg(QString(33, u'a')));
    row("server name outside Windows-1252", "\xEF\xBB\xBFSRV_DNS=\xCE\xA9\r\n"_ba, none,
        u"Ungültiger Wert in [NETZWERK] SRV_DNS: Ω (Zeichen, die das Gateway nicht speichern kann)"_s);
    row("manufacturer code of two letters", none, "[WM-BUS]\r\nFILTER_HS1=QL\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_HS1: QL (drei Zeichen aus Windows-1252 erwartet)"_s);
    row("manufacturer code of four letters", none, "[WM-BUS]\r\nFILTER_HS2=QLBX\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_HS2: QLBX (drei Zeichen aus Windows-1252 erwartet)"_s);
    row("manufacturer code outside Windows-1252", "\xEF\xBB\xBF"_ba,
        "[WM-BUS]\r\nFILTER_HS0=\xCE\xA9"
        "BC\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_HS0: ΩBC (drei Zeichen aus Windows-1252 erwartet)"_s);
    row("medium code 256", none, "[WM-BUS]\r\nFILTER_MC0=256\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_MC0: 256 (0 bis 255)"_s);
    row("negative medium code", none, "[WM-BUS]\r\nFILTER_MC1=-1\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_MC1: -1 (0 bis 255)"_s);
    row("medium code with a sign", none, "[WM-BUS]\r\nFILTER_MC2=+8\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_MC2: +8 (0 bis 255)"_s);
    row("medium code not a number", none, "[WM-BUS]\r\nFILTER_MC3=8a\r\n",
        u"Ungültiger Wert in [WM-BUS] FILTER_MC3: 8a (0 bis 255)"_s);
    const QString idWhy = u" (1 bis 8 Ziffern, nicht 0)"_s;
    row("radio ID in hex", none, "[WM-BUS_IDS]\r\nID0=12345678\r\nID3=1A2B3C4D\r\n",
        u"Ungültiger Wert in [WM-BUS_IDS] ID3: 1A2B3C4D"_s + idWhy);
    row("radio ID of nine digits", none, "[WM-BUS_IDS]\r\nID0=123456789\r\n",
        u"Ungültiger Wert in [WM-BUS_IDS] ID0: 123456789"_s + idWhy);
    row("negative radio ID", none, "[WM-BUS_IDS]\r\nID0=-5\r\n", u"Ungültiger Wert in [WM-BUS_IDS] ID0: -5"_s + idWhy);
    row("radio ID 0", none, "[WM-BUS_IDS]\r\nID0=00000000\r\n",
        u"Ungültiger Wert in [WM-BUS_IDS] ID0: 00000000"_s + idWhy);
    row("empty radio ID", none, "[WM-BUS_IDS]\r\nID4=\r\n", u"Fehlender Wert in [WM-BUS_IDS] ID4"_s);
    QByteArray many = "[WM-BUS_IDS]\r\n";
    for (int i = 0; i < 251; ++i)
        many += "ID" + QByteArray::number(i) + "=" + QByteArray::number(i + 1) + "\r\n";
    row("251 radio IDs", none, many, u"Mehr als 250 Funk-IDs in [WM-BUS_IDS]"_s);
}

void TestSetupConversion::refused()
{
    QFETCH(QByteArray, netzwerk);
    QFETCH(QByteArray, tail);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QByteArray content = readBytes(testData(u"setupfile_minimal.GWINI"_s));
    const QByteArray mark = "\xEF\xBB\xBF";
    content.insert(12, netzwerk.startsWith(mark) ? netzwerk.mid(mark.size()) : netzwerk);
    if (netzwerk.startsWith(mark))
        content.prepend(mark);
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

// A record whose every byte the setup file can express: keyed flag bits only, radio IDs in BCD
// from slot 0 without a gap, a server name without bytes after its first zero and without line
// breaks, codes of three bytes that are neither zero nor a line break, a port of 1 or more.
GWSetupRecord expressible(quint8 seed)
{
    GWSetupRecord r = patterned(seed);
    r.setGatewayId(Gw);
    r.setServerName("srv.example.net");
    r.setServerPort(quint16(4711 + seed));
    for (int n = 0; n < 4; ++n)
        r.setManufacturerCode(n, QByteArray(1, char('A' + n + seed % 20)) + "MB");
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        r.setRadioIdSlot(slot, slot < 3 ? GWSetupRecord::toBcd(quint32(12345670 + slot + seed)) : 0);
    r.setWMBusFlags(r.wmbusFlags() & 0x33);
    r.setNetworkFlags(r.networkFlags() & 0x3D);
    return r;
}

void TestSetupConversion::roundTrip_data()
{
    QTest::addColumn<GWSetupRecord>("record");
    QTest::addColumn<TextEncoding>("encoding");

    QList<std::pair<QByteArray, GWSetupRecord>> records;
    const auto add = [&records](const char* name, const GWSetupRecord& r) { records.append({name, r}); };
    add("gateway-like", expressible(17));

    GWSetupRecord r = expressible(1);
    r.setServerName("\xC3\xA4");
    add("server name bytes C3 A4", r);
    r.setServerName("  srv\t");
    add("server name with blanks and tab at the ends", r);
    r.setServerName("\"srv\"");
    add("server name in double quotes", r);
    r.setServerName("'srv'");
    add("server name in single quotes", r);
    r.setServerName("\"");
    add("server name of one quote", r);
    r.setServerName(QByteArray(32, ' '));
    add("server name of 32 blanks", r);
    QByteArray high;
    for (int b = 0x80; b < 0xA0; ++b)
        high += char(b);
    r.setServerName(high);
    add("server name of the 32 bytes 80..9F", r);
    r.setServerName("\x01\x09\x0B\x1F=;[]\x7F\xA0\xFF");
    add("server name of control and special bytes", r);

    r = expressible(2);
    r.setManufacturerCode(0, "abc");
    r.setManufacturerCode(1, "a-1");
    r.setManufacturerCode(2, "   ");
    r.setManufacturerCode(3, "\x80\xFF\x01");
    add("lower-case and odd manufacturer codes", r);
    r.setManufacturerCode(0, "\"x\"");
    r.setManufacturerCode(1, "'x'");
    r.setManufacturerCode(2, " x ");
    r.setManufacturerCode(3, "=;[");
    add("manufacturer codes that need quotes", r);

    r = expressible(3);
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        r.setRadioIdSlot(slot, GWSetupRecord::toBcd(quint32(slot % 2 ? 99999999 - slot : 1 + slot)));
    add("250 radio IDs from 1 to 99999999", r);

    r = expressible(4);
    r.setWMBusFlags(0x33);
    r.setNetworkFlags(0x3D);
    r.setServerPort(65535);
    r.setFixedIp({255, 255, 255, 255});
    r.setMasterKey({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    add("every keyed bit, highest values", r);
    r.setWMBusFlags(0);
    r.setNetworkFlags(0);
    r.setServerPort(1);
    r.setFixedIp({0, 0, 0, 0});
    r.setMasterKey({});
    r.setServerName(QByteArray());
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        r.setRadioIdSlot(slot, 0);
    for (int n = 0; n < 4; ++n)
        r.setMediumCode(n, 0);
    add("no keyed bit, lowest values, no name, no IDs", r);

    const std::pair<const char*, TextEncoding> encodings[] = {
        {"ANSI", TextEncoding::Windows1252},
        {"UTF-8 BOM", TextEncoding::Utf8},
        {"UTF-16 LE", TextEncoding::Utf16LE},
        {"UTF-16 BE", TextEncoding::Utf16BE},
    };
    for (const auto& [name, record] : records) {
        for (const auto& [encodingName, encoding] : encodings)
            QTest::newRow((name + ", " + encodingName).constData()) << record << encoding;
    }
}

void TestSetupConversion::roundTrip()
{
    QFETCH(GWSetupRecord, record);
    QFETCH(TextEncoding, encoding);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QString path = SetupFilePath(folder, Gw);
    // The file exists already, written by another program in its encoding, with its own key and a comment.
    const QString foreign = u"[FREMD]\r\nSCHLÜSSEL=Wert mit ä\r\n; Kommentar\r\n\r\n[NETZWERK]\r\nAORT=Keller\r\n"_s;
    QVERIFY(
        writeBytes(path, TextEncodings::byteOrderMark(encoding) + TextEncodings::encode(encoding, foreign).value()));

    const Status stored = SetupRecordToFile(folder, Gw, record);
    QVERIFY2(stored.ok(), qPrintable(stored.message()));

    // Back into a record that carries other reserved bytes and firmware: exactly the same 1116 bytes.
    GWSetupRecord base = patterned(99);
    for (int i :
         {0, 1, 2, 18, 19, 20, 21, 54, 55, 56, 57, 68, 69, 70, 71, 72, 73, 74, 75, 1093, 1094, 1095, 1112, 1113, 1114})
        base.raw()[i] = record.raw()[i];
    const Status read = SetupFileToRecord(folder, Gw, base);
    QVERIFY2(read.ok(), qPrintable(read.message()));
    QCOMPARE(base.toByteArray().toHex(), record.toByteArray().toHex());

    // The file kept its encoding and the other program's lines; every listed value reads back as listed.
    const Result<IniFile> ini = IniFile::load(path);
    QVERIFY(ini.ok());
    QCOMPARE(ini->encoding(), encoding);
    QCOMPARE(ini->readString(u"FREMD"_s, u"SCHLÜSSEL"_s), u"Wert mit ä"_s);
    QCOMPARE(ini->readString(u"NETZWERK"_s, u"AORT"_s), u"Keller"_s);
    QVERIFY(TextEncodings::decode(encoding, readBytes(path).mid(TextEncodings::byteOrderMark(encoding).size()))
                .contains(u"; Kommentar\r\n"_s));
    const QList<SetupFileValue> values = recordFileValues(record);
    for (const SetupFileValue& v : values)
        QCOMPARE(ini->readString(v.section, v.key, u"<fehlt>"_s), v.text);
    QCOMPARE(ini->keys(SetupKeys::WMBusIds).size(),
             std::count_if(values.cbegin(), values.cend(),
                           [](const SetupFileValue& v) { return v.section == SetupKeys::WMBusIds; }));
}

void TestSetupConversion::recordValuesInFileOrder()
{
    GWSetupRecord r;
    r.setServerName(" srv");
    r.setServerPort(4711);
    r.setFirmwareVersion({1, 4, 12});
    r.setFixedIp({192, 168, 1, 10});
    r.setNetworkFlags(GWSetupRecord::Dhcp | GWSetupRecord::ReportDaily);
    r.setWMBusFlags(GWSetupRecord::MediumFilter);
    r.setMasterKey({0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
    r.setManufacturerCode(0, "abc");
    r.setManufacturerCode(2, "Q\0B");
    r.setMediumCode(3, 255);
    r.setRadioIdSlot(4, 0x00012345);
    r.setRadioIdSlot(9, 0x1A2B3C4D);
    QStringList seen;
    for (const SetupFileValue& v : recordFileValues(r))
        seen << u"[%1] %2=%3"_s.arg(v.section, v.key, v.text);
    const QStringList expected = {
        u"[SOFTWARE] V1=1"_s,
        u"[SOFTWARE] V2=4"_s,
        u"[SOFTWARE] V3=12"_s,
        u"[NETZWERK] SRV_DNS= srv"_s,
        u"[NETZWERK] PORT=4711"_s,
        u"[NETZWERK] DHCP=1"_s,
        u"[NETZWERK] FEST_IP=192.168.001.010"_s,
        u"[NETZWERK] GW_IP=000.000.000.000"_s,
        u"[NETZWERK] SUB_IP=000.000.000.000"_s,
        u"[NETZWERK] DNS_IP=000.000.000.000"_s,
        u"[NETZWERK] NTP_IP=000.000.000.000"_s,
        u"[NETZWERK] SOFORT=0"_s,
        u"[NETZWERK] PROH=0"_s,
        u"[NETZWERK] PROTAG=1"_s,
        u"[NETZWERK] PROMONAT=0"_s,
        u"[NETZWERK] MASTERKEY=00112233445566778899AABBCCDDEEFF"_s,
        u"[WM-BUS] MODET=0"_s,
        u"[WM-BUS] MODES=1"_s,
        u"[WM-BUS] FILTER_HERSTELLER=0"_s,
        u"[WM-BUS] FILTER_MEDIUM=1"_s,
        u"[WM-BUS] FILTER_IDS=0"_s,
        u"[WM-BUS] FILTER_HS0=abc"_s,
        u"[WM-BUS] FILTER_HS1="_s,
        u"[WM-BUS] FILTER_HS2=Q"_s,
        u"[WM-BUS] FILTER_HS3="_s,
        u"[WM-BUS] FILTER_MC0=0"_s,
        u"[WM-BUS] FILTER_MC1=0"_s,
        u"[WM-BUS] FILTER_MC2=0"_s,
        u"[WM-BUS] FILTER_MC3=255"_s,
        u"[WM-BUS_IDS] ID4=00012345"_s,
        u"[WM-BUS_IDS] ID9=1A2B3C4D"_s,
    };
    QCOMPARE(seen, expected);
}

// What the setup file cannot express, and what becomes of it: either the read-back record differs
// in the named way, or the conversion refuses with the named message.
void TestSetupConversion::inexpressible_data()
{
    QTest::addColumn<GWSetupRecord>("record");
    QTest::addColumn<GWSetupRecord>("readBack"); // what SetupFileToRecord gives, when it converts
    QTest::addColumn<QString>("message");        // else the message of the store or the read

    const GWSetupRecord base = expressible(5);
    GWSetupRecord r = base;
    GWSetupRecord back = base;
    r.setRadioIdSlot(0, 0);
    r.setRadioIdSlot(5, 0x00000042);
    back.setRadioIdSlot(0, base.radioIdSlot(1));
    back.setRadioIdSlot(1, base.radioIdSlot(2));
    back.setRadioIdSlot(2, 0x00000042);
    QTest::newRow("gaps in the radio-ID list: packed in file order") << r << back << QString();

    r = base;
    back = base;
    r.setWMBusFlags(0xFF);
    r.setNetworkFlags(0xFF);
    back.setWMBusFlags(0x33);
    back.setNetworkFlags(0x3D);
    QTest::newRow("flag bits without a key come back clear") << r << back << QString();

    r = base;
    back = base;
    r.setServerName(QByteArray("srv\0rest", 8));
    back.setServerName("srv");
    QTest::newRow("bytes after the first zero of the server name are lost") << r << back << QString();

    r = base;
    r.setRadioIdSlot(1, 0x1A2B3C4D);
    QTest::newRow("an ID slot that is not BCD")
        << r << GWSetupRecord() << u"Ungültiger Wert in [WM-BUS_IDS] ID1: 1A2B3C4D (1 bis 8 Ziffern, nicht 0)"_s;
    r = base;
    r.setManufacturerCode(2, QByteArray("Q\0B", 3));
    QTest::newRow("a zero byte in a code")
        << r << GWSetupRecord()
        << u"Ungültiger Wert in [WM-BUS] FILTER_HS2: Q (drei Zeichen aus Windows-1252 erwartet)"_s;
    r = base;
    r.setServerPort(0);
    QTest::newRow("port 0") << r << GWSetupRecord() << u"Ungültiger Wert in [NETZWERK] PORT: 0 (1 bis 65535)"_s;
    r = base;
    r.setServerName("srv\r\nKUNDE=x");
    QTest::newRow("a line break in the server name")
        << r << GWSetupRecord() << u"Der Wert für [NETZWERK] SRV_DNS darf keinen Zeilenumbruch enthalten."_s;
    r = base;
    r.setManufacturerCode(1, "A\nB");
    QTest::newRow("a line break in a code")
        << r << GWSetupRecord() << u"Der Wert für [WM-BUS] FILTER_HS1 darf keinen Zeilenumbruch enthalten."_s;
}

void TestSetupConversion::inexpressible()
{
    QFETCH(GWSetupRecord, record);
    QFETCH(GWSetupRecord, readBack);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    Status s = SetupRecordToFile(folder, Gw, record);
    GWSetupRecord back = record;
    if (s)
        s = SetupFileToRecord(folder, Gw, back);
    if (message.isEmpty()) {
        QVERIFY2(s.ok(), qPrintable(s.message()));
        QCOMPARE(back.toByteArray().toHex(), readBack.toByteArray().toHex());
    } else {
        QVERIFY(!s.ok());
        QCOMPARE(s.message(), message);
        QVERIFY(back == record);
    }
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
    record.setServerPort(23);
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
        QVERIFY(s.message().contains(QDir::toNativeSeparators(SetupFilePath(folder, Gw))));
}

QTEST_GUILESS_MAIN(TestSetupConversion)
#include "TestSetupConversion.moc"
