#include "radioids/DeviceList.h"
#include "radioids/KeyList.h"
#include "radioids/RadioIdText.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

using Outcome = KeyListImport::Outcome;
Q_DECLARE_METATYPE(KeyListImport::Outcome)

class TestRadioIdImport final : public QObject
{
    Q_OBJECT

private slots:
    void storableRadioId_data();
    void storableRadioId();

    void deviceListInteger_data();
    void deviceListInteger();
    void deviceListFile_data();
    void deviceListFile();
    void deviceListSample();
    void deviceListMissingFileIsEmpty();
    void deviceListFolderFails();
    void deviceListLockedFails();
    void deviceListHostileCountsAreBounded();

    void ExtractRadioID_data();
    void ExtractRadioID();
    void splitLine_data();
    void splitLine();
    void readLines_data();
    void readLines();
    void keyListFile_data();
    void keyListFile();
    void keyListDecodesEachEncoding_data();
    void keyListDecodesEachEncoding();
    void keyListSample();
    void keyListUnreadableIsUnexpected();
};

void TestRadioIdImport::storableRadioId_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("storable");
    QTest::newRow("one digit") << u"1"_s << true;
    QTest::newRow("eight digits with zeros") << u"00000001"_s << true;
    QTest::newRow("eight digits") << u"99999999"_s << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("zero is the empty slot") << u"0"_s << false;
    QTest::newRow("eight zeros") << u"00000000"_s << false;
    QTest::newRow("nine digits") << u"123456789"_s << false;
    QTest::newRow("negative") << u"-1"_s << false;
    QTest::newRow("plus sign") << u"+1"_s << false;
    QTest::newRow("leading blank") << u" 1"_s << false;
    QTest::newRow("letter") << u"1a"_s << false;
    QTest::newRow("arabic-indic digit") << u"\u0661"_s << false;
}

void TestRadioIdImport::storableRadioId()
{
    QFETCH(QString, text);
    QFETCH(bool, storable);
    QCOMPARE(isStorableRadioId(text), storable);
}

void TestRadioIdImport::deviceListInteger_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    const int def = 777;
    QTest::newRow("zero") << u"0"_s << 0;
    QTest::newRow("leading zeros are decimal") << u"00123456"_s << 123456;
    QTest::newRow("minus") << u"-5"_s << -5;
    QTest::newRow("plus") << u"+42"_s << 42;
    QTest::newRow("blanks around") << u" 7 "_s << 7;
    QTest::newRow("largest") << u"2147483647"_s << 2147483647;
    QTest::newRow("above largest") << u"2147483648"_s << def;
    QTest::newRow("smallest") << u"-2147483648"_s << int(-2147483647 - 1);
    QTest::newRow("below smallest") << u"-2147483649"_s << def;
    QTest::newRow("many digits") << u"99999999999999999999"_s << def;
    QTest::newRow("hex") << u"0x10"_s << 16;
    QTest::newRow("hex upper prefix, lower digits") << u"0X1f"_s << 31;
    QTest::newRow("hex leading zeros") << u"0x000000000001"_s << 1;
    QTest::newRow("hex all ones is -1") << u"0xFFFFFFFF"_s << -1;
    QTest::newRow("hex beyond 32 bits") << u"0x100000000"_s << def;
    QTest::newRow("hex prefix only") << u"0x"_s << def;
    QTest::newRow("hex bad digit") << u"0xG1"_s << def;
    QTest::newRow("signed hex") << u"-0x10"_s << def;
    QTest::newRow("empty") << QString() << def;
    QTest::newRow("sign only") << u"-"_s << def;
    QTest::newRow("letters") << u"abc"_s << def;
    QTest::newRow("trailing letters") << u"12abc"_s << def;
    QTest::newRow("inner blank") << u"1 2"_s << def;
}

void TestRadioIdImport::deviceListInteger()
{
    QFETCH(QString, value);
    QFETCH(int, expected);
    QCOMPARE(::deviceListInteger(value, 777), expected);
}

void TestRadioIdImport::deviceListFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<int>("skipped");
    QTest::newRow("houses and devices in number order, not file order")
        << u"import_two_houses.route"_s << QStringList{u"11111111"_s, u"22222222"_s, u"33333333"_s} << 0;
    QTest::newRow("leading zeros dropped, unreadable or missing IDs are 1")
        << u"import_defaults.route"_s << QStringList{u"123456"_s, u"1"_s, u"1"_s, u"1"_s, u"1"_s} << 0;
    QTest::newRow("empty or missing houses add nothing, case and blanks ignored")
        << u"import_empty_houses.route"_s << QStringList{u"44444444"_s} << 0;
    QTest::newRow("hex values") << u"import_hex.route"_s << QStringList{u"12345678"_s, u"1"_s, u"11259375"_s} << 1;
    QTest::newRow("negative and long IDs skipped")
        << u"import_skipped.route"_s << QStringList{u"1"_s, u"99999999"_s, u"42"_s} << 3;
    QTest::newRow("byte-order mark and CR line ends") << u"import_cr_only.route"_s << QStringList{u"7"_s, u"8"_s} << 0;
    QTest::newRow("first of repeated sections and keys wins")
        << u"import_duplicates.route"_s << QStringList{u"10101010"_s, u"1"_s} << 0;
}

void TestRadioIdImport::deviceListFile()
{
    QFETCH(QString, file);
    QFETCH(QStringList, ids);
    QFETCH(int, skipped);
    const Result<DeviceListImport> result = readDeviceListIds(testData(file));
    QVERIFY2(result.ok(), qPrintable(result.message()));
    QCOMPARE(result->ids, ids);
    QCOMPARE(result->skipped, skipped);
    QVERIFY(!result->truncated);
}

void TestRadioIdImport::deviceListSample()
{
    // House 2 device 1 is 0x2718ABCD = 655928269: nine digits, no ID slot can hold it.
    const Result<DeviceListImport> result = readDeviceListIds(testData(u"site_Birkenweg.route"_s));
    QVERIFY2(result.ok(), qPrintable(result.message()));
    QCOMPARE(result->ids, (QStringList{u"31415926"_s, u"271828"_s, u"16180339"_s, u"14142135"_s}));
    QCOMPARE(result->skipped, 1);
}

void TestRadioIdImport::deviceListMissingFileIsEmpty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Result<DeviceListImport> result = readDeviceListIds(dir.filePath(u"fehlt.route"_s));
    QVERIFY(result.ok());
    QVERIFY(result->ids.isEmpty());
    QCOMPARE(result->skipped, 0);
}

void TestRadioIdImport::deviceListFolderFails()
{
    // A folder in place of the file cannot be read on any system.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(u"ordner.route"_s);
    QVERIFY(QDir().mkdir(folder));
    const Result<DeviceListImport> result = readDeviceListIds(folder);
    QVERIFY(!result.ok());
    QCOMPARE(result.message(), u"Die Datei %1 konnte nicht gelesen werden: an ihrer Stelle liegt ein Ordner"_s.arg(
                                   QDir::toNativeSeparators(folder)));
}

void TestRadioIdImport::deviceListLockedFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString locked = dir.filePath(u"gesperrt.route"_s);
    QVERIFY(QFile::copy(testData(u"import_two_houses.route"_s), locked));
    TAKE_READ_PERMISSION(locked);
    const Result<DeviceListImport> lockedResult = readDeviceListIds(locked);
    QVERIFY(!lockedResult.ok());
    QCOMPARE(lockedResult.message(),
             u"Die Datei %1 konnte nicht gelesen werden: keine Berechtigung"_s.arg(QDir::toNativeSeparators(locked)));
}

void TestRadioIdImport::deviceListHostileCountsAreBounded()
{
    QElapsedTimer timer;
    timer.start();
    const Result<DeviceListImport> result = readDeviceListIds(testData(u"import_hostile.route"_s));
    QVERIFY(result.ok());
    QVERIFY(result->truncated);
    QCOMPARE(result->ids.size(), DeviceListImport::MaxDevices);
    QCOMPARE(result->ids.at(0), u"1"_s);
    QCOMPARE(result->ids.at(2), u"12345678"_s);
    QCOMPARE(result->ids.last(), u"1"_s);
    QVERIFY2(timer.elapsed() < 20000, "a walk over every announced house or device would take far longer");
}

void TestRadioIdImport::ExtractRadioID_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("id");
    QTest::newRow("plain") << u"12345678"_s << u"12345678"_s;
    QTest::newRow("separator dropped") << u"1234-5678"_s << u"12345678"_s;
    QTest::newRow("three prefixes") << u"XY 1 7 12345678"_s << u"12345678"_s;
    QTest::newRow("first part is a prefix") << u"12 345678"_s << u"345678"_s;
    QTest::newRow("fourth prefix stays, letters dropped") << u"P Q R S 12345678"_s << u"12345678"_s;
    QTest::newRow("blanks around") << u"   12345678   "_s << u"12345678"_s;
    QTest::newRow("control characters around") << u"\t12345678\r\n"_s << u"12345678"_s;
    QTest::newRow("double blank counts twice") << u"A  12345678"_s << u"12345678"_s;
    QTest::newRow("trailing blank trimmed before prefixes") << u"1 2 3 "_s << u"3"_s;
    QTest::newRow("tab is no separator") << u"a\t1 2"_s << u"2"_s;
    QTest::newRow("no-break space is no blank") << u"12\u00a034"_s << u"1234"_s;
    QTest::newRow("other digits dropped") << u"\u0661\u0662 3"_s << u"3"_s;
    QTest::newRow("not cut to eight") << u"123456789"_s << u"123456789"_s;
    QTest::newRow("letters only") << u"Funk-ID"_s << QString();
    QTest::newRow("blanks only") << u"    "_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestRadioIdImport::ExtractRadioID()
{
    QFETCH(QString, field);
    QFETCH(QString, id);
    const QString extracted = ::ExtractRadioID(field);
    QCOMPARE(extracted, id);
    QCOMPARE(extracted.isEmpty(), id.isEmpty());
}

void TestRadioIdImport::splitLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("empty line has no fields") << QString() << QStringList();
    QTest::newRow("one field") << u"a"_s << QStringList{u"a"_s};
    QTest::newRow("blank is a field") << u" "_s << QStringList{u" "_s};
    QTest::newRow("two fields") << u"a;b"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("blanks kept") << u" a ; b "_s << QStringList{u" a "_s, u" b "_s};
    QTest::newRow("trailing semicolon") << u"a;"_s << QStringList{u"a"_s, QString()};
    QTest::newRow("semicolon only") << u";"_s << QStringList{QString(), QString()};
    QTest::newRow("four semicolons") << u";;;;"_s << QStringList(5, QString());
    QTest::newRow("comma is no separator") << u"a,b\tc"_s << QStringList{u"a,b\tc"_s};
    QTest::newRow("quoted semicolon") << u"\"a;b\";c"_s << QStringList{u"a;b"_s, u"c"_s};
    QTest::newRow("doubled quotes") << u"\"say \"\"hi\"\"\""_s << QStringList{u"say \"hi\""_s};
    QTest::newRow("empty quotes") << u"\"\""_s << QStringList{QString()};
    QTest::newRow("one quote in quotes") << u"\"\"\"\""_s << QStringList{u"\""_s};
    QTest::newRow("quoted blanks kept") << u"\"  1  \";x"_s << QStringList{u"  1  "_s, u"x"_s};
    QTest::newRow("text after closing quote appended") << u"\"ab\"cd;e"_s << QStringList{u"abcd"_s, u"e"_s};
    QTest::newRow("blank after closing quote appended") << u"\"ab\" ;e"_s << QStringList{u"ab "_s, u"e"_s};
    QTest::newRow("quote after blank is text") << u" \"a;b\""_s << QStringList{u" \"a"_s, u"b\""_s};
    QTest::newRow("quote inside field is text") << u"a\"b;c"_s << QStringList{u"a\"b"_s, u"c"_s};
    QTest::newRow("unclosed quote runs to the end") << u"\"open;end"_s << QStringList{u"open;end"_s};
    QTest::newRow("quoted then trailing semicolon") << u"\"a\";"_s << QStringList{u"a"_s, QString()};
    QTest::newRow("quoted empty middle field") << u"a;\"\";b"_s << QStringList{u"a"_s, QString(), u"b"_s};
}

void TestRadioIdImport::splitLine()
{
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    QCOMPARE(splitKeyListLine(line), fields);
}

void TestRadioIdImport::readLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("nothing") << QByteArray() << QStringList();
    QTest::newRow("no final break") << "a"_ba << QStringList{u"a"_s};
    QTest::newRow("final break opens no line") << "a\r\n"_ba << QStringList{u"a"_s};
    QTest::newRow("empty last line") << "a\r\n\r\n"_ba << QStringList{u"a"_s, QString()};
    QTest::newRow("CR only") << "a\rb\r"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("LF only") << "a\nb"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("LF CR is two breaks") << "a\n\rb"_ba << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("UTF-8 mark only") << "\xEF\xBB\xBF"_ba << QStringList();
    QTest::newRow("UTF-8") << "\xEF\xBB\xBF\xC3\xA4\xE2\x82\xAC"_ba << QStringList{u"\u00e4\u20ac"_s};
    QTest::newRow("second mark is text") << "\xEF\xBB\xBF\xEF\xBB\xBFx"_ba << QStringList{u"\ufeffx"_s};
    QTest::newRow("Windows-1252 high range") << "\x80\x8A\x96\x9F"_ba << QStringList{u"\u20ac\u0160\u2013\u0178"_s};
    QTest::newRow("Windows-1252 unassigned")
        << "\x81\x8D\x8F\x90\x9D"_ba << QStringList{u"\u0081\u008d\u008f\u0090\u009d"_s};
    QTest::newRow("Windows-1252 Latin-1 range") << "\xE4\xFF\xA0"_ba << QStringList{u"\u00e4\u00ff\u00a0"_s};
    QTest::newRow("UTF-8 without mark is Windows-1252") << "\xC3\xA4"_ba << QStringList{u"\u00c3\u00a4"_s};
    QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFE"
                                             "a\0\r\0\n\0\xE4\0",
                                             10)
                               << QStringList{u"a"_s, u"\u00e4"_s};
    QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF"
                                             "\0a\0\r\0b",
                                             8)
                               << QStringList{u"a"_s, u"b"_s};
}

void TestRadioIdImport::readLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QCOMPARE(readKeyListLines(bytes), lines);
}

void TestRadioIdImport::keyListFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("header only") << u"import_header_only.csv"_s << QStringList() << 0 << Outcome::Done;
    QTest::newRow("ten fields in the third line")
        << u"import_ten_columns_line3.csv"_s << QStringList{u"12345678"_s} << 0 << Outcome::TooManyColumns;
    QTest::newRow("ten fields in the header")
        << u"import_ten_columns_header.csv"_s << QStringList() << 0 << Outcome::TooManyColumns;
    QTest::newRow("trailing semicolon makes the tenth field")
        << u"import_nine_columns.csv"_s << QStringList{u"12345678"_s} << 0 << Outcome::TooManyColumns;
    QTest::newRow("blanks and tabs around the ID")
        << u"import_blanks.csv"_s << QStringList{u"12345678"_s, u"87654321"_s} << 0 << Outcome::Done;
    QTest::newRow("empty, long and letter rows skipped")
        << u"import_skipped.csv"_s << QStringList{u"11111111"_s, u"22222222"_s} << 5 << Outcome::Done;
    QTest::newRow("UTF-8 mark and quotes")
        << u"import_bom_quotes.csv"_s << QStringList{u"12345678"_s, u"23456789"_s, u"34567890"_s, u"45678901"_s} << 0
        << Outcome::Done;
    QTest::newRow("Windows-1252") << u"import_cp1252.csv"_s << QStringList{u"12345678"_s, u"87654321"_s} << 0
                                  << Outcome::Done;
    QTest::newRow("UTF-16 LE") << u"import_utf16le.csv"_s << QStringList{u"12345678"_s, u"23456789"_s} << 0
                               << Outcome::Done;
    QTest::newRow("UTF-16 BE") << u"import_utf16be.csv"_s << QStringList{u"12345678"_s, u"23456789"_s} << 0
                               << Outcome::Done;
    QTest::newRow("CR line ends") << u"import_cr_only.csv"_s << QStringList{u"12345678"_s, u"23456789"_s, u"34567890"_s}
                                  << 1 << Outcome::Done;
    QTest::newRow("mixed line ends") << u"import_mixed_endings.csv"_s
                                     << QStringList{u"11111111"_s, u"22222222"_s, u"33333333"_s, u"44444444"_s} << 1
                                     << Outcome::Done;
}

void TestRadioIdImport::keyListFile()
{
    QFETCH(QString, file);
    QFETCH(QStringList, ids);
    QFETCH(int, skipped);
    QFETCH(Outcome, outcome);
    const KeyListImport result = importKeyList(testData(file));
    QCOMPARE(result.ids, ids);
    QCOMPARE(result.skipped, skipped);
    QCOMPARE(result.outcome, outcome);
    const QString message =
        outcome == Outcome::TooManyColumns ? u"Mehr als 9 Spalten vorhanden. Falsches Format!"_s : QString();
    QCOMPARE(result.message(), message);
}

void TestRadioIdImport::keyListDecodesEachEncoding_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("UTF-8 quotes") << u"import_bom_quotes.csv"_s << 1
                                  << QStringList{u"12345678"_s, u"M\u00fcller \"Wasser\""_s, u"a;b"_s};
    QTest::newRow("UTF-8 header") << u"import_bom_quotes.csv"_s << 0
                                  << QStringList{u"Funk-ID"_s, u"Hersteller; Name"_s, u"Bemerkung"_s};
    QTest::newRow("Windows-1252") << u"import_cp1252.csv"_s << 1
                                  << QStringList{u"1234\u20135678"_s, u"Z\u00e4hler \u20ac"_s};
    QTest::newRow("UTF-16 LE") << u"import_utf16le.csv"_s << 2 << QStringList{u"QLB 23456789"_s, u"W\u00e4rme"_s};
    QTest::newRow("UTF-16 BE") << u"import_utf16be.csv"_s << 1 << QStringList{u"12345678"_s, u"Z\u00e4hler"_s};
}

void TestRadioIdImport::keyListDecodesEachEncoding()
{
    QFETCH(QString, file);
    QFETCH(int, line);
    QFETCH(QStringList, fields);
    QFile f(testData(file));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = readKeyListLines(f.readAll());
    QVERIFY(line < lines.size());
    QCOMPARE(splitKeyListLine(lines.at(line)), fields);
}

void TestRadioIdImport::keyListSample()
{
    // Rows: plain ID; "QLB 07 " prefixes; quoted with blanks; "1414-2135"; an empty first field.
    const KeyListImport result = importKeyList(testData(u"site_Schluessel.csv"_s));
    QCOMPARE(result.outcome, Outcome::Done);
    QCOMPARE(result.ids, (QStringList{u"31415926"_s, u"27182818"_s, u"16180339"_s, u"14142135"_s}));
    QCOMPARE(result.skipped, 1);
}

void TestRadioIdImport::keyListUnreadableIsUnexpected()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir().mkdir(dir.filePath(u"ordner.csv"_s)));
    for (const QString& name : {u"fehlt.csv"_s, u"ordner.csv"_s}) {
        const KeyListImport result = importKeyList(dir.filePath(name));
        QCOMPARE(result.outcome, Outcome::Unexpected);
        QCOMPARE(result.message(), u"Unerwarteter Fehler in CSV!"_s);
        QVERIFY(result.ids.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestRadioIdImport)
#include "TestRadioIdImport.moc"
