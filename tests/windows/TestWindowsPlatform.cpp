// What only the Windows build does: the Public Documents folder, links and junctions refused like
// symbolic links, the replace step that waits for a program holding the file, the local addresses,
// and the two programs for window and console.
#include "TestSupport.h"

#include "base/AtomicFile.h"
#include "base/FileReasons.h"
#include "base/RegularFile.h"
#include "base/SharedFolders.h"
#include "base/WindowsFiles.h"
#include "link/LocalNetworks.h"

#include <QProcess>
#include <QtTest>

#include <qt_windows.h>
#include <winioctl.h>

using namespace Qt::StringLiterals;

namespace {

std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A handle that shares nothing, as an editor or a virus scanner may hold a file.
class Holder final
{
public:
    explicit Holder(const QString& path)
        : m_handle(::CreateFileW(native(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {}
    ~Holder() { release(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool holds() const { return m_handle != INVALID_HANDLE_VALUE; }
    void release()
    {
        if (holds())
            ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

// A junction (mount point) at path that leads to the folder target; empty when made, else why not.
QString makeJunction(const QString& path, const QString& target)
{
    if (underWine())
        return u"Wine cannot set a mount-point reparse point (FSCTL_SET_REPARSE_POINT)"_s;
    if (!QDir().mkdir(path))
        return u"cannot create the junction's folder"_s;
    const HANDLE folder = ::CreateFileW(native(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return u"cannot open the junction's folder"_s;
    const std::wstring substitute = L"\\??\\" + native(QDir(target).absolutePath());
    const std::wstring print = native(QDir(target).absolutePath());
    struct
    {
        DWORD tag;
        WORD length;
        WORD reserved;
        WORD substituteOffset, substituteLength, printOffset, printLength;
        WCHAR names[1024];
    } buffer{};
    buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.substituteLength = WORD(substitute.size() * sizeof(WCHAR));
    buffer.printOffset = WORD(buffer.substituteLength + sizeof(WCHAR));
    buffer.printLength = WORD(print.size() * sizeof(WCHAR));
    memcpy(buffer.names, substitute.c_str(), buffer.substituteLength);
    memcpy(reinterpret_cast<char*>(buffer.names) + buffer.printOffset, print.c_str(), buffer.printLength);
    buffer.length = WORD(4 * sizeof(WORD) + buffer.printOffset + buffer.printLength + sizeof(WCHAR));
    DWORD returned = 0;
    const BOOL made =
        ::DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &buffer, 8 + buffer.length, nullptr, 0, &returned, nullptr);
    ::CloseHandle(folder);
    return made ? QString() : u"FSCTL_SET_REPARSE_POINT failed"_s;
}

// The subsystem field of a program's PE header: 2 window, 3 console; 0 when unreadable.
int peSubsystem(const QString& program)
{
    const QByteArray bytes = contentOf(program);
    if (bytes.size() < 0x40)
        return 0;
    const quint32 pe = qFromLittleEndian<quint32>(bytes.constData() + 0x3C);
    const qsizetype field = qsizetype(pe) + 4 + 20 + 68; // signature, file header, optional header offset
    if (field + 2 > bytes.size() || bytes.mid(pe, 4) != QByteArray("PE\0\0", 4))
        return 0;
    return qFromLittleEndian<quint16>(bytes.constData() + field);
}

} // namespace

class TestWindowsPlatform : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void publicDocumentsByDefault_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("belowPublic");
        QTest::newRow("shared documents") << u"documents"_s << u"\\Documents"_s;
        QTest::newRow("MERVANE") << u"mervane"_s << u"\\Documents\\MERVANE\\"_s;
        QTest::newRow("setups") << u"setups"_s << u"\\Documents\\MERVANE\\W_MBUS_SRV_GWSETUPS\\"_s;
        QTest::newRow("routes") << u"routes"_s << u"\\Documents\\MERVANE\\Routes\\"_s;
        QTest::newRow("settings file follows the executable's name")
            << u"settings"_s << u"\\Documents\\MERVANE\\test_windows_TestWindowsPlatform.INI"_s;
    }
    void publicDocumentsByDefault()
    {
        QFETCH(QString, which);
        QFETCH(QString, belowPublic);
        const QByteArray before = qgetenv("TELVARO_SHARED_DOCUMENTS");
        qunsetenv("TELVARO_SHARED_DOCUMENTS");
        SharedFolders::setDocumentsOverride(QString());
        const QString seen = which == u"documents"_s ? SharedFolders::documents()
                             : which == u"mervane"_s ? SharedFolders::mervane()
                             : which == u"setups"_s  ? SharedFolders::setups()
                             : which == u"routes"_s  ? SharedFolders::routes()
                                                     : SharedFolders::settingsFile();
        qputenv("TELVARO_SHARED_DOCUMENTS", before);
        // Windows names the public profile in PUBLIC (C:\Users\Public); its Documents is the known folder.
        const QString publicProfile = qEnvironmentVariable("PUBLIC");
        QVERIFY(!publicProfile.isEmpty());
        QCOMPARE(seen.toLower(), (publicProfile + belowPublic).toLower());
    }

    void linksAndFoldersRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("reason");
        const QString link = FileReasons::symbolicLink();
        for (const QString& op : {u"read"_s, u"write"_s}) {
            QTest::addRow("link to a folder, %s", qPrintable(op)) << u"folderlink"_s << op << link;
            QTest::addRow("junction, %s", qPrintable(op)) << u"junction"_s << op << link;
            QTest::addRow("link to a file, %s", qPrintable(op)) << u"link"_s << op << link;
            QTest::addRow("dangling link, %s", qPrintable(op)) << u"dangling"_s << op << link;
            QTest::addRow("folder, %s", qPrintable(op)) << u"folder"_s << op << FileReasons::folderInPlace();
        }
    }
    void linksAndFoldersRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, operation);
        QFETCH(QString, reason);
        const QString elsewhere = m_dir->filePath(u"elsewhere"_s);
        QVERIFY(QDir().mkpath(elsewhere));
        const QString target = kind == u"dangling"_s ? m_dir->filePath(u"none.GWINI"_s)
                               : kind == u"link"_s   ? m_dir->filePath(u"elsewhere/real.GWINI"_s)
                                                     : elsewhere;
        if (kind == u"link"_s)
            QVERIFY(writeBytes(target, "[GATEWAY]\r\n"));
        const QString path = m_dir->filePath(u"SETUPGW_0A_1B_2C.GWINI"_s);
        if (kind == u"junction"_s) {
            if (const QString why = makeJunction(path, elsewhere); !why.isEmpty())
                QSKIP(qPrintable(why));
        } else {
            PLANT_IN_PLACE(kind, path, target);
        }
        const QStringList inTargetBefore = QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const QByteArray targetBytesBefore = kind == u"link"_s ? contentOf(target) : QByteArray();

        QString message;
        if (operation == u"read"_s) {
            const Result<std::optional<QByteArray>> read = readRegularFile(path, 1 << 20);
            QVERIFY(!read.ok());
            message = read.message();
            QCOMPARE(message, FileReasons::readFailure(path, reason));
        } else {
            const Status written = writeFileAtomically(path, "[GATEWAY]\r\nGWID=0A1B2C\r\n");
            QVERIFY(!written.ok());
            QCOMPARE(written.message(), FileReasons::writeFailure(path, reason));
        }
        // Nothing reached the place the link points to, and the link itself is still there.
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), inTargetBefore);
        if (kind == u"link"_s)
            QCOMPARE(contentOf(target), targetBytesBefore);
        QVERIFY(WindowsFiles::inspect(path).kind != WindowsFiles::Kind::Regular);
        QCOMPARE(QDir(m_dir->path()).entryList(QStringList{u".*tmp-*"_s}, QDir::Files | QDir::Hidden), QStringList());
    }

    void replaceWaitsForTheHolder_data()
    {
        QTest::addColumn<int>("releaseAfter"); // failed attempts before the holder lets go; 0: never
        QTest::addColumn<int>("allowed");      // attempts the pause allows
        QTest::addColumn<bool>("replaced");
        QTest::newRow("released after the first try") << 1 << 10 << true;
        QTest::newRow("released after the third try") << 3 << 10 << true;
        QTest::newRow("held longer than the tries allowed") << 0 << 4 << false;
    }
    void replaceWaitsForTheHolder()
    {
        QFETCH(int, releaseAfter);
        QFETCH(int, allowed);
        QFETCH(bool, replaced);
        const QString target = m_dir->filePath(u"SETUPGW_0A_1B_2C.GWINI"_s);
        const QString temporary = m_dir->filePath(u".SETUPGW_0A_1B_2C.GWINI.tmp-1"_s);
        QVERIFY(writeBytes(target, "old"));
        QVERIFY(writeBytes(temporary, "new"));
        Holder holder(target);
        QVERIFY(holder.holds());
        int pauses = 0;
        const Status s = WindowsFiles::replace(temporary, target, [&](int attempt) {
            pauses = attempt;
            if (attempt == releaseAfter)
                holder.release();
            return attempt < allowed;
        });
        holder.release();
        QCOMPARE(s.ok(), replaced);
        if (replaced) {
            QCOMPARE(pauses, releaseAfter);
            QCOMPARE(contentOf(target), QByteArray("new"));
            QVERIFY(!QFile::exists(temporary));
        } else {
            QCOMPARE(pauses, allowed);
            QCOMPARE(s.message(), u"die Datei ist von einem anderen Programm geöffnet"_s);
            QCOMPARE(contentOf(target), QByteArray("old"));
        }
    }

    // On the window's thread the writer gives up after quick tries; the old file stays whole and no
    // temporary file is left behind.
    void heldFileKeepsItsContent()
    {
        const QString target = m_dir->filePath(u"SETUPGW_0A_1B_2C.GWINI"_s);
        QVERIFY(writeBytes(target, "[GATEWAY]\r\nGWID=0A1B2C\r\n"));
        Holder holder(target);
        QVERIFY(holder.holds());
        const Status s = writeFileAtomically(target, "[GATEWAY]\r\nGWID=0A1B2D\r\n");
        holder.release();
        QCOMPARE(s.message(),
                 FileReasons::writeFailure(target, u"die Datei ist von einem anderen Programm geöffnet"_s));
        QCOMPARE(contentOf(target), QByteArray("[GATEWAY]\r\nGWID=0A1B2C\r\n"));
        const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left == QStringList{target.section(u'/', -1)}, qPrintable(left.mid(0, 3).join(u", "_s)));
        QVERIFY(writeFileAtomically(target, "[GATEWAY]\r\nGWID=0A1B2D\r\n").ok());
        QCOMPARE(contentOf(target), QByteArray("[GATEWAY]\r\nGWID=0A1B2D\r\n"));
    }

    void loopbackIsALocalNetwork()
    {
        const QList<LocalAddress> local = localIPv4Addresses();
        QVERIFY(std::any_of(local.cbegin(), local.cend(),
                            [](const LocalAddress& a) { return a.address == QHostAddress(u"127.0.0.1"_s); }));
        QVERIFY(segmentIsLocal(Segment{127, 0, 0}, local));
        QVERIFY(!segmentIsLocal(Segment{198, 51, 100}, {}));
    }

    void programsForWindowAndConsole_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("subsystem");
        QTest::newRow("telvaro.exe, window program") << QStringLiteral(TELVARO_WINDOW_PROGRAM) << 2;
        QTest::newRow("telvaro.com, console program") << QStringLiteral(TELVARO_CONSOLE_PROGRAM) << 3;
    }
    void programsForWindowAndConsole()
    {
        QFETCH(QString, program);
        QFETCH(int, subsystem);
        QCOMPARE(peSubsystem(program), subsystem);

        QProcess version;
        version.start(program, {u"--version"_s});
        QVERIFY(version.waitForFinished(60000));
        QCOMPARE(version.exitStatus(), QProcess::NormalExit);
        QCOMPARE(version.exitCode(), 0);
        QCOMPARE(version.readAllStandardOutput().trimmed(), QByteArray("Telvaro V" TELVARO_VERSION));

        // A usage error is an exit code a script can read, with the reason on the error stream.
        QProcess wrong;
        wrong.start(program, {u"scan"_s});
        QVERIFY(wrong.waitForFinished(60000));
        QCOMPARE(wrong.exitCode(), 2);
        QVERIFY(!wrong.readAllStandardError().trimmed().isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestWindowsPlatform)
#include "TestWindowsPlatform.moc"
