// The gateway list as a CSV file that German spreadsheet programs open as a table.
#include "TestSupport.h"
#include "session/ListExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Reads CSV the way a spreadsheet program does: ";" between fields, CRLF between records, a quoted
// field may hold anything, "" inside quotes is one quote. Refuses what such a program would show
// differently from the table written (a bare quote, text after a closing quote, a line end other
// than CRLF outside quotes).
std::optional<QList<QStringList>> readCsv(const QByteArray& bytes)
{
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return std::nullopt;
    const QString text = QString::fromUtf8(bytes.mid(3));
    QList<QStringList> table;
    QStringList record;
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != u'"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == u'"') {
            if (!field.isEmpty() || wasQuoted)
                return std::nullopt;
            quoted = wasQuoted = true;
        } else if (c == u';') {
            record << field;
            field.clear();
            wasQuoted = false;
        } else if (c == u'\r') {
            if (i + 1 >= text.size() || text[i + 1] != u'\n')
                return std::nullopt;
            ++i;
            record << field;
            table << record;
            record.clear();
            field.clear();
            wasQuoted = false;
        } else if (c == u'\n' || wasQuoted) {
            return std::nullopt;
        } else {
            field += c;
        }
    }
    if (quoted || !record.isEmpty() || !field.isEmpty())
        return std::nullopt; // the last record must end with CRLF
    return table;
}

const QStringList kHeader{u"IP"_s, u"GWID"_s, u"Firmware"_s, u"Zustand"_s, u"Änderung"_s, u"Setup-Datei"_s};

} // namespace

class TestListExport final : public QObject
{
    Q_OBJECT

private slots:
    void exactBytes();
    void fieldsReadBack_data();
    void fieldsReadBack();
    void writesFile();
    void refusesWhatIsNoFile_data();
    void refusesWhatIsNoFile();
};

void TestListExport::exactBytes()
{
    const QList<ExportRow> rows{
        {u"127.0.0.21"_s, u"0A.1B.2C"_s, u"1.4.12"_s, u"gespeichert"_s, u"neu"_s, u"GW_0A_1B_2C.GWINI"_s},
        {u"127.0.0.22"_s, u"0A.1B.2D"_s, u"???"_s, u"anderer Schlüssel"_s, u"unverändert"_s, QString()},
    };
    const QByteArray expected = "\xEF\xBB\xBF"
                                "IP;GWID;Firmware;Zustand;\xC3\x84nderung;Setup-Datei\r\n"
                                "127.0.0.21;0A.1B.2C;1.4.12;gespeichert;neu;GW_0A_1B_2C.GWINI\r\n"
                                "127.0.0.22;0A.1B.2D;???;anderer Schl\xC3\xBCssel;unver\xC3\xA4ndert;\r\n";
    QCOMPARE(gatewayListCsv(rows), expected);
    QCOMPARE(gatewayListCsv({}), QByteArray("\xEF\xBB\xBFIP;GWID;Firmware;Zustand;\xC3\x84nderung;Setup-Datei\r\n"));
}

void TestListExport::fieldsReadBack_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("written"); // the field as it appears in the file

    QTest::newRow("plain") << u"1.4.12"_s << QByteArray("1.4.12");
    QTest::newRow("empty") << QString() << QByteArray("");
    QTest::newRow("blank inside") << u"anderer Schlüssel"_s << QByteArray("anderer Schl\xC3\xBCssel");
    QTest::newRow("comma stays bare") << u"1,5"_s << QByteArray("1,5");
    QTest::newRow("semicolon") << u"a;b"_s << QByteArray("\"a;b\"");
    QTest::newRow("quote") << u"Halle \"Nord\""_s << QByteArray("\"Halle \"\"Nord\"\"\"");
    QTest::newRow("only a quote") << u"\""_s << QByteArray("\"\"\"\"");
    QTest::newRow("CRLF") << u"a\r\nb"_s << QByteArray("\"a\r\nb\"");
    QTest::newRow("LF") << u"a\nb"_s << QByteArray("\"a\nb\"");
    QTest::newRow("CR") << u"a\rb"_s << QByteArray("\"a\rb\"");
    QTest::newRow("leading blank") << u" GW.GWINI"_s << QByteArray("\" GW.GWINI\"");
    QTest::newRow("trailing blank") << u"GW.GWINI "_s << QByteArray("\"GW.GWINI \"");
    QTest::newRow("trailing tab") << u"GW\t"_s << QByteArray("\"GW\t\"");
    QTest::newRow("only blanks") << u"  "_s << QByteArray("\"  \"");
}

void TestListExport::fieldsReadBack()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, written);
    // The value in every column in turn: the file must read back as the same table.
    for (int column = 0; column < kHeader.size(); ++column) {
        QStringList cells{u"127.0.0.21"_s, u"0A.1B.2C"_s, u"1.4.12"_s, u"gespeichert"_s, u"neu"_s, u"x.GWINI"_s};
        cells[column] = value;
        const ExportRow row{cells[0], cells[1], cells[2], cells[3], cells[4], cells[5]};
        const QByteArray bytes = gatewayListCsv({row, row});
        const std::optional<QList<QStringList>> table = readCsv(bytes);
        QVERIFY2(table.has_value(), bytes.constData());
        QCOMPARE(*table, (QList<QStringList>{kHeader, cells, cells}));

        QList<QByteArray> fields;
        for (const QString& c : cells)
            fields << c.toUtf8();
        fields[column] = written;
        QVERIFY2(bytes.contains("\r\n" + fields.join(';') + "\r\n"), bytes.constData());
    }
}

void TestListExport::writesFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Liste.csv"_s);
    const QList<ExportRow> rows{{u"127.0.0.21"_s, u"0A.1B.2C"_s, u"1.4.12"_s, u"gespeichert"_s, u"neu"_s, u"a;b"_s}};
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(10000, 'x'));
    old.close();

    const Status written = writeGatewayListCsv(path, rows);
    QVERIFY2(written.ok(), qPrintable(written.message()));
    QCOMPARE(fileBytes(path), gatewayListCsv(rows));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Liste.csv"_s});
}

void TestListExport::refusesWhatIsNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("link") << u"link"_s;
    QTest::newRow("FIFO") << u"fifo"_s;
    QTest::newRow("folder") << u"folder"_s;
    QTest::newRow("missing folder") << u"nofolder"_s;
}

void TestListExport::refusesWhatIsNoFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.filePath(u"Liste.csv"_s);
    const QString target = dir.filePath(u"anderes.txt"_s);
    QFile t(target);
    QVERIFY(t.open(QIODevice::WriteOnly));
    t.write("fremd");
    t.close();
    if (kind == u"nofolder")
        path = dir.filePath(u"fehlt/Liste.csv"_s);
    else
        PLANT_IN_PLACE(kind, path, target);

    const Status written = writeGatewayListCsv(path, {{u"127.0.0.21"_s, u"0A.1B.2C"_s, {}, {}, {}, {}}});
    QVERIFY(!written.ok());
    QVERIFY2(written.message().contains(QDir::toNativeSeparators(path)), qPrintable(written.message()));
    QCOMPARE(fileBytes(target), QByteArray("fremd"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
             kind == u"fifo" || kind == u"link" ? 2 : 1); // no temporary file left
}

QTEST_GUILESS_MAIN(TestListExport)
#include "TestListExport.moc"
