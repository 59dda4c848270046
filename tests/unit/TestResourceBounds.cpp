// Bounds that must hold: no blocking call or nested event loop in the engines, and the parsers on
// inputs the fuzzers found or aim at.
#include "base/IniFile.h"
#include "radioids/DeviceList.h"
#include "radioids/KeyList.h"
#include "setups/AddressCheck.h"
#include "setups/SetupConversion.h"

#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

class TestResourceBounds : public QObject
{
    Q_OBJECT

private slots:
    // The engines run on the window's thread: a blocking wait or a nested loop there freezes the
    // window and lets timers fire inside an exchange.
    void noBlockingCallInTheEngines()
    {
        const QString core = QStringLiteral(TELVARO_TEST_DATA "/../../src/core/");
        const QRegularExpression forbidden(
            uR"(\bwaitFor\w*\s*\(|\bQEventLoop\b|processEvents\s*\(|\bQThread::\w*sleep\s*\()"_s);
        QStringList hits;
        int files = 0;
        for (const QString& room : {u"link"_s, u"session"_s}) {
            QVERIFY(QFileInfo(core + room).isDir());
            QDirIterator it(core + room, {u"*.cpp"_s, u"*.h"_s}, QDir::Files);
            while (it.hasNext()) {
                const QString path = it.next();
                QFile f(path);
                QVERIFY(f.open(QIODevice::ReadOnly));
                ++files;
                int line = 0;
                for (const QByteArray& text : f.readAll().split('\n')) {
                    ++line;
                    if (forbidden.match(QString::fromUtf8(text)).hasMatch())
                        hits << u"%1:%2: %3"_s.arg(QFileInfo(path).fileName())
                                    .arg(line)
                                    .arg(QString::fromUtf8(text).trimmed());
                }
            }
        }
        QVERIFY(files >= 8);
        QVERIFY2(hits.isEmpty(), qPrintable(hits.join(u'\n')));
    }

    void iniLongLinesAndNulBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("1 MiB value") << "[NETZWERK]\r\nSRV_DNS="_ba + QByteArray(1 << 20, 'a') + "\r\nPORT=23\r\n"_ba;
        QTest::newRow("1 MiB line without ]") << "["_ba + QByteArray(1 << 20, 'b') + "\r\nPORT=23\r\n"_ba;
        QTest::newRow("NUL bytes in names and values") << "[NETZ\0WERK]\r\nPO\0RT=2\0003\r\n[WM-BUS]\r\nMODET=1\r\n"_ba;
        QTest::newRow("lone CR and no final break") << "[A]\rK=1\r\n[B]\nL=2"_ba;
    }
    void iniLongLinesAndNulBytes()
    {
        QFETCH(QByteArray, bytes);
        const IniFile ini = IniFile::fromBytes(bytes);
        QCOMPARE(ini.toBytes(), bytes);
        IniFile copy = ini;
        QVERIFY(copy.writeString(u"NEU"_s, u"KEY"_s, u"1"_s).ok());
        const QByteArray out = copy.toBytes();
        QVERIFY(out.startsWith(bytes));
        const IniFile back = IniFile::fromBytes(out);
        QCOMPARE(back.readString(u"NEU"_s, u"KEY"_s), u"1"_s);
        for (const QString& section : ini.sections()) {
            for (const QString& key : ini.keys(section))
                QCOMPARE(back.readString(section, key), ini.readString(section, key));
        }
    }

    // Found by fuzzing: the rewrite removes the only byte that is not UTF-8, so the file reads as
    // UTF-8 afterwards. The other program's line must still be the same bytes.
    void rewriteKeepsOtherLinesByteForByte()
    {
        const QByteArray bytes = "[NETZWERK]\r\nAORT=K\xFC"
                                 "che\r\n[FREMD]\r\nTEXT=\xC3\xA9t\xC3\xA9\r\n"_ba;
        IniFile ini = IniFile::fromBytes(bytes);
        QVERIFY(!ini.isUtf8());
        QCOMPARE(ini.readString(u"NETZWERK"_s, u"AORT"_s), u"Küche"_s);
        QVERIFY(ini.writeString(u"NETZWERK"_s, u"AORT"_s, u"Keller"_s).ok());
        const QByteArray out = ini.toBytes();
        QCOMPARE(out, "[NETZWERK]\r\nAORT=Keller\r\n[FREMD]\r\nTEXT=\xC3\xA9t\xC3\xA9\r\n"_ba);
        QCOMPARE(IniFile::fromBytes(out).readString(u"NETZWERK"_s, u"AORT"_s), u"Keller"_s);
    }

    void importersOnLongAndHostileInput()
    {
        const KeyListImport keys = parseKeyList("Header\r\n"_ba + QByteArray(1 << 20, '7') + "\r\n 12345678 \r\n"_ba);
        QCOMPARE(keys.ids, QStringList{u"12345678"_s});
        QCOMPARE(keys.skipped, 1);
        const DeviceListImport devices = parseDeviceList("[ROUTE]\nHAUSER=2147483647\n[HAUS1]\nANZS=2147483647\n"_ba);
        QVERIFY(devices.truncated);
        QCOMPARE(devices.ids.size() + devices.skipped, qsizetype(DeviceListImport::MaxDevices));
    }

    // The dialog's address check and the conversion must agree on what an address is, however many
    // leading zeros a part has.
    void addressCheckAndConversionAgree_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("leading zeros") << u"192.168.001.010"_s;
        QTest::newRow("18 characters in one part") << u"000000000000000001.2.3.4"_s;
        QTest::newRow("26 characters in one part (found by fuzzing)") << u"19.00000000000000000000000000.6.198"_s;
    }
    void addressCheckAndConversionAgree()
    {
        QFETCH(QString, text);
        QVERIFY(isValidIpAddress(text));
        QVERIFY(ParseDottedQuad(text).has_value());
    }
};

QTEST_GUILESS_MAIN(TestResourceBounds)
#include "TestResourceBounds.moc"
