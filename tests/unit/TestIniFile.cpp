#include "TestSupport.h"

#include "base/IniFile.h"
#include "base/TextEncoding.h"
#include "base/Windows1252.h"

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

// The document of bytes that every encoding can read; a failed parse fails the test.
IniFile doc(const QByteArray& bytes, const QString& path = QString())
{
    Result<IniFile> parsed = IniFile::fromBytes(bytes, path);
    if (!parsed) {
        QTest::qFail(qPrintable(parsed.message()), __FILE__, __LINE__);
        return IniFile(path);
    }
    return parsed.value();
}

QStringList decodedLines(const QByteArray& bytes)
{
    const TextEncodings::Detected d = TextEncodings::detect(bytes);
    QString text = TextEncodings::decode(d.encoding, QByteArrayView(bytes).sliced(d.bomSize));
    text.replace(u"\r\n"_s, u"\n"_s);
    QStringList lines = text.split(u'\n');
    lines.removeAll(QString());
    return lines;
}

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
    void writtenValueReadsBack_data();
    void writtenValueReadsBack();
    void refusedName_data();
    void refusedName();
    void encodingKept_data();
    void encodingKept();
    void noEncodingGuessedFromBytes_data();
    void noEncodingGuessedFromBytes();
    void unreadableEncoding_data();
    void unreadableEncoding();
    void hostileInput_data();
    void hostileInput();
    void bigFile();
    void loadMissingFile();
    void loadUnreadable();
    void saveAtomicFailureKeepsOldFile_data();
    void saveAtomicFailureKeepsOldFile();
    void saveRoundTrip();
    void windows1252Table_data();
    void windows1252Table();
    void encodingsRoundTripEveryUnit_data();
    void encodingsRoundTripEveryUnit();
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
    QTest::newRow("umlaut names without regard to case")
        << QByteArray("[\xC4RGER]\n\xDC=1\n") << u"ärger"_s << u"ü"_s << u"1"_s;
    QTest::newRow("Kelvin sign folds to k")
        << QByteArray("\xEF\xBB\xBF[A]\n\xE2\x84\xAA=1\n") << u"a"_s << u"K"_s << u"1"_s;
    QTest::newRow("text after the closing bracket") << QByteArray("[A] alt\nK=1\n") << u"A"_s << u"K"_s << u"1"_s;
    QTest::newRow("ASCII name is no prefix match") << QByteArray("[A]\nKEY=1\n") << u"A"_s << u"KE"_s << u"<def>"_s;
    QTest::newRow("UTF-16 names without regard to case")
        << QByteArray("\xFF\xFE[\0n\0e\0t\0]\0\n\0p\0O\0r\0T\0=\0\x32\0", 26) << u"NET"_s << u"port"_s << u"2"_s;
    QTest::newRow("tabs trimmed") << QByteArray("[A]\n\tK\t=\tv\t\n") << u"A"_s << u"K"_s << u"v"_s;
    QTest::newRow("only blanks and tabs trimmed")
        << QByteArray("[A]\nK=\x0Bv\x0C\n") << u"A"_s << u"K"_s << u"\u000Bv\u000C"_s;
    QTest::newRow("quotes inside blanks stripped") << QByteArray("[A]\nK= \"x\" \n") << u"A"_s << u"K"_s << u"x"_s;
    QTest::newRow("one pair of quotes only") << QByteArray("[A]\nK=\"\"x\"\"\n") << u"A"_s << u"K"_s << u"\"x\""_s;
}

void TestIniFile::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const IniFile ini = doc(content);
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
    const IniFile ini = doc("[S]\r\nK=" + value + "\r\n");
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
    const IniFile ini = doc("[S]\n" + line + "\n");
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
    const IniFile ini = doc(content);
    QCOMPARE(ini.sections(), sections);
    QCOMPARE(ini.keys(u"B"_s), keysOfB);
    QCOMPARE(ini.keys(u"B"_s, 1), keysOfB.mid(0, 1));
    QCOMPARE(ini.keys(u"B"_s, 0), QStringList());
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
    // Found by fuzzing: a header "[]" names a section too.
    QTest::newRow("section without a name")
        << QByteArray("[]\nK=1\n") << QList<Write>{{u" "_s, u"K"_s, u"2"_s}} << QByteArray("[]\nK=2\n");
    // Found by fuzzing: the CR stays text of the old last line, not half of a new CRLF.
    QTest::newRow("old last line ending in CR, LF file")
        << QByteArray("[A]\nK=1\nL=v\r") << QList<Write>{{u"A"_s, u"N"_s, u"x"_s}}
        << QByteArray("[A]\nK=1\nL=v\r\r\nN=x\n");
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
    QTest::newRow("leading blank written in quotes")
        << QByteArray("[A]\r\n") << QList<Write>{{u"A"_s, u"K"_s, u"  srv"_s}} << QByteArray("[A]\r\nK=\"  srv\"\r\n");
    QTest::newRow("trailing tab written in quotes")
        << QByteArray("[A]\r\n") << QList<Write>{{u"A"_s, u"K"_s, u"srv\t"_s}} << QByteArray("[A]\r\nK=\"srv\t\"\r\n");
    QTest::newRow("surrounding quotes written in quotes")
        << QByteArray("[A]\r\n") << QList<Write>{{u"A"_s, u"K"_s, u"'srv'"_s}} << QByteArray("[A]\r\nK=\"'srv'\"\r\n");
    QTest::newRow("a lone quote stays bare")
        << QByteArray("[A]\r\n") << QList<Write>{{u"A"_s, u"K"_s, u"\"srv"_s}} << QByteArray("[A]\r\nK=\"srv\r\n");
    QTest::newRow("inner blanks stay bare")
        << QByteArray("[A]\r\n") << QList<Write>{{u"A"_s, u"K"_s, u"a b"_s}} << QByteArray("[A]\r\nK=a b\r\n");
    QTest::newRow("quoted value rewritten with the same value stays")
        << QByteArray("[A]\r\nK=\" x\"\r\n") << QList<Write>{{u"A"_s, u"K"_s, u" x"_s}}
        << QByteArray("[A]\r\nK=\" x\"\r\n");
    QTest::newRow("key spelling of the file kept")
        << QByteArray("[a]\nSrv_Dns=1\n") << QList<Write>{{u"A"_s, u"SRV_DNS"_s, u"2"_s}}
        << QByteArray("[a]\nSrv_Dns=2\n");
    QTest::newRow("UTF-16 LE key appended in UTF-16 LE")
        << QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0", 12) << QList<Write>{{u"A"_s, u"K"_s, u"\u00E4"_s}}
        << QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0K\0=\0\xE4\0\r\0\n\0", 22);
    QTest::newRow("UTF-16 BE new section in UTF-16 BE")
        << QByteArray("\xFE\xFF\0[\0A\0]\0\n", 10) << QList<Write>{{u"B"_s, u"K"_s, u"1"_s}}
        << QByteArray("\xFE\xFF\0[\0A\0]\0\n\0[\0B\0]\0\n\0K\0=\0\x31\0\n", 26);
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QList<Write>, writes);
    QFETCH(QByteArray, after);
    IniFile ini = doc(before);
    for (const Write& w : writes)
        QVERIFY2(ini.writeString(w[0], w[1], w[2]).ok(), qPrintable(w.join(u' ')));
    QCOMPARE(ini.toBytes(), after);
    for (const Write& w : writes)
        QCOMPARE(ini.readString(w[0], w[1]), w[2]);
    // Every key that was there reads the same after the writes.
    const IniFile original = doc(before);
    const IniFile reread = doc(after);
    for (const QString& section : original.sections()) {
        for (const QString& key : original.keys(section)) {
            bool written = false;
            for (const Write& w : writes)
                written = written || (w[0].trimmed().compare(section, Qt::CaseInsensitive) == 0 &&
                                      w[1].trimmed().compare(key, Qt::CaseInsensitive) == 0);
            if (!written)
                QCOMPARE(reread.readString(section, key), original.readString(section, key));
        }
    }
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
    IniFile ini = doc(before);
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
    QTest::newRow("lone surrogate in UTF-8 file")
        << QByteArray("\xEF\xBB\xBF[A]\r\nK=alt\r\n") << QString(QChar(0xDC00)) << u"Surrogat"_s;
    QTest::newRow("line feed in UTF-8 file")
        << QByteArray("\xEF\xBB\xBF[A]\r\nK=alt\r\n") << u"a\nb"_s << u"Zeilenumbruch"_s;
}

void TestIniFile::refusedValue()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, value);
    QFETCH(QString, messagePart);
    IniFile ini = doc(content, u"/x/SETUP.GWINI"_s);
    const Status s = ini.writeString(u"A"_s, u"K"_s, value);
    QVERIFY(!s.ok());
    QVERIFY2(s.message().contains(messagePart), qPrintable(s.message()));
    QVERIFY2(s.message().contains(u"[A] K"_s), qPrintable(s.message()));
    QCOMPARE(ini.toBytes(), content);
    QCOMPARE(ini.readString(u"A"_s, u"K"_s), u"alt"_s);
}

void TestIniFile::writtenValueReadsBack_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("value");
    const QByteArray ansi = "[A]\r\nK=alt\r\n";
    const QByteArray utf16 = QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0", 12);
    const QStringList values = {u""_s,     u" "_s,     u"\t"_s,  u"  lead"_s,  u"trail  "_s,   u"\"q\""_s,
                                u"'q'"_s,  u"\"\""_s,  u"''"_s,  u"\""_s,      u"'"_s,         u"\"q'"_s,
                                u"=x="_s,  u";x"_s,    u"[x]"_s, u" \"q\" "_s, u"\"\"q\"\""_s, u"\u00E4\u00DF\u20AC"_s,
                                u"a\tb"_s, u"\u0081"_s};
    for (const QString& v : values) {
        QTest::newRow(qPrintable(u"ANSI <%1>"_s.arg(v))) << ansi << v;
        QTest::newRow(qPrintable(u"UTF-16 <%1>"_s.arg(v))) << utf16 << v;
    }
    QTest::newRow("UTF-16 Greek") << utf16 << u"\u03A9 \U0001F600"_s;
}

void TestIniFile::writtenValueReadsBack()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, value);
    IniFile ini = doc(file);
    QVERIFY(ini.writeString(u"A"_s, u"K"_s, value).ok());
    QVERIFY(ini.writeString(u"A"_s, u"NEU"_s, value).ok());
    const IniFile back = doc(ini.toBytes());
    QCOMPARE(back.readString(u"A"_s, u"K"_s), value);
    QCOMPARE(back.readString(u"A"_s, u"NEU"_s), value);
    QCOMPARE(back.encoding(), ini.encoding());
}

void TestIniFile::refusedName_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("empty key") << u"A"_s << u"\t"_s;
    QTest::newRow("equals in key") << u"A"_s << u"K=1"_s;
    QTest::newRow("key that starts a comment") << u"A"_s << u";K"_s;
    QTest::newRow("key that starts a header") << u"A"_s << u"[K]"_s;
    QTest::newRow("line feed in section") << u"A\nB"_s << u"K"_s;
    QTest::newRow("line feed in key") << u"A"_s << u"K\nL"_s;
}

void TestIniFile::refusedName()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    const QByteArray content = "[A]\r\nK=alt\r\n";
    IniFile ini = doc(content);
    const Status s = ini.writeString(section, key, u"1"_s);
    QVERIFY(!s.ok());
    QVERIFY(!s.message().isEmpty());
    QCOMPARE(ini.toBytes(), content);
}

void TestIniFile::encodingKept_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QString>("aort");
    QTest::addColumn<QString>("written");
    QTest::newRow("Windows-1252 umlauts") << u"ini_cp1252_umlauts.ini"_s << TextEncoding::Windows1252
                                          << u"Heizungsraum Büro, Straße 3"_s << u"Kühlraum €"_s;
    QTest::newRow("UTF-8 with BOM") << u"ini_utf8_bom.ini"_s << TextEncoding::Utf8 << u"Heizungsraum Büro Ω"_s
                                    << u"Kühlraum Ω"_s;
    // Without a mark the bytes are ANSI, as Windows reads them, even when they happen to be UTF-8.
    QTest::newRow("UTF-8 bytes without BOM, LF")
        << u"ini_utf8_plain_lf.ini"_s << TextEncoding::Windows1252 << u"KÃ¼hlraum"_s << u"Gärtnerei"_s;
    QTest::newRow("UTF-16 LE with BOM") << u"ini_utf16le_bom.ini"_s << TextEncoding::Utf16LE << u"Heizungsraum Büro Ω"_s
                                        << u"Kühlraum Ω \U0001F600"_s;
    QTest::newRow("UTF-16 BE with BOM") << u"ini_utf16be_bom.ini"_s << TextEncoding::Utf16BE << u"Heizungsraum Büro Ω"_s
                                        << u"Kühlraum Ω"_s;
}

void TestIniFile::encodingKept()
{
    QFETCH(QString, file);
    QFETCH(TextEncoding, encoding);
    QFETCH(QString, aort);
    QFETCH(QString, written);
    const QByteArray original = readBytes(testData(file));
    QVERIFY(!original.isEmpty());

    Result<IniFile> loaded = IniFile::load(testData(file));
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    IniFile& ini = loaded.value();
    QVERIFY(ini.existedOnLoad());
    QCOMPARE(ini.encoding(), encoding);
    QCOMPARE(ini.readString(u"ORT"_s, u"AORT"_s), aort);
    QCOMPARE(ini.toBytes(), original);

    QVERIFY(ini.writeString(u"ORT"_s, u"AORT"_s, written).ok());
    QVERIFY(ini.writeString(u"NEU"_s, u"K"_s, u"1"_s).ok());
    const QByteArray after = ini.toBytes();
    const QByteArray mark = TextEncodings::byteOrderMark(encoding);
    QVERIFY(after.startsWith(mark));
    QCOMPARE(TextEncodings::detect(after).encoding, encoding);
    QVERIFY(after.contains(TextEncodings::encode(encoding, u"AORT="_s + written).value()));
    const QString newline = original.contains(TextEncodings::encode(encoding, u"\r\n").value()) ? u"\r\n"_s : u"\n"_s;
    QVERIFY(after.endsWith(TextEncodings::encode(encoding, u"[NEU]"_s + newline + u"K=1"_s + newline).value()));
    // Every other line of the other program is still there, in order.
    QStringList before = decodedLines(original);
    QStringList now = decodedLines(after);
    before.removeIf([](const QString& l) { return l.startsWith(u"AORT="_s); });
    now.removeIf([](const QString& l) { return l.startsWith(u"AORT="_s) || l == u"[NEU]"_s || l == u"K=1"_s; });
    QCOMPARE(now, before);

    const IniFile reread = doc(after);
    QCOMPARE(reread.readString(u"ORT"_s, u"AORT"_s), written);
    QCOMPARE(reread.encoding(), encoding);
}

void TestIniFile::noEncodingGuessedFromBytes_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("read");
    QTest::newRow("C3 A4 is two ANSI characters") << QByteArray("\xC3\xA4") << u"Ã¤"_s;
    QTest::newRow("E4 alone is ä") << QByteArray("\xE4") << u"ä"_s;
    QTest::newRow("a three-byte sequence") << QByteArray("\xE2\x82\xAC") << u"â‚¬"_s;
}

void TestIniFile::noEncodingGuessedFromBytes()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, read);
    const QByteArray content = "[NETZWERK]\r\nSRV_DNS=" + value + "\r\nAORT=x\r\n";
    IniFile ini = doc(content);
    QCOMPARE(ini.encoding(), TextEncoding::Windows1252);
    QCOMPARE(ini.readString(u"NETZWERK"_s, u"SRV_DNS"_s), read);
    // Whatever a rewrite adds or removes, the bytes keep their meaning.
    QVERIFY(ini.writeString(u"NETZWERK"_s, u"AORT"_s, u"Keller"_s).ok());
    QVERIFY(ini.writeString(u"NETZWERK"_s, u"SRV_DNS"_s, read).ok());
    QCOMPARE(ini.toBytes(), "[NETZWERK]\r\nSRV_DNS=" + value + "\r\nAORT=Keller\r\n");
}

void TestIniFile::unreadableEncoding_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("UTF-16 LE mark and an odd byte count") << QByteArray("\xFF\xFE[\0A\0]");
    QTest::newRow("UTF-16 BE mark and one byte") << QByteArray("\xFE\xFF\0", 3);
}

void TestIniFile::unreadableEncoding()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"SETUP.GWINI"_s);
    QVERIFY(writeBytes(path, content));
    const Result<IniFile> loaded = IniFile::load(path);
    QVERIFY(!loaded.ok());
    QVERIFY2(loaded.message().startsWith(
                 u"Die Datei %1 konnte nicht gelesen werden: "_s.arg(QDir::toNativeSeparators(path))),
             qPrintable(loaded.message()));
    QVERIFY2(loaded.message().contains(u"UTF-16"_s), qPrintable(loaded.message()));
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
    QTest::newRow("a million blank lines")
        << ("[A]\r\n" + QByteArray(1 << 20, '\n') + "K=1\n") << u"A"_s << u"K"_s << u"1"_s;
    QTest::newRow("UTF-16 LE lone surrogate kept")
        << QByteArray("\xFF\xFE[\0A\0]\0\n\0K\0=\0\x00\xD8\n\0", 18) << u"A"_s << u"K"_s << QString(QChar(0xD800));
    QTest::newRow("UTF-16 LE without its last break")
        << QByteArray("\xFF\xFE[\0A\0]\0\n\0K\0=\0\x32\0", 16) << u"A"_s << u"K"_s << u"2"_s;
    QTest::newRow("UTF-8 BOM with invalid bytes")
        << QByteArray("\xEF\xBB\xBF[A]\nK=\xFF\n") << u"A"_s << u"K"_s << u"\uFFFD"_s;
}

void TestIniFile::hostileInput()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    IniFile ini = doc(content);
    QCOMPARE(ini.readString(section, key, u"<def>"_s), expected);
    QCOMPARE(ini.toBytes(), content);
    QVERIFY(ini.writeString(u"A"_s, u"NEU"_s, u"1"_s).ok());
    QCOMPARE(doc(ini.toBytes()).readString(u"A"_s, u"NEU"_s), u"1"_s);
}

void TestIniFile::bigFile()
{
    // 200 000 keys in 2000 sections: lookups in the last section, appends in the middle one, and
    // the rewrite changes exactly the appended lines.
    QByteArray content;
    for (int s = 0; s < 2000; ++s) {
        content += "[S" + QByteArray::number(s) + "]\r\n";
        for (int k = 0; k < 100; ++k)
            content += "K" + QByteArray::number(k) + "=" + QByteArray::number(s * k) + "\r\n";
    }
    IniFile ini = doc(content);
    for (int i = 0; i < 250; ++i)
        QVERIFY(ini.writeString(u"S1000"_s, u"ID%1"_s.arg(i), u"1"_s).ok());
    const QByteArray out = ini.toBytes();
    QCOMPARE(ini.readInteger(u"S1999"_s, u"K99"_s, -1), 1999 * 99);
    QCOMPARE(ini.keys(u"S1000"_s).size(), 350);
    QCOMPARE(out.size(), content.size() + 250 * qsizetype(QByteArray("IDnnn=1\r\n").size()) - 10 * 2 - 90);
    QByteArray appended;
    for (int i = 0; i < 250; ++i)
        appended += "ID" + QByteArray::number(i) + "=1\r\n";
    const qsizetype at = content.indexOf("[S1001]");
    QCOMPARE(out.left(at + appended.size()), content.left(at) + appended);
    QCOMPARE(out.mid(at + appended.size()), content.mid(at));
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
    QCOMPARE(loaded.message(), u"Die Datei %1 konnte nicht gelesen werden: an ihrer Stelle liegt ein Ordner"_s.arg(
                                   QDir::toNativeSeparators(path)));
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
    const QString text = Windows1252::decode(one);
    QCOMPARE(text.size(), 1);
    QCOMPARE(int(text[0].unicode()), codePoint);
    QCOMPARE(Windows1252::encode(text).value(), one);
    // Every byte has a character and back.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    QCOMPARE(Windows1252::encode(Windows1252::decode(all)).value(), all);
}

void TestIniFile::encodingsRoundTripEveryUnit_data()
{
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QByteArray all8;
    for (int b = 0; b < 256; ++b)
        all8 += char(b);
    QByteArray all16;
    for (int u = 0; u < 0x10000; u += 7) // every seventh unit, surrogates and noncharacters among them
        all16 += char(u & 0xFF) + QByteArray(1, char(u >> 8));
    QTest::newRow("Windows-1252, every byte") << TextEncoding::Windows1252 << all8;
    QTest::newRow("UTF-16 LE, lone surrogates too") << TextEncoding::Utf16LE << all16;
    QTest::newRow("UTF-16 BE, lone surrogates too") << TextEncoding::Utf16BE << all16;
}

void TestIniFile::encodingsRoundTripEveryUnit()
{
    QFETCH(TextEncoding, encoding);
    QFETCH(QByteArray, bytes);
    const QString text = TextEncodings::decode(encoding, bytes);
    QCOMPARE(TextEncodings::encode(encoding, text).value(), bytes);
    // A value with any of these characters but a line break reads back from a file of that encoding.
    QString value = text;
    value.remove(u'\r').remove(u'\n');
    IniFile ini = doc(TextEncodings::byteOrderMark(encoding));
    // A CR inside a name is text of that name.
    QVERIFY(ini.writeString(u"A\rB"_s, u"K\rL"_s, u"1"_s).ok());
    QCOMPARE(doc(ini.toBytes()).readString(u"A\rB"_s, u"K\rL"_s), u"1"_s);
    QCOMPARE(ini.encoding(), encoding);
    QVERIFY(ini.writeString(u"A"_s, u"K"_s, value).ok());
    QCOMPARE(doc(ini.toBytes()).readString(u"A"_s, u"K"_s), value);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "TestIniFile.moc"
