#include "setups/GWSetupRecord.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestSetupRecord : public QObject
{
    Q_OBJECT

private slots:
    void newRecordIsZero()
    {
        const GWSetupRecord r;
        QCOMPARE(r.toByteArray(), QByteArray(GWSetupRecord::Size, '\0'));
    }

    void fieldsLandAtTheirOffsets_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("gateway id") << 3 << QByteArray::fromHex("0A1B2C");
        QTest::newRow("fixed ip") << 6 << QByteArray::fromHex("C0A80162");
        QTest::newRow("router") << 10 << QByteArray::fromHex("C0A80101");
        QTest::newRow("mask") << 14 << QByteArray::fromHex("FFFFFF00");
        QTest::newRow("ntp") << 58 << QByteArray::fromHex("C0350A0B");
        QTest::newRow("dns") << 62 << QByteArray::fromHex("09090909");
        QTest::newRow("port little-endian") << 66 << QByteArray::fromHex("6712");
        QTest::newRow("id slot 0 BCD little-endian") << 76 << QByteArray::fromHex("78563412");
        QTest::newRow("id slot 249") << 76 + 4 * 249 << QByteArray::fromHex("42000000");
        QTest::newRow("manufacturer code 3") << 1085 << QByteArray("ABC");
        QTest::newRow("medium code 2") << 1090 << QByteArray::fromHex("07");
        QTest::newRow("master key") << 1096 << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
        QTest::newRow("firmware") << 1112 << QByteArray::fromHex("01040C");
        QTest::newRow("wmbus flags") << 1092 << QByteArray::fromHex("31");
        QTest::newRow("network flags") << 1115 << QByteArray::fromHex("09");
    }
    void fieldsLandAtTheirOffsets()
    {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        GWSetupRecord r;
        r.setGatewayId(GatewayId{{0x0A, 0x1B, 0x2C}});
        r.setFixedIp({192, 168, 1, 98});
        r.setRouterIp({192, 168, 1, 1});
        r.setSubnetMask({255, 255, 255, 0});
        r.setNtpIp({192, 53, 10, 11});
        r.setDnsIp({9, 9, 9, 9});
        r.setServerPort(0x1267);
        r.setRadioIdSlot(0, GWSetupRecord::toBcd(12345678));
        r.setRadioIdSlot(249, 0x42);
        r.setManufacturerCode(3, "ABC");
        r.setMediumCode(2, 7);
        r.setMasterKey(
            {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
        r.setFirmwareVersion({1, 4, 12});
        r.setWMBusFlag(GWSetupRecord::ManufacturerFilter, true);
        r.setWMBusFlag(GWSetupRecord::ModeT, true);
        r.setWMBusFlag(GWSetupRecord::RadioIdFilter, true);
        r.setNetworkFlag(GWSetupRecord::Dhcp, true);
        r.setNetworkFlag(GWSetupRecord::ReportHourly, true);
        QCOMPARE(r.toByteArray().mid(offset, bytes.size()), bytes);
        // Named read-back of what was written.
        QCOMPARE(r.serverPort(), quint16(0x1267));
        QCOMPARE(r.radioIdSlot(0), quint32(0x12345678));
        QVERIFY(r.wmbusFlag(GWSetupRecord::ModeT) && !r.wmbusFlag(GWSetupRecord::MediumFilter));
    }

    void serverName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("5 characters then 27 zeros")
            << QByteArray("abcde") << QByteArray("abcde") + QByteArray(27, '\0');
        QTest::newRow("32 characters without terminator") << QByteArray(32, 'x') << QByteArray(32, 'x');
        QTest::newRow("longer names are cut at 32") << QByteArray(40, 'y') << QByteArray(32, 'y');
    }
    void serverName()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, field);
        GWSetupRecord r;
        r.setServerName(QByteArray(32, 'z')); // old content must not survive
        r.setServerName(name);
        QCOMPARE(r.serverNameField(), field);
        QCOMPARE(r.serverName(), name.left(32));
        QCOMPARE(r.raw()[54], quint8(0)); // reserved byte after the field untouched
    }

    void clearingAFlagKeepsTheOthers()
    {
        GWSetupRecord r;
        r.setNetworkFlags(0xFF);
        r.setNetworkFlag(GWSetupRecord::ReportDaily, false);
        QCOMPARE(r.networkFlags(), quint8(0xEF));
        r.setWMBusFlags(0x00);
        r.setWMBusFlag(GWSetupRecord::ModeT, true);
        QCOMPARE(r.wmbusFlags(), quint8(0x10)); // T/C mode; clear means S
    }

    void bcd_data()
    {
        QTest::addColumn<quint32>("decimal");
        QTest::addColumn<quint32>("bcd");
        QTest::newRow("12345678") << 12345678u << 0x12345678u;
        QTest::newRow("42") << 42u << 0x42u;
        QTest::newRow("99999999") << 99999999u << 0x99999999u;
        QTest::newRow("0") << 0u << 0u;
    }
    void bcd()
    {
        QFETCH(quint32, decimal);
        QFETCH(quint32, bcd);
        QCOMPARE(GWSetupRecord::toBcd(decimal), bcd);
        QVERIFY(GWSetupRecord::isValidBcd(bcd));
        QVERIFY(!GWSetupRecord::isValidBcd(bcd | 0xA));
    }

    void gatewayIdText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("normal");
        QTest::newRow("list form") << u"0A.1B.2C"_s << true << u"0A.1B.2C"_s;
        QTest::newRow("lower case") << u"0a.1b.2c"_s << true << u"0A.1B.2C"_s;
        QTest::newRow("plain digits") << u"0A1B2C"_s << true << u"0A.1B.2C"_s;
        QTest::newRow("empty row") << QString() << false << QString();
        QTest::newRow("not hex") << u"0G.1B.2C"_s << false << QString();
        QTest::newRow("sign is not a digit") << u"+A.1B.2C"_s << false << QString();
    }
    void gatewayIdText()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, normal);
        const auto id = GatewayId::fromText(text);
        QCOMPARE(id.has_value(), valid);
        if (valid) {
            QCOMPARE(id->text(), normal);
            QCOMPARE(id->fileNamePart(), QString(normal).replace(u'.', u'_'));
        }
    }
};

QTEST_GUILESS_MAIN(TestSetupRecord)
#include "TestSetupRecord.moc"
