#include "TestSupport.h"

#include "base/IniFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// One write operation: section, key, value.
using Write = QStringList;

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void readString_data();
    void readString();
    void readInteger_data();
    void readInteger();
    void readBool_data();
    void readBool();
    void listing_data();
    void listing();
    void write_data();
    void write();
    void eraseSection_data();
    void eraseSection();
    void refusedValue_data();
    void refusedValue();
    void encodingKept_data();
    void encodingKept();
    void hostileInput_data();
    void hostileInput();
    void bigFileIsLinear();
    void loadMissingFile();
    void loadUnreadable();
    void saveAtomicFailureKeepsOldFile_data();
    void saveAtomicFailureKeepsOldFile();
    void saveRoundTrip();
    void windows1252Table_data();
    void windows1252Table();
};

void TestIniFile::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray basic = "[NETZWERK]\r\nPORT=4711\r\nSRV_DNS = host.example \r\n";
    QTest::newRow("plain") << basic << u"NETZWERK"_s << u"PORT"_s << u"4711"_s;
    QTest::newRow("section case") << basic << u"netzwerk"_s << u"PORT"_s << u"4711"_s;
    QTest::newRow("key case") << basic << u"NETZWERK"_s << u"srv_dns"_s << u"host.example"_s;
    QTest::newRow("blanks trimmed") << basic << u"NETZWERK"_s << u"SRV_DNS"_s << u"host.example"_s;
    QTest::newRow("name blanks trimmed") << basic << u" NETZWERK "_s << u" PORT"_s << u"4711"_s;
    QTest::newRow("missing key gives default") << basic << u"NETZWERK"_s << u"DHCP"_s << u"<def>"_s;
    QTest::newRow("missing section gives default") << basic << u"WM-BUS"_s << u"PORT"_s << u"<def>"_s;
    QTest::newRow("double quotes stripped") << QByteArray("[A]\nK=\"  x y \"\n") << u"A"_s << u"K"_s << u"  x y "_s;
    QTest::newRow("single quotes stripped") << QByteArray("[A]\nK='x'\n") << u"A"_s << u"K"_s << u"x"_s;
    QTest::newRow("unmatched quotes kept") << QByteArray("[A]\nK=\"x'\n") << u"A"_s << u"K"_s << u"\"x'"_s;
    QTest::newRow("lone quote kept") << QByteArray("[A]\nK=\"\n") << u"A"_s << u"K"_s << u"\""_s;
    QTest::newRow("empty value is not default") << QByteArray("[A]\nK=\n") << u"A"_s << u"K"_s << QString();
    QTest::newRow("value keeps inner equals") << QByteArray("[A]\nK=a=b\n") << u"A"_s << u"K"_s << u"a=b"_s;
    QTest::newRow("first duplicate key wins") << QByteArray("[A]\nK=1\nk=2\n") << u"A"_s << u"K"_s << u"1"_s;
    QTest::newRow("first duplicate section wins")
        << QByteArray("[A]\nK=1\n[a]\nK=2\nL=3\n") << u"A"_s << u"K"_s << u"1"_s;
    QTest::newRow("key of later duplicate section unseen")
        << QByteArray("[A]\nK=1\n[a]\nL=3\n") << u"A"_s << u"L"_s << u"<def>"_s;
    QTest::newRow("comment line is no key") << QByteArray("[A]\n;K=1\n") << u"A"_s << u";K"_s << u"<def>"_s;
    QTest::newRow("key before first section unseen") << QByteArray("K=1\n[A]\n") << u"A"_s << u"K"_s << u"<def>"_s;
    QTest::newRow("header without bracket is no section")
        << QByteArray("[A]\nK=1\n[B\nL=2\n") << u"A"_s << u"L"_s << u"2"_s;
    QTest::newRow("section name blanks") << QByteArray("[ A ]\nK=1\n") << u"A"_s << u"K"_s << u"1"_s;
    QTest::newRow("CRLF not in value") << QByteArray("[A]\r\nK=v\r\n") << u"A"_s << u"K"_s << u"v"_s;
    QTest::newRow("last line without break") << QByteArray("[A]\r\nK=v") << u"A"_s << u"K"_s << u"v"_s;
}

void TestIniFile::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const IniFile ini = IniFile::fromBytes(content);
    QCOMPARE(ini.readString(section, key, u"<def>"_s), expected);
    QCOMPARE(ini.hasKey(section, key), expected != u"<def>"_s);
}

void TestIniFile::readInteger_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << QByteArray("4711") << 4711;
    QTest::newRow("leading zeros decimal") << QByteArray("010") << 10;
    QTest::newRow("any number of leading zeros") << QByteArray("0000000000000000000000000042") << 42;
    QTest::newRow("only zeros") << QByteArray("000000000000000000000") << 0;
    QTest::newRow("plus sign") << QByteArray("+5") << 5;
    QTest::newRow("minus sign") << QByteArray("-5") << -5;
    QTest::newRow("trailing junk") << QByteArray("12abc") << -99;
    QTest::newRow("inner blank") << QByteArray("1 2") << -99;
    QTest::newRow("empty") << QByteArray("") << -99;
    QTest::newRow("sign only") << QByteArray("-") << -99;
    QTest::newRow("hex not taken") << QByteArray("0x10") << -99;
    QTest::newRow("quoted number") << QByteArray("\"7\"") << 7;
    QTest::newRow("int max") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("int min") << QByteArray("-2147483648") << int(-2147483648LL);
    QTest::newRow("overflow") << QByteArray("2147483648") << -99;
    QTest::newRow("huge") << QByteArray("99999999999999999999999") << -99;
    QTest::newRow("full-width digits") << QString(u"\uFF11"_s).toUtf8() << -99;
}

void TestIniFile::readInteger()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    const IniFile ini = IniFile::fromBytes("[S]\r\nK=" + value + "\r\n");
    QCOMPARE(ini.readInteger(u"S"_s, u"K"_s, -99), expected);
}

void TestIniFile::readBool_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("def");
    QTest::addColumn<bool>("expected");
    QTest::newRow("1") << QByteArray("K=1") << false << true;
    QTest::newRow("0") << QByteArray("K=0") << true << false;
    QTest::newRow("any non-zero") << QByteArray("K=-3") << false << true;
    QTest::newRow("text gives default true") << QByteArray("K=ja") << true << true;
    QTest::newRow("text gives default false") << QByteArray("K=true") << false << false;
    QTest::newRow("missing gives default") << QByteArray("X=0") << true << true;
}

void TestIniFile::readBool()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, def);
    QFETCH(bool, expected);
    const IniFile ini = IniFile::fromBytes("[S]\n" + line + "\n");
    QCOMPARE(ini.readBool(u"S"_s, u"K"_s, def), expected);
}

void TestIniFile::listing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("sections");
    QTest::addColumn<QStringList>("keysOfB");
    QTest::newRow("file order") << QByteArray("[A]\nX=1\n[B]\nID5=1\nID0=2\nID3=3\n") << QStringList{u"A"_s, u"B"_s}
                                << QStringList{u"ID5"_s, u"ID0"_s, u"ID3"_s};
    QTest::newRow("duplicates listed once, first spelling")
        << QByteArray("[b]\nK=1\nk=2\nL=3\n[A]\n[B]\nM=4\n") << QStringList{u"b"_s, u"A"_s}
        << QStringList{u"K"_s, u"L"_s};
    QTest::newRow("comments and junk are no keys")
        << QByteArray("[B]\n;C=1\njunk\n=v\n  K = 1\n") << QStringList{u"B"_s} << QStringList{u"K"_s};
    QTest::newRow("empty") << QByteArray() << QStringList() << QStringList();
}

void TestIniFile::listing()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, sections);
    QFETCH(QStringList, keysOfB);
    const IniFile ini = IniFile::fromBytes(content);
    QCOMPARE(ini.sections(), sections);
    QCOMPARE(ini.keys(u"B"_s), keysOfB);
}

void TestIniFile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QList<Write>>("writes");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file gets CRLF") << QByteArray() << QList<Write>{{u"A"_s, u"K"_s, u"1"_s}}
                                        << QByteArray("[A]\r\nK=1\r\n");
    QTest::newRow("replace in place keeps neighbours")
        << QByteArray("[A]\r\n  X = 1 \r\nK=old\r\n;c\r\nY=2\r\n") << QList<Write>{{u"A"_s, u"k"_s, u"new"_s}}
        << QByteArray("[A]\r\n  X = 1 \r\nK=new\r\n;c\r\nY=2\r\n");
    QTest::newRow("same value leaves line byte for byte")
        << QByteArray("[A]\r\n K = v \r\n") << QList<Write>{{u"A"_s, u"K"_s, u"v"_s}}
        << QByteArray("[A]\r\n K = v \r\n");
    QTest::newRow("replace first duplicate only")
        << QByteArray("[A]\nK=1\nK=2\n") << QList<Write>{{u"A"_s, u"K"_s, u"3"_s}} << QByteArray("[A]\nK=3\nK=2\n");
    QTest::newRow("append after last key, before blank line")
        << QByteArray("[A]\r\nK=1\r\n\r\n[B]\r\nL=2\r\n") << QList<Write>{{u"A"_s, u"N"_s, u"x"_s}}
        << QByteArray("[A]\r\nK=1\r\nN=x\r\n\r\n[B]\r\nL=2\r\n");
    QTest::newRow("append keeps write order")
        << QByteArray("[A]\r\n") << QList<Write>{{u"A"_s, u"N1"_s, u"1"_s}, {u"A"_s, u"N2"_s, u"2"_s}}
        << QByteArray("[A]\r\nN1=1\r\nN2=2\r\n");
    QTest::newRow("append into empty section before blank")
        << QByteArray("[A]\r\n; about A\r\n\r\n[B]\r\n") << QList<Write>{{u"A"_s, u"N"_s, u"1"_s}}
        << QByteArray("[A]\r\n; about A\r\nN=1\r\n\r\n[B]\r\n");
    QTest::newRow("new section at the end") << QByteArray("[A]\r\nK=1\r\n") << QList<Write>{{u"B"_s, u"L"_s, u"2"_s}}
                                            << QByteArray("[A]\r\nK=1\r\n[B]\r\nL=2\r\n");
    QTest::newRow("last line without break gets one")
        << QByteArray("[A]\r\nK=1") << QList<Write>{{u"A"_s, u"L"_s, u"2"_s}} << QByteArray("[A]\r\nK=1\r\nL=2\r\n");
    QTest::newRow("LF file stays LF") << QByteArray("[A]\nK=1\n")
                                      << QList<Write>{{u"A"_s, u"L"_s, u"2"_s}, {u"C"_s, u"M"_s, u"3"_s}}
                                      << QByteArray("[A]\nK=1\nL=2\n[C]\nM=3\n");
    QTest::newRow("mixed endings kept per line")
        << QByteArray("[A]\r\nK=1\nX=0\r\n") << QList<Write>{{u"A"_s, u"K"_s, u"2"_s}}
        << QByteArray("[A]\r\nK=2\nX=0\r\n");
    QTest::newRow("write into first duplicate section")
        << QByteArray("[A]\nK=1\n[a]\nK=2\n") << QList<Write>{{u"A"_s, u"N"_s, u"x"_s}}
        << QByteArray("[A]\nK=1\nN=x\n[a]\nK=2\n");
    QTest::newRow("unknown lines byte for byte")
        << QByteArray("garbage \x01\r\n[A]\r\n;c\r\n junk line\r\nK=1\r\n[B\r\n")
        << QList<Write>{{u"A"_s, u"K"_s, u"2"_s}}
        << QByteArray("garbage \x01\r\n[A]\r\n;c\r\n junk line\r\nK=2\r\n[B\r\n");
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QList<Write>, writes);
    QFETCH(QByteArray, after);
    IniFile ini = IniFile::fromBytes(before);
    for (const Write& w : writes)
        QVERIFY2(ini.writeString(w[0], w[1], w[2]).ok(), qPrintable(w.join(u' ')));
    QCOMPARE(ini.toBytes(), after);
    for (const Write& w : writes)
        QCOMPARE(ini.readString(w[0], w[1]), w[2]);
}

void TestIniFile::eraseSection_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("middle") << QByteArray("[A]\r\nK=1\r\n[IDS]\r\nID0=1\r\n;c\r\n[B]\r\nL=2\r\n")
                            << QByteArray("[A]\r\nK=1\r\n[B]\r\nL=2\r\n");
    QTest::newRow("case and duplicates") << QByteArray("[ids]\nID0=1\n[A]\n[IDS]\nID1=2\n") << QByteArray("[A]\n");
    QTest::newRow("missing section") << QByteArray("[A]\nK=1\n") << QByteArray("[A]\nK=1\n");
}

void TestIniFile::eraseSection()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    IniFile ini = IniFile::fromBytes(before);
    ini.eraseSection(u"IDS"_s);
    QCOMPARE(ini.toBytes(), after);
    QVERIFY(!ini.hasSection(u"IDS"_s));
    QVERIFY(ini.keys(u"IDS"_s).isEmpty());
    // A rewrite after the erase starts the section anew at the end.
    QVERIFY(ini.writeString(u"IDS"_s, u"ID3"_s, u"00012345"_s).ok());
    QCOMPARE(ini.keys(u"IDS"_s), QStringList{u"ID3"_s});
    QVERIFY(ini.toBytes().endsWith("[IDS]" + QByteArray(before.contains('\r') ? "\r\n" : "\n") + "ID3=00012345" +
                                   QByteArray(before.contains('\r') ? "\r\n" : "\n")));
}

void TestIniFile::refusedValue_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("messagePart");
    const QByteArray ascii = "[A]\r\nK=alt\r\n";
    QTest::newRow("greek in Windows-1252 file") << ascii << u"Ω-Zähler"_s << u"„Ω“"_s;
    QTest::newRow("emoji in Windows-1252 file") << ascii << u"x\U0001F600"_s << u"Windows-1252"_s;
    QTest::newRow("C1 control that 1252 lacks") << ascii << u"\u0080"_s << u"Windows-1252"_s;
    QTest::newRow("line feed") << ascii << u"a\nb"_s << u"Zeilenumbruch"_s;
    QTest::newRow("carriage return") << ascii << u"a\rb"_s << u"Zeilenumbruch"_s;
    QTest::newRow("line feed in UTF-8 file")
        << QByteArray("\xEF\xBB\xBF[A]\r\nK=alt\r\n") << u"a\nb"_s << u"Zeilenumbruch"_s;
}

void TestIniFile::refusedValue()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, value);
    QFETCH(QString, messagePart);
    IniFile ini = IniFile::fromBytes(content, u"/x/SETUP.GWINI"_s);
    const Status s = ini.writeString(u"A"_s, u"K"_s, value);
    QVERIFY(!s.ok());
    QVERIFY2(s.message().contains(messagePart), qPrintable(s.message()));
    QVERIFY2(s.message().contains(u"[A] K"_s), qPrintable(s.message()));
    QCOMPARE(ini.toBytes(), content);
    QCOMPARE(ini.readString(u"A"_s, u"K"_s), u"alt"_s);
}

void TestIniFile::encodingKept_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("aort");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("writtenBytes");
    QTest::newRow("Windows-1252 umlauts") << u"ini_cp1252_umlauts.ini"_s << false << u"Heizungsraum Büro, Straße 3"_s
                                          << u"Kühlraum €"_s << QByteArray("K\xFChlraum \x80");
    QTest::newRow("UTF-8 with BOM") << u"ini_utf8_bom.ini"_s << true << u"Heizungsraum Büro Ω"_s << u"Kühlraum Ω"_s
                                    << QString(u"Kühlraum Ω"_s).toUtf8();
    QTest::newRow("UTF-8 without BOM, LF")
        << u"ini_utf8_plain_lf.ini"_s << true << u"Kühlraum"_s << u"Gärtnerei"_s << QString(u"Gärtnerei"_s).toUtf8();
}

void TestIniFile::encodingKept()
{
    QFETCH(QString, file);
    QFETCH(bool, utf8);
    QFETCH(QString, aort);
    QFETCH(QString, written);
    QFETCH(QByteArray, writtenBytes);
    const QByteArray original = readBytes(testData(file));
    QVERIFY(!original.isEmpty());

    Result<IniFile> loaded = IniFile::load(testData(file));
    QVERIFY(loaded.ok());
    IniFile& ini = loaded.value();
    QVERIFY(ini.existedOnLoad());
    QCOMPARE(ini.isUtf8(), utf8);
    QCOMPARE(ini.readString(u"ORT"_s, u"AORT"_s), aort);
    QCOMPARE(ini.toBytes(), original);

    QVERIFY(ini.writeString(u"ORT"_s, u"AORT"_s, written).ok());
    QVERIFY(ini.writeString(u"NEU"_s, u"K"_s, u"1"_s).ok());
    const QByteArray after = ini.toBytes();
    QVERIFY(after.contains("AORT=" + writtenBytes));
    QCOMPARE(after.startsWith("\xEF\xBB\xBF"), original.startsWith("\xEF\xBB\xBF"));
    const QByteArray newline = original.contains("\r\n") ? "\r\n" : "\n";
    QVERIFY(after.endsWith("[NEU]" + newline + "K=1" + newline));
    // Every other original line is still there, byte for byte and in order.
    QList<QByteArray> before = original.split('\n');
    QList<QByteArray> now = after.split('\n');
    before.removeIf([](const QByteArray& l) { return l.contains("AORT="); });
    now.removeIf(
        [](const QByteArray& l) { return l.contains("AORT=") || l.startsWith("[NEU]") || l.startsWith("K=1"); });
    if (!original.endsWith('\n')) // the old last line gained a line break
        before.last() += newline.chopped(1);
    now.removeAll(QByteArray());
    before.removeAll(QByteArray());
    QCOMPARE(now, before);

    const IniFile reread = IniFile::fromBytes(after);
    QCOMPARE(reread.readString(u"ORT"_s, u"AORT"_s), written);
}

void TestIniFile::hostileInput_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("NUL bytes in value") << QByteArray("[A]\r\nK=a\0b\r\n", 12) << u"A"_s << u"K"_s
                                        << QString(u"a"_s + QChar(0) + u"b"_s);
    QTest::newRow("NUL in section name") << QByteArray("[A\0]\r\nK=1\r\n", 11) << QString(u"A"_s + QChar(0)) << u"K"_s
                                         << u"1"_s;
    QTest::newRow("header without bracket") << QByteArray("[A\r\nK=1\r\n") << u"A"_s << u"K"_s << u"<def>"_s;
    QTest::newRow("1 MB line") << ("[A]\r\nK=" + QByteArray(1 << 20, 'x') + "\r\nL=2\r\n") << u"A"_s << u"L"_s
                               << u"2"_s;
    QTest::newRow("1 MB section name") << ("[" + QByteArray(1 << 20, 'S') + "]\r\nK=1\r\n[A]\r\nL=2") << u"A"_s
                                       << u"L"_s << u"2"_s;
    QTest::newRow("only brackets and breaks")
        << QByteArray("]]]\n[[[\n\r\r\n=\n==\n[]\n=x\n") << u""_s << u"="_s << u"<def>"_s;
    QTest::newRow("invalid UTF-8 read as 1252") << QByteArray("[A]\nK=\xC3\x28\xFC\n") << u"A"_s << u"K"_s << u"Ã(ü"_s;
    QTest::newRow("lone CR inside line") << QByteArray("[A]\rK=1\n") << u"A"_s << u"K"_s << u"<def>"_s;
}

void TestIniFile::hostileInput()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    IniFile ini = IniFile::fromBytes(content);
    QCOMPARE(ini.readString(section, key, u"<def>"_s), expected);
    QCOMPARE(ini.toBytes(), content);
    QVERIFY(ini.writeString(u"A"_s, u"NEU"_s, u"1"_s).ok());
    QCOMPARE(IniFile::fromBytes(ini.toBytes()).readString(u"A"_s, u"NEU"_s), u"1"_s);
}

void TestIniFile::bigFileIsLinear()
{
    // 200 000 keys in 2000 sections: parsing, a few hundred appends and the rewrite must stay far
    // from quadratic.
    QByteArray content;
    for (int s = 0; s < 2000; ++s) {
        content += "[S" + QByteArray::number(s) + "]\r\n";
        for (int k = 0; k < 100; ++k)
            content += "K" + QByteArray::number(k) + "=" + QByteArray::number(s * k) + "\r\n";
    }
    QElapsedTimer timer;
    timer.start();
    IniFile ini = IniFile::fromBytes(content);
    for (int i = 0; i < 250; ++i)
        QVERIFY(ini.writeString(u"S1000"_s, u"ID%1"_s.arg(i), u"1"_s).ok());
    const QByteArray out = ini.toBytes();
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(ini.readInteger(u"S1999"_s, u"K99"_s, -1), 1999 * 99);
    QCOMPARE(ini.keys(u"S1000"_s).size(), 350);
    QCOMPARE(out.size(), content.size() + 250 * qsizetype(QByteArray("IDnnn=1\r\n").size()) - 10 * 2 - 90);
}

void TestIniFile::loadMissingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"NEU.GWINI"_s);
    Result<IniFile> loaded = IniFile::load(path);
    QVERIFY(loaded.ok());
    QVERIFY(!loaded->existedOnLoad());
    QCOMPARE(loaded->path(), path);
    QVERIFY(loaded->sections().isEmpty());
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(loaded.value().writeString(u"A"_s, u"K"_s, u"ä"_s).ok());
    QVERIFY(loaded->save().ok());
    QCOMPARE(readBytes(path), QByteArray("[A]\r\nK=\xE4\r\n"));
}

void TestIniFile::loadUnreadable()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ORDNER.GWINI"_s);
    QVERIFY(QDir().mkdir(path)); // a folder where the file should be cannot be read as one
    const Result<IniFile> loaded = IniFile::load(path);
    QVERIFY(!loaded.ok());
    QVERIFY2(loaded.message().startsWith(u"Die Datei %1 konnte nicht gelesen werden: "_s.arg(path)),
             qPrintable(loaded.message()));
}

void TestIniFile::saveAtomicFailureKeepsOldFile_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("folder read-only") << u"readonly"_s;
#ifdef Q_OS_UNIX
    QTest::newRow("file size limit") << u"fsize"_s;
#endif
}

void TestIniFile::saveAtomicFailureKeepsOldFile()
{
    QFETCH(QString, obstacle);
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"fest"_s);
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + u"/SETUP.GWINI"_s;
    const QByteArray old = "[A]\r\nK=alt\r\n";
    QVERIFY(writeBytes(path, old));
    Result<IniFile> loaded = IniFile::load(path);
    QVERIFY(loaded.ok());
    // Large enough to pass any write buffer and the size limit below.
    QVERIFY(loaded.value().writeString(u"A"_s, u"K"_s, QString(256 * 1024, u'n')).ok());

    Status s;
    if (obstacle == u"readonly"_s) {
        // The temporary file cannot be created in a read-only folder, so the rename never happens.
        const auto rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QTemporaryFile probe(folder + u"/probe"_s);
        if (probe.open()) {
            probe.remove();
            QFile::setPermissions(folder, rw);
            QSKIP("running with rights that ignore folder permissions");
        }
        s = loaded->save();
        QFile::setPermissions(folder, rw);
    } else {
#ifdef Q_OS_UNIX
        // The write of the temporary file fails half way (EFBIG), as on a full disk.
        struct rlimit before
        {
        };
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        struct rlimit limited = before;
        limited.rlim_cur = 64 * 1024;
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        s = loaded->save();
        setrlimit(RLIMIT_FSIZE, &before);
        signal(SIGXFSZ, oldHandler);
#endif
    }
    QVERIFY(!s.ok());
    QVERIFY2(s.message().startsWith(u"Die Datei %1 konnte nicht gespeichert werden: "_s.arg(path)),
             qPrintable(s.message()));
    QCOMPARE(readBytes(path), old);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"SETUP.GWINI"_s});
}

void TestIniFile::saveRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"R.GWINI"_s);
    const QByteArray original = readBytes(testData(u"ini_cp1252_umlauts.ini"_s));
    QVERIFY(writeBytes(path, original));
    Result<IniFile> loaded = IniFile::load(path);
    QVERIFY(loaded.ok());
    QVERIFY(loaded->save().ok());
    QCOMPARE(readBytes(path), original);
    QVERIFY(loaded.value().writeString(u"ANDERES"_s, u"X"_s, u"2"_s).ok());
    QVERIFY(loaded->save().ok());
    QByteArray expected = original;
    expected.replace("X=1", "X=2");
    QCOMPARE(readBytes(path), expected);

    IniFile copy = loaded.value();
    QVERIFY(copy.writeString(u"ANDERES"_s, u"X"_s, u"3"_s).ok());
    QCOMPARE(loaded->readString(u"ANDERES"_s, u"X"_s), u"2"_s);
}

void TestIniFile::windows1252Table_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("codePoint");
    QTest::newRow("euro") << 0x80 << 0x20AC;
    QTest::newRow("unassigned 81") << 0x81 << 0x81;
    QTest::newRow("low-9 quote") << 0x84 << 0x201E;
    QTest::newRow("S caron") << 0x8A << 0x160;
    QTest::newRow("unassigned 9D") << 0x9D << 0x9D;
    QTest::newRow("Y diaeresis") << 0x9F << 0x178;
    QTest::newRow("nbsp") << 0xA0 << 0xA0;
    QTest::newRow("u umlaut") << 0xFC << 0xFC;
    QTest::newRow("sharp s") << 0xDF << 0xDF;
}

void TestIniFile::windows1252Table()
{
    QFETCH(int, byte);
    QFETCH(int, codePoint);
    const QByteArray one(1, char(byte));
    const QString text = IniFile::fromWindows1252(one);
    QCOMPARE(text.size(), 1);
    QCOMPARE(int(text[0].unicode()), codePoint);
    QCOMPARE(IniFile::toWindows1252(text).value(), one);
    // Every byte has a character and back.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    QCOMPARE(IniFile::toWindows1252(IniFile::fromWindows1252(all)).value(), all);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "TestIniFile.moc"
