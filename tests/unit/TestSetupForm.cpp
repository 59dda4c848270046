#include "TestSupport.h"

#include "base/IniFile.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"
#include "setups/SetupForm.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const GatewayId Id{{0x0A, 0x1B, 0x2C}};
const QString Sample = u"setupfile_SETUPGW_0A_1B_2C.GWINI"_s;

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

SetupFormValues saveable()
{
    SetupFormValues v = SetupFormValues::initial();
    v.gwId2 = u"0A"_s;
    v.gwId1 = u"1B"_s;
    v.gwId0 = u"2C"_s;
    return v;
}

} // namespace

// The dialog's form model on files: what a load finds at a path, what a save leaves there, what a
// file would change at a gateway.
class TestSetupForm : public QObject
{
    Q_OBJECT

private slots:
    void load_data()
    {
        QTest::addColumn<QString>("planted"); // "", "sample", "folder", "fifo", "dangling"
        QTest::addColumn<bool>("givenIds");
        QTest::addColumn<int>("outcome"); // 0 failure, 1 no file, 2 values
        QTest::addColumn<QString>("ids");
        QTest::newRow("no file") << QString() << false << 1 << QString();
        QTest::newRow("file, its own IDs") << u"sample"_s << false << 2 << u"0A1B2C"_s;
        QTest::newRow("file, the gateway's IDs") << u"sample"_s << true << 2 << u"FFEEDD"_s;
        QTest::newRow("folder in its place") << u"folder"_s << false << 0 << QString();
        QTest::newRow("FIFO in its place") << u"fifo"_s << false << 0 << QString();
        QTest::newRow("dangling link") << u"dangling"_s << false << 0 << QString();
    }
    void load()
    {
        QFETCH(QString, planted);
        QFETCH(bool, givenIds);
        QFETCH(int, outcome);
        QFETCH(QString, ids);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"SETUPGW_0A_1B_2C.GWINI"_s);
        if (planted == u"sample"_s)
            QVERIFY(QFile::copy(testData(Sample), path));
        else if (!planted.isEmpty())
            PLANT_IN_PLACE(planted, path, dir.filePath(u"nowhere"_s));
        const auto values = SetupForm::load(path, givenIds ? SetupForm::IdPairs::of(GatewayId{{0xFF, 0xEE, 0xDD}})
                                                           : SetupForm::IdPairs());
        QCOMPARE(values.ok(), outcome != 0);
        if (outcome == 0) {
            QVERIFY(values.message().contains(QDir::toNativeSeparators(path)));
            return;
        }
        QCOMPARE(values->has_value(), outcome == 2);
        if (outcome == 2) {
            const SetupFormValues& v = **values;
            QCOMPARE(v.gwId2 + v.gwId1 + v.gwId0, ids);
            QCOMPARE(v.serverDns, u"zaehler.example.net"_s);
            QVERIFY(v.proTag && !v.proH);
            QCOMPARE(v.radioIds, (QStringList{u"12345678"_s, u"00000042"_s, u"87654321"_s}));
        }
    }

    // A save then a load give back what was saved; keys of other programs outside WM-BUS stay.
    void saveThenLoad()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + u"/"_s;
        QVERIFY(QFile::copy(testData(Sample), SetupFilePath(folder, Id)));
        QFile::setPermissions(SetupFilePath(folder, Id), QFile::ReadOwner | QFile::WriteOwner);
        SetupFormValues values = SetupForm::load(SetupFilePath(folder, Id)).value().value();
        values.port = u"5099"_s;
        values.radioIds = {u"00000123"_s, u"7"_s};
        const QDateTime now(QDate(2026, 12, 9), QTime(14, 5, 6));
        const Result<QString> saved = SetupForm::save(folder, values, now);
        QVERIFY2(saved.ok(), qPrintable(saved.message()));
        QCOMPARE(*saved, SetupFilePath(folder, Id));
        const SetupFormValues back = SetupForm::load(*saved).value().value();
        QCOMPARE(back.sendTime, u"09.12.2026 14:05:06"_s);
        QCOMPARE(back.port, u"5099"_s);
        QCOMPARE(back.radioIds, (QStringList{u"00000123"_s, u"00000007"_s}));
        QCOMPARE(back.serverDns, values.serverDns);
        QCOMPARE(back.masterKey, values.masterKey);
        const IniFile ini = IniFile::load(*saved).value();
        QCOMPARE(ini.readString(u"NETZWERK"_s, u"KUNDE"_s), u"Hausverwaltung Nord"_s);
        QCOMPARE(ini.readString(u"ABRECHNUNG"_s, u"LETZTER_EXPORT"_s), u"01.11.2026"_s);
    }

    void saveCreatesTheFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"MERVANE/W_MBUS_SRV_GWSETUPS/"_s);
        const Result<QString> saved = SetupForm::save(folder, saveable(), QDateTime::currentDateTime());
        QVERIFY2(saved.ok(), qPrintable(saved.message()));
        QVERIFY(QFileInfo(*saved).isFile());
    }

    void refusedSaveLeavesTheFile_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("address") << u"gw"_s << u"1.2.3"_s << u"Das ist keine gültige IP-Adresse=1.2.3"_s;
        QTest::newRow("port") << u"port"_s << u"0"_s << u"Ungültiger Server Port: \"0\" (1 bis 65535)"_s;
        QTest::newRow("radio ID") << u"id"_s << u"123456789"_s
                                  << u"Ungültige Funk-ID: \"123456789\" (1 bis 8 Ziffern)"_s;
    }
    void refusedSaveLeavesTheFile()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString folder = dir.path() + u"/"_s;
        QVERIFY(QFile::copy(testData(Sample), SetupFilePath(folder, Id)));
        const QByteArray before = bytesOf(SetupFilePath(folder, Id));
        SetupFormValues v = saveable();
        if (field == u"gw"_s)
            v.gw = value;
        else if (field == u"port"_s)
            v.port = value;
        else
            v.radioIds = {u"1"_s, value};
        const Result<QString> saved = SetupForm::save(folder, v, QDateTime::currentDateTime());
        QVERIFY(!saved);
        QCOMPARE(saved.message(), message);
        QCOMPARE(bytesOf(SetupFilePath(folder, Id)), before);
    }

    void fileDifferences()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + u"/"_s;
        GWSetupRecord reported;
        QVERIFY(QFile::copy(testData(Sample), SetupFilePath(folder, Id)));
        QVERIFY(SetupFileToRecord(folder, Id, reported));
        reported.setServerPort(4712);
        const auto differences = SetupForm::fileDifferences(reported, folder, Id);
        QVERIFY(differences.ok());
        QCOMPARE(*differences, (QList<FieldDifference>{{u"NETZWERK"_s, u"PORT"_s, u"4712"_s, u"4711"_s}}));
        const auto none = SetupForm::fileDifferences(reported, folder, GatewayId{{1, 2, 3}});
        QVERIFY(!none);
        QVERIFY(!none.message().isEmpty());
    }
};

QTEST_MAIN(TestSetupForm)
#include "TestSetupForm.moc"
