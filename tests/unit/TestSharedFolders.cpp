#include "TestSupport.h"

#include "base/SharedFolders.h"
#include "firmware/FirmwareImage.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("\x7f"
                                                   "ELF") == 4;
}

} // namespace

class TestSharedFolders : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void paths_data();
    void paths();
    void environmentReadAtEachCall();
    void overrideTakesPrecedence();
    void ensureFolder_data();
    void ensureFolder();
    void firmwareImage_data();
    void firmwareImage();
    void firmwareFolderFailure();
};

void TestSharedFolders::cleanup()
{
    SharedFolders::setDocumentsOverride(QString());
}

void TestSharedFolders::paths_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("relative");
    QTest::newRow("maker folder") << u"mervane"_s << u"MERVANE/"_s;
    QTest::newRow("setups") << u"setups"_s << u"MERVANE/W_MBUS_SRV_GWSETUPS/"_s;
    QTest::newRow("firmware") << u"firmware"_s << u"MERVANE/W_MBUS_SRV_SOFTWARE/"_s;
    QTest::newRow("routes") << u"routes"_s << u"MERVANE/Routes/"_s;
    QTest::newRow("settings file named after the executable")
        << u"settings"_s
        << u"MERVANE/%1.INI"_s.arg(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
}

void TestSharedFolders::paths()
{
    QFETCH(QString, which);
    QFETCH(QString, relative);
    ScratchDocuments docs;
    QString path;
    if (which == u"mervane"_s)
        path = SharedFolders::mervane();
    else if (which == u"setups"_s)
        path = SharedFolders::setups();
    else if (which == u"firmware"_s)
        path = SharedFolders::firmware();
    else if (which == u"routes"_s)
        path = SharedFolders::routes();
    else
        path = SharedFolders::settingsFile();
    QCOMPARE(SharedFolders::documents(), native(docs.path()));
    QCOMPARE(path, native(docs.path() + u'/' + relative));
    QVERIFY(!path.contains(QDir::separator() == u'/' ? u'\\' : u'/'));
    // Building a path creates nothing.
    QVERIFY(!QFileInfo::exists(docs.file(u"MERVANE"_s)));
}

void TestSharedFolders::environmentReadAtEachCall()
{
    ScratchDocuments first;
    const QString a = SharedFolders::setups();
    ScratchDocuments second;
    QCOMPARE(SharedFolders::setups(), native(second.path() + u"/MERVANE/W_MBUS_SRV_GWSETUPS/"_s));
    QVERIFY(a != SharedFolders::setups());
    // A trailing separator in the variable does not double.
    qputenv("TELVARO_SHARED_DOCUMENTS", (second.path() + u'/').toLocal8Bit());
    QCOMPARE(SharedFolders::mervane(), native(second.path() + u"/MERVANE/"_s));
}

void TestSharedFolders::overrideTakesPrecedence()
{
    ScratchDocuments env;
    QTemporaryDir option;
    SharedFolders::setDocumentsOverride(option.path());
    QCOMPARE(SharedFolders::documents(), native(option.path()));
    QCOMPARE(SharedFolders::firmware(), native(option.path() + u"/MERVANE/W_MBUS_SRV_SOFTWARE/"_s));
    SharedFolders::setDocumentsOverride(QString());
    QCOMPARE(SharedFolders::documents(), native(env.path()));
}

void TestSharedFolders::ensureFolder_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("ok");
    QTest::newRow("with missing parents") << u"MERVANE/W_MBUS_SRV_GWSETUPS/"_s << true;
    QTest::newRow("already there") << u"."_s << true;
    QTest::newRow("below a file") << u"datei/unter"_s << false;
    QTest::newRow("a file itself") << u"datei"_s << false;
}

void TestSharedFolders::ensureFolder()
{
    QFETCH(QString, relative);
    QFETCH(bool, ok);
    ScratchDocuments docs;
    QVERIFY(touch(docs.file(u"datei"_s)));
    const QString path = native(docs.file(relative));
    const Status s = SharedFolders::ensureFolder(path);
    QCOMPARE(s.ok(), ok);
    QCOMPARE(QFileInfo(path).isDir(), ok);
    if (!ok)
        QCOMPARE(s.message(), path);
}

void TestSharedFolders::firmwareImage_data()
{
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<bool>("present");
    QTest::newRow("first start: no maker folder") << u"nothing"_s << false;
    QTest::newRow("folder without image") << u"folder"_s << false;
    QTest::newRow("image present") << u"image"_s << true;
    QTest::newRow("a folder named like the image") << u"imagefolder"_s << false;
    QTest::newRow("other file only") << u"other"_s << false;
}

void TestSharedFolders::firmwareImage()
{
    QFETCH(QString, prepare);
    QFETCH(bool, present);
    ScratchDocuments docs;
    const QString folder = docs.file(u"MERVANE/W_MBUS_SRV_SOFTWARE"_s);
    if (prepare != u"nothing"_s)
        QVERIFY(QDir().mkpath(folder));
    if (prepare == u"image"_s)
        QVERIFY(touch(folder + u"/NewSoftwareGW.bin"_s));
    if (prepare == u"imagefolder"_s)
        QVERIFY(QDir().mkdir(folder + u"/NewSoftwareGW.bin"_s));
    if (prepare == u"other"_s)
        QVERIFY(touch(folder + u"/NewSoftwareGW.bin.bak"_s));

    const Result<FirmwareImage> image = PrepareFirmwareImage();
    QVERIFY2(image.ok(), qPrintable(image.message()));
    QVERIFY(QFileInfo(docs.file(u"MERVANE"_s)).isDir());
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(image->present, present);
    QCOMPARE(image->path, present ? SharedFolders::firmware() + u"NewSoftwareGW.bin"_s : QString());
    if (present)
        QVERIFY(QFileInfo(image->path).isFile());
}

void TestSharedFolders::firmwareFolderFailure()
{
    ScratchDocuments docs;
    // MERVANE is a file, so the firmware folder cannot be made below it.
    QVERIFY(touch(docs.file(u"MERVANE"_s)));
    const Result<FirmwareImage> image = PrepareFirmwareImage();
    QVERIFY(!image.ok());
    QCOMPARE(image.message(), SharedFolders::firmware());
}

QTEST_GUILESS_MAIN(TestSharedFolders)
#include "TestSharedFolders.moc"
