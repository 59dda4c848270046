// Bounds that must hold: no blocking call or nested event loop in the engines, and the parsers on
// inputs the fuzzers found or aim at.
#include "base/IniFile.h"
#include "radioids/DeviceList.h"
#include "radioids/ImportFile.h"
#include "radioids/KeyList.h"
#include "setups/SetupConversion.h"

#include "ProcessProbe.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {} // namespace

class TestResourceBounds : public QObject
{
    Q_OBJECT

private slots:
    // The core runs on the window's thread: a blocking wait, a sleep or a nested loop there freezes
    // the window and lets timers fire inside an exchange.
    void noBlockingCallInTheCore()
    {
        const QString core = QStringLiteral(TELVARO_TEST_DATA "/../../src/core/");
        const QRegularExpression forbidden(
            uR"(\bwaitFor\w*\s*\(|\bQEventLoop\b|processEvents\s*\(|\bQThread::\w*sleep\s*\()"_s);
        QStringList hits;
        int files = 0;
        for (const QString& room : {u"base"_s, u"link"_s, u"session"_s, u"setups"_s, u"radioids"_s, u"firmware"_s}) {
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
        QTest::newRow("UTF-16 LE, no final break") << QByteArray("\xFF\xFE[\0A\0]\0\n\0K\0=\0\x31\0", 16);
    }
    void iniLongLinesAndNulBytes()
    {
        QFETCH(QByteArray, bytes);
        const Result<IniFile> parsed = IniFile::fromBytes(bytes);
        QVERIFY(parsed.ok());
        const IniFile& ini = *parsed;
        QCOMPARE(ini.toBytes(), bytes);
        IniFile copy = ini;
        QVERIFY(copy.writeString(u"NEU"_s, u"KEY"_s, u"1"_s).ok());
        const QByteArray out = copy.toBytes();
        QVERIFY(out.startsWith(bytes));
        const Result<IniFile> back = IniFile::fromBytes(out);
        QVERIFY(back.ok());
        QCOMPARE(back->readString(u"NEU"_s, u"KEY"_s), u"1"_s);
        for (const QString& section : ini.sections()) {
            for (const QString& key : ini.keys(section))
                QCOMPARE(back->readString(section, key), ini.readString(section, key));
        }
    }

    // Found by fuzzing when the encoding was still guessed from the bytes: a rewrite that removed the
    // only byte that was not UTF-8 made the rest read as UTF-8. Without a mark a file is ANSI, so the
    // other program's line keeps its bytes and its meaning.
    void rewriteKeepsOtherLinesByteForByte()
    {
        const QByteArray bytes = "[NETZWERK]\r\nAORT=K\xFC"
                                 "che\r\n[FREMD]\r\nTEXT=\xC3\xA9t\xC3\xA9\r\n"_ba;
        IniFile ini = IniFile::fromBytes(bytes).value();
        QCOMPARE(ini.encoding(), TextEncoding::Windows1252);
        QCOMPARE(ini.readString(u"NETZWERK"_s, u"AORT"_s), u"Küche"_s);
        const QString foreign = ini.readString(u"FREMD"_s, u"TEXT"_s);
        QVERIFY(ini.writeString(u"NETZWERK"_s, u"AORT"_s, u"Keller"_s).ok());
        const QByteArray out = ini.toBytes();
        QCOMPARE(out, "[NETZWERK]\r\nAORT=Keller\r\n[FREMD]\r\nTEXT=\xC3\xA9t\xC3\xA9\r\n"_ba);
        const IniFile back = IniFile::fromBytes(out).value();
        QCOMPARE(back.encoding(), TextEncoding::Windows1252);
        QCOMPARE(back.readString(u"NETZWERK"_s, u"AORT"_s), u"Keller"_s);
        QCOMPARE(back.readString(u"FREMD"_s, u"TEXT"_s), foreign);
    }

    // Parsing a setup file of the largest size allowed costs a few times its size, whatever its
    // lines look like. Measured as the peak of resident memory (VmHWM), reset before each load.
    void iniParseMemoryIsBounded_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("keys of three bytes") << "k=\n"_ba
                                             << "[A]\n"_ba;
        QTest::newRow("empty section headers") << "[]\n"_ba << QByteArray();
        QTest::newRow("blank lines") << "\n"_ba
                                     << "[A]\n"_ba;
        QTest::newRow("setup-like keys, CRLF") << "ID123=12345678\r\n"_ba
                                               << "[WM-BUS_IDS]\r\n"_ba;
        QTest::newRow("UTF-16 LE keys") << QByteArray("k\0=\0\n\0", 6) << QByteArray("\xFF\xFE[\0A\0]\0\n\0", 10);
        QTest::newRow("one line") << "x"_ba
                                  << "[A]\nK="_ba;
    }
    void iniParseMemoryIsBounded()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, head);
        QByteArray bytes = head;
        while (bytes.size() + line.size() <= IniFile::MaxFileBytes)
            bytes += line;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"SETUPGW_0A_1B_2C.GWINI"_s);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
        }
        bytes.clear();
        bytes.squeeze();
        if (!resetPeakResident())
            QSKIP("this kernel cannot reset the peak of resident memory");
        const qint64 before = residentKb();
        qint64 peak = 0;
        {
            const Result<IniFile> loaded = IniFile::load(path);
            QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
            QVERIFY(!loaded->sections().isEmpty());
            peak = peakResidentKb();
        }
        const qint64 fileKb = IniFile::MaxFileBytes / 1024;
        const qint64 grewKb = peak - before;
        qInfo("a setup file of %lld KiB cost at most %lld KiB while loading (%.1f times its size)", fileKb, grewKb,
              double(grewKb) / double(fileKb));
#ifdef TELVARO_UNDER_ASAN
        Q_UNUSED(grewKb);
#else
        QVERIFY2(grewKb <= 4 * fileKb + 512, qPrintable(u"%1 KiB"_s.arg(grewKb)));
#endif
    }

    void importersOnLongAndHostileInput()
    {
        const KeyListImport keys = parseKeyList("Header\r\n"_ba + QByteArray(1 << 20, '7') + "\r\n 12345678 \r\n"_ba);
        QCOMPARE(keys.ids, QStringList{u"12345678"_s});
        QCOMPARE(keys.skipped, 1);
        const KeyListImport many =
            parseKeyList("ID\n"_ba + "1\n"_ba.repeated(KeyListImport::MaxIds + 5) + "1;2;3;4;5;6;7;8;9;10\n"_ba);
        QVERIFY(many.truncated);
        QCOMPARE(many.ids.size(), qsizetype(KeyListImport::MaxIds));
        QCOMPARE(many.outcome, KeyListImport::Outcome::Done); // the read ended before the line of ten fields
        const DeviceListImport devices = parseDeviceList("[ROUTE]\nHAUSER=2147483647\n[HAUS1]\nANZS=2147483647\n"_ba);
        QVERIFY(devices.truncated);
        QCOMPARE(devices.ids.size() + devices.skipped, qsizetype(DeviceListImport::MaxDevices));
    }

    // Import lists of the largest size allowed, built to cost the most per byte: a line of nothing
    // but field separators, a million empty lines, a million device sections.
    void importMemoryIsBounded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("key list: separators") << u"liste.csv"_s << ";"_ba
                                              << "ID\n1;"_ba;
        QTest::newRow("key list: empty lines") << u"liste.csv"_s << "\n"_ba
                                               << "ID\n"_ba;
        QTest::newRow("key list: short rows") << u"liste.csv"_s << "1\n"_ba
                                              << "ID\n"_ba;
        QTest::newRow("device list: device sections") << u"liste.route"_s << "[HAUS1_S1]\n"_ba
                                                      << "[ROUTE]\n"_ba;
        QTest::newRow("device list: keys") << u"liste.route"_s << "RADIOID=1\n"_ba
                                           << "[HAUS1_S1]\n"_ba;
    }
    void importMemoryIsBounded()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, unit);
        QFETCH(QByteArray, head);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        qint64 size = 0;
        {
            QByteArray bytes = head;
            bytes += unit.repeated((MaxImportFileBytes - bytes.size()) / unit.size());
            // Device sections need distinct names to cost anything: number them.
            if (unit.startsWith("[HAUS1_S1]")) {
                bytes = head;
                for (int j = 1; bytes.size() < MaxImportFileBytes - 32; ++j)
                    bytes += "[HAUS1_S" + QByteArray::number(j) + "]\n";
            }
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
            size = bytes.size();
        }
        if (!resetPeakResident())
            QSKIP("this kernel cannot reset the peak of resident memory");
        const qint64 before = residentKb();
        if (name.endsWith(u".csv"_s)) {
            const KeyListImport keys = importKeyList(path);
            QVERIFY(keys.outcome != KeyListImport::Outcome::Unexpected);
        } else {
            const Result<DeviceListImport> devices = readDeviceListIds(path);
            QVERIFY2(devices.ok(), qPrintable(devices.message()));
        }
        const qint64 grewKb = peakResidentKb() - before;
        const qint64 fileKb = size / 1024;
        qInfo("an import list of %lld KiB cost at most %lld KiB while read (%.1f times its size)", fileKb, grewKb,
              double(grewKb) / double(fileKb));
#ifdef TELVARO_UNDER_ASAN
        Q_UNUSED(grewKb);
#else
        QVERIFY2(grewKb <= 6 * fileKb + 1024, qPrintable(u"%1 KiB"_s.arg(grewKb)));
#endif
    }
};

QTEST_GUILESS_MAIN(TestResourceBounds)
#include "TestResourceBounds.moc"
