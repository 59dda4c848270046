#include "TestSupport.h"

#include "session/ToolSettings.h"
#include "setups/FieldRules.h"
#include "setups/SetupFile.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QHash<QString, FieldRules::Range> ranges{
    {u"port"_s, FieldRules::PortRange},
    {u"parallel"_s, FieldRules::ParallelRange},
    {u"connect"_s, FieldRules::ConnectTimeoutMsRange},
    {u"verify"_s, FieldRules::VerifyTimeoutMsRange},
    {u"byte"_s, FieldRules::ByteRange},
};

QByteArray bytesOf(const auto& array)
{
    return QByteArray(reinterpret_cast<const char*>(array.data()), qsizetype(array.size()));
}

} // namespace

// The field rules are the one reading of every setup field and tool setting: each table below is
// the whole rule for one kind of text.
class TestFieldRules : public QObject
{
    Q_OBJECT

private slots:
    void address_data();
    void address();
    void number_data();
    void number();
    void clampedSettings_data();
    void clampedSettings();
    void hexDigit_data();
    void hexDigit();
    void hexPair_data();
    void hexPair();
    void masterKey_data();
    void masterKey();
    void masterKeyCount();
};

void TestFieldRules::address_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused
    QTest::newRow("plain") << u"192.168.1.98"_s << QByteArray::fromHex("c0a80162");
    QTest::newRow("other plain") << u"192.168.7.20"_s << QByteArray::fromHex("c0a80714");
    QTest::newRow("leading zeros are decimal") << u"192.168.001.010"_s << QByteArray::fromHex("c0a8010a");
    QTest::newRow("mask") << u"255.255.255.000"_s << QByteArray::fromHex("ffffff00");
    QTest::newRow("255 is the top") << u"255.255.255.255"_s << QByteArray::fromHex("ffffffff");
    QTest::newRow("zeros") << u"0.0.0.0"_s << QByteArray::fromHex("00000000");
    QTest::newRow("zeros of three digits") << u"000.000.000.000"_s << QByteArray::fromHex("00000000");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("single number") << u"7"_s << QByteArray();
    QTest::newRow("two dots") << u"1.2.3"_s << QByteArray();
    QTest::newRow("three parts, no part repeated") << u"255.255.255"_s << QByteArray();
    QTest::newRow("four dots") << u"1.2.3.4.5"_s << QByteArray();
    QTest::newRow("fifth part") << u"192.168.1.98.7"_s << QByteArray();
    QTest::newRow("fifth part of junk") << u"1.2.3.4.x"_s << QByteArray();
    QTest::newRow("first above 255") << u"256.1.1.1"_s << QByteArray();
    QTest::newRow("last 256") << u"1.2.3.256"_s << QByteArray();
    QTest::newRow("last above 255") << u"1.2.3.300"_s << QByteArray();
    QTest::newRow("minus sign") << u"-1.0.0.0"_s << QByteArray();
    QTest::newRow("negative inner part") << u"1.-2.3.4"_s << QByteArray();
    QTest::newRow("plus sign") << u"+1.2.3.4"_s << QByteArray();
    QTest::newRow("signs") << u"+1.-0.3.4"_s << QByteArray();
    QTest::newRow("empty part") << u"1..2.3"_s << QByteArray();
    QTest::newRow("empty third part") << u"1..3.4"_s << QByteArray();
    QTest::newRow("trailing dot") << u"1.2.3."_s << QByteArray();
    QTest::newRow("letters") << u"1.2.x.4"_s << QByteArray();
    QTest::newRow("digits and letters") << u"10.0.0.1a"_s << QByteArray();
    QTest::newRow("hex part") << u"0x1.2.3.4"_s << QByteArray();
    QTest::newRow("blank before a part") << u"1.2.3. 4"_s << QByteArray();
    QTest::newRow("blank in part") << u"1.2. 3.4"_s << QByteArray();
    QTest::newRow("trailing blank") << u"1.2.3.4 "_s << QByteArray();
    QTest::newRow("digits of another script") << u"\u0661.2.3.4"_s << QByteArray();
    QTest::newRow("four digits") << u"0001.2.3.4"_s << QByteArray();
    QTest::newRow("long zeros") << u"0000000001.2.3.4"_s << QByteArray();
    QTest::newRow("18 characters in one part") << u"000000000000000001.2.3.4"_s << QByteArray();
    QTest::newRow("26 characters in one part (found by fuzzing)")
        << u"19.00000000000000000000000000.6.198"_s << QByteArray();
    QTest::newRow("huge part") << u"99999999999999999999.2.3.4"_s << QByteArray();
}

void TestFieldRules::address()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const std::optional<GWSetupRecord::Address> a = FieldRules::address(text);
    QCOMPARE(a.has_value(), !bytes.isEmpty());
    if (a)
        QCOMPARE(bytesOf(*a), bytes);
}

void TestFieldRules::number_data()
{
    QTest::addColumn<QString>("range");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -1: refused
    QTest::newRow("port 1") << u"port"_s << u"1"_s << 1;
    QTest::newRow("port 65535") << u"port"_s << u"65535"_s << 65535;
    QTest::newRow("port leading zeros") << u"port"_s << u"00030"_s << 30;
    QTest::newRow("port 0") << u"port"_s << u"0"_s << -1;
    QTest::newRow("port 65536") << u"port"_s << u"65536"_s << -1;
    QTest::newRow("port six digits") << u"port"_s << u"000030"_s << -1;
    QTest::newRow("port with sign") << u"port"_s << u"+30"_s << -1;
    QTest::newRow("port with blank") << u"port"_s << u" 30"_s << -1;
    QTest::newRow("port empty") << u"port"_s << QString() << -1;
    QTest::newRow("port of another script") << u"port"_s << u"\u0663\u0660"_s << -1;
    QTest::newRow("port huge") << u"port"_s << u"4294967326"_s << -1;
    QTest::newRow("parallel 1") << u"parallel"_s << u"1"_s << 1;
    QTest::newRow("parallel 255") << u"parallel"_s << u"255"_s << 255;
    QTest::newRow("parallel 0") << u"parallel"_s << u"0"_s << -1;
    QTest::newRow("parallel 256") << u"parallel"_s << u"256"_s << -1;
    QTest::newRow("connect 49") << u"connect"_s << u"49"_s << -1;
    QTest::newRow("connect 50") << u"connect"_s << u"50"_s << 50;
    QTest::newRow("connect 60000") << u"connect"_s << u"60000"_s << 60000;
    QTest::newRow("connect 60001") << u"connect"_s << u"60001"_s << -1;
    QTest::newRow("connect decimal point") << u"connect"_s << u"100.5"_s << -1;
    QTest::newRow("verify 0") << u"verify"_s << u"0"_s << 0;
    QTest::newRow("verify 600000") << u"verify"_s << u"600000"_s << 600000;
    QTest::newRow("verify 600001") << u"verify"_s << u"600001"_s << -1;
    QTest::newRow("byte 255") << u"byte"_s << u"255"_s << 255;
    QTest::newRow("byte 256") << u"byte"_s << u"256"_s << -1;
    QTest::newRow("byte four digits") << u"byte"_s << u"0001"_s << -1;
}

void TestFieldRules::number()
{
    QFETCH(QString, range);
    QFETCH(QString, text);
    QFETCH(int, value);
    const std::optional<int> n = FieldRules::number(text, ranges.value(range));
    QCOMPARE(n.value_or(-1), value);
    if (range == u"port"_s)
        QCOMPARE(int(FieldRules::port(text).value_or(0)), std::max(value, 0));
    if (range == u"byte"_s) {
        QCOMPARE(FieldRules::mediumCode(text).has_value(), value >= 0);
        QCOMPARE(FieldRules::addressPart(text).has_value(), value >= 0);
    }
}

// The settings file may hold any number; the loader brings each into its range.
void TestFieldRules::clampedSettings_data()
{
    QTest::addColumn<QByteArray>("tcpSection");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<int>("connectMs");
    QTest::addColumn<int>("verifyMs");
    QTest::newRow("no keys: defaults") << QByteArray() << 30 << 255 << 1000 << 10000;
    QTest::newRow("inside") << QByteArray("PORT=4000\nPARALLEL=8\nCONNECTTIMEOUT=200\nVERIFYTIMEOUT=0\n") << 4000 << 8
                            << 200 << 0;
    QTest::newRow("below") << QByteArray("PORT=0\nPARALLEL=0\nCONNECTTIMEOUT=1\nVERIFYTIMEOUT=-5\n") << 1 << 1 << 50
                           << 0;
    QTest::newRow("above") << QByteArray("PORT=70000\nPARALLEL=999\nCONNECTTIMEOUT=99999\nVERIFYTIMEOUT=9999999\n")
                           << 65535 << 255 << 60000 << 600000;
}

void TestFieldRules::clampedSettings()
{
    QFETCH(QByteArray, tcpSection);
    QFETCH(int, port);
    QFETCH(int, parallel);
    QFETCH(int, connectMs);
    QFETCH(int, verifyMs);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Telvaro.INI"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[TCP]\n" + tcpSection);
    file.close();
    const Result<ToolSettings> loaded = loadToolSettings(path);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    QCOMPARE(int(loaded->link.port), port);
    QCOMPARE(loaded->link.parallel, parallel);
    QCOMPARE(loaded->link.connectTimeoutMs, connectMs);
    QCOMPARE(loaded->link.verifyTimeoutMs, verifyMs);
}

void TestFieldRules::hexDigit_data()
{
    QTest::addColumn<QChar>("c");
    QTest::addColumn<int>("value"); // -1: no hex digit
    QTest::newRow("0") << QChar(u'0') << 0;
    QTest::newRow("9") << QChar(u'9') << 9;
    QTest::newRow("A") << QChar(u'A') << 10;
    QTest::newRow("a") << QChar(u'a') << 10;
    QTest::newRow("F") << QChar(u'F') << 15;
    QTest::newRow("f") << QChar(u'f') << 15;
    QTest::newRow("G") << QChar(u'G') << -1;
    QTest::newRow("g") << QChar(u'g') << -1;
    QTest::newRow("blank") << QChar(u' ') << -1;
    QTest::newRow("at sign before A") << QChar(u'@') << -1;
    QTest::newRow("colon after 9") << QChar(u':') << -1;
    QTest::newRow("full-width A") << QChar(u'\uFF21') << -1;
    QTest::newRow("digit of another script") << QChar(u'\u0661') << -1;
}

void TestFieldRules::hexDigit()
{
    QFETCH(QChar, c);
    QFETCH(int, value);
    QCOMPARE(FieldRules::hexDigitValue(c).value_or(-1), value);
    QCOMPARE(FieldRules::isHexDigit(c), value >= 0);
}

void TestFieldRules::hexPair_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte"); // -1: refused
    QTest::newRow("digits") << u"42"_s << 0x42;
    QTest::newRow("upper") << u"AF"_s << 0xAF;
    QTest::newRow("lower same as upper") << u"af"_s << 0xAF;
    QTest::newRow("mixed") << u"fF"_s << 0xFF;
    QTest::newRow("zero") << u"00"_s << 0x00;
    QTest::newRow("more than two characters") << u"7C3E"_s << -1;
    QTest::newRow("G") << u"0G"_s << -1;
    QTest::newRow("Z") << u"ZZ"_s << -1;
    QTest::newRow("blank") << u" 1"_s << -1;
    QTest::newRow("one character") << u"A"_s << -1;
    QTest::newRow("empty") << QString() << -1;
}

void TestFieldRules::hexPair()
{
    QFETCH(QString, text);
    QFETCH(int, byte);
    const std::optional<quint8> value = FieldRules::hexPair(text);
    QCOMPARE(value ? int(*value) : -1, byte);
}

void TestFieldRules::masterKey_data()
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

void TestFieldRules::masterKey()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const auto key = FieldRules::masterKey(text);
    QCOMPARE(key.has_value(), !bytes.isEmpty());
    if (key)
        QCOMPARE(bytesOf(*key), bytes);
    const Result<MasterKey> session = LinkSettings::masterKeyFromText(text);
    QCOMPARE(session.ok(), key.has_value());
}

void TestFieldRules::masterKeyCount()
{
    QCOMPARE(FieldRules::masterKeyCountText(0), u"0/32"_s);
    QCOMPARE(FieldRules::masterKeyCountText(SetupKeys::DefaultMasterKey.size()), u"32/32"_s);
    QCOMPARE(FieldRules::PortRange.text(), u"1 bis 65535"_s);
}

QTEST_GUILESS_MAIN(TestFieldRules)
#include "TestFieldRules.moc"
