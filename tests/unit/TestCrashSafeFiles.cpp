// Setup files survive a writer killed at any moment, a read-only folder, a full disk, and another
// program writing between our read and our write.
//
// The killed writer is this test binary started again with --rewrite-loop (one file at a time, or in
// batches with other files); the file-size-limit case runs it with --save-under-fsize-limit.
#include "base/FileBatchWriter.h"
#include "base/IniFile.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include "SimulatedGateway.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <cstdio>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

const GatewayId kId{{0x0A, 0x1B, 0x2C}};

GWSetupRecord recordA()
{
    return SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.21"_s), kId).record;
}

GWSetupRecord recordB()
{
    GWSetupRecord r = recordA();
    r.setServerPort(5000);
    r.setNetworkFlag(GWSetupRecord::Dhcp, !r.networkFlag(GWSetupRecord::Dhcp));
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        r.setRadioIdSlot(slot, GWSetupRecord::toBcd(10000000u + quint32(slot)));
    return r;
}

// Two versions of one file, the second much longer, so a kill often lands inside a write.
QByteArray versionA()
{
    return "[NETZWERK]\r\nPORT=4711\r\nFREMD=bleibt\r\n[WM-BUS]\r\nMODET=1\r\n"_ba;
}

QByteArray versionB()
{
    QByteArray b = "[NETZWERK]\r\nPORT=5000\r\nFREMD=bleibt\r\n[WM-BUS_IDS]\r\n"_ba;
    for (int i = 0; i < 20000; ++i)
        b += "ID" + QByteArray::number(i) + "=" + QByteArray::number(10000000 + i) + "\r\n";
    return b;
}

// Child: rewrites the file in a loop, alternating the two versions; "ready" after the first write.
int rewriteLoop(const QString& mode, const QString& folder)
{
    const QString path = SetupFilePath(folder, kId);
    const IniFile a = IniFile::fromBytes(versionA(), path).value();
    const IniFile b = IniFile::fromBytes(versionB(), path).value();
    const GWSetupRecord ra = recordA();
    const GWSetupRecord rb = recordB();
    for (quint64 n = 0;; ++n) {
        const bool second = n % 2 == 1;
        Status s;
        if (mode == u"record"_s) {
            s = SetupRecordToFile(folder, kId, second ? rb : ra);
        } else if (mode == u"batch"_s) {
            const QList<FileWrite> files{{folder + u"before.GWINI"_s, versionB()},
                                         {path, (second ? b : a).toBytes()},
                                         {folder + u"after.GWINI"_s, versionA()}};
            for (const Status& one : writeFilesAtomically(files))
                s = s ? one : s;
        } else {
            s = (second ? b : a).save();
        }
        if (!s) {
            fprintf(stderr, "%s\n", qPrintable(s.message()));
            return 2;
        }
        if (n == 0) {
            fputs("ready\n", stdout);
            fflush(stdout);
        }
    }
}

// Child: a save under a file-size limit of 512 bytes, as a full disk would refuse it.
int saveUnderFsizeLimit(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return 3; // Windows has no file-size limit per process
#else
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{512, 512};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 3;
    const Status s = SetupRecordToFile(folder, kId, recordB());
    fputs(s ? "saved\n" : qPrintable(s.message() + u'\n'), stdout);
    return s ? 1 : 0;
#endif
}

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList leftovers(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.removeAll(SetupFilePath(QString(), kId));
    return names;
}

} // namespace

class TestCrashSafeFiles : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_mounts;

    QString folder() const { return m_dir->path() + u"/setups/"_s; }
    QString file() const { return SetupFilePath(folder(), kId); }

    // A small tmpfs over the scratch folder; false when this machine lets us not mount.
    bool mountTmpfs(const QString& options)
    {
        QDir().mkpath(folder());
#ifdef Q_OS_WIN
        Q_UNUSED(options);
        return false;
#else
        if (geteuid() != 0 || !run(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, options, u"tmpfs"_s, folder()}))
            return false;
        m_mounts << folder();
        return true;
#endif
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        for (const QString& m : std::as_const(m_mounts)) {
            if (!run(u"umount"_s, {m}))
                run(u"umount"_s, {u"-l"_s, m});
        }
        m_mounts.clear();
        m_dir.reset();
    }

    void killedWriterLeavesOldOrNew_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("IniFile::save") << u"ini"_s;
        QTest::newRow("SetupRecordToFile") << u"record"_s;
        QTest::newRow("writeFilesAtomically, three files a batch") << u"batch"_s;
    }
    void killedWriterLeavesOldOrNew()
    {
        QFETCH(QString, mode);
        QVERIFY(QDir().mkpath(folder()));
        const QByteArray a = versionA();
        const QByteArray b = versionB();
        const GWSetupRecord ra = recordA();
        const GWSetupRecord rb = recordB();
        QVERIFY(mode != u"record"_s ? IniFile::fromBytes(a, file()).value().save().ok()
                                    : SetupRecordToFile(folder(), kId, ra).ok());

        QElapsedTimer budget;
        budget.start();
        int kills = 0;
        int sawA = 0, sawB = 0;
        while (kills < 20 && budget.elapsed() < 60000) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {u"--rewrite-loop"_s, mode, folder()});
            QVERIFY(child.waitForStarted(5000));
            // Under Wine a program started right after one was killed may take a while.
            QVERIFY2(child.waitForReadyRead(30000), child.readAllStandardError().constData());
            QTest::qSleep(int(QRandomGenerator::global()->bounded(1, 40)));
            child.kill();
            QVERIFY(child.waitForFinished(5000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            ++kills;

            QFile f(file());
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.errorString()));
            const QByteArray now = f.readAll();
            QVERIFY2(!now.isEmpty(), "the file is empty after a kill");
            if (mode != u"record"_s) {
                QVERIFY2(
                    now == a || now == b,
                    qPrintable(u"after kill %1 the file is neither version (%2 bytes)"_s.arg(kills).arg(now.size())));
                (now == a ? sawA : sawB)++;
            } else {
                GWSetupRecord back = ra;
                const Status read = SetupFileToRecord(folder(), kId, back);
                QVERIFY2(read.ok(), qPrintable(read.message()));
                QVERIFY2(back == ra || back == rb, qPrintable(u"after kill %1 the file holds a mix"_s.arg(kills)));
                (back == ra ? sawA : sawB)++;
            }
        }
        QVERIFY(kills >= 10);
        qInfo("%d kills: %d times the first version, %d times the second; %d temporary files left by killed writers",
              kills, sawA, sawB, int(leftovers(folder()).size()));
    }

    void readOnlyFolderKeepsOldFile()
    {
        QVERIFY(QDir().mkpath(folder()));
        bool readOnly = false;
        bool immutable = false;
        if (mountTmpfs(u"size=1m"_s)) {
            QVERIFY(SetupRecordToFile(folder(), kId, recordA()).ok());
            readOnly = run(u"mount"_s, {u"-o"_s, u"remount,ro"_s, folder()});
        } else {
            QVERIFY(SetupRecordToFile(folder(), kId, recordA()).ok());
            immutable = run(u"chattr"_s, {u"+i"_s, folder()});
            readOnly = immutable;
        }
        const auto undo = qScopeGuard([this, immutable] {
            if (immutable)
                run(u"chattr"_s, {u"-i"_s, folder()});
        });
        if (!readOnly)
            QSKIP("neither a read-only mount nor chattr +i is possible here (not root?)");

        QFile before(file());
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray old = before.readAll();
        before.close();

        const Status s = SetupRecordToFile(folder(), kId, recordB());
        QVERIFY(!s.ok());
        qInfo("%s", qPrintable(s.message()));
        QCOMPARE(s.message(), u"Die Datei "_s + file() +
                                  u" konnte nicht gespeichert werden: im Ordner kann keine Datei "
                                  "angelegt werden ("_s +
                                  (immutable ? u"keine Berechtigung)"_s : u"der Datenträger ist schreibgeschützt)"_s));
        IniFile edited = IniFile::load(file()).value();
        QVERIFY(edited.writeString(u"NETZWERK"_s, u"AORT"_s, u"Keller"_s).ok());
        const Status saved = edited.save();
        QVERIFY(!saved.ok());
        QVERIFY(saved.message().contains(u"konnte nicht gespeichert werden"_s));

        QFile after(file());
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), old);
        GWSetupRecord back = recordB();
        QVERIFY(SetupFileToRecord(folder(), kId, back).ok());
        QCOMPARE(back.serverPort(), recordA().serverPort());
    }

    void fullDiskKeepsOldFile_data()
    {
        QTest::addColumn<bool>("tmpfs");
        QTest::newRow("tmpfs of 64 KiB, filled") << true;
        QTest::newRow("file size limit of 512 bytes") << false;
    }
    void fullDiskKeepsOldFile()
    {
        QFETCH(bool, tmpfs);
        QVERIFY(QDir().mkpath(folder()));
        QString message;
        if (tmpfs) {
            if (!mountTmpfs(u"size=64k"_s))
                QSKIP("cannot mount a small tmpfs here (not root?)");
            QVERIFY(SetupRecordToFile(folder(), kId, recordA()).ok());
            // Fill what is left.
            QFile filler(folder() + u"filler.bin"_s);
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(4096, 'x');
            for (int i = 0; i < 64 && filler.write(block) == block.size(); ++i) {
            }
            filler.close();
            const Status s = SetupRecordToFile(folder(), kId, recordB());
            message = s.ok() ? u"saved"_s : s.message();
            QFile::remove(folder() + u"filler.bin"_s);
        } else {
#ifdef Q_OS_WIN
            QSKIP("Windows has no file-size limit per process");
#endif
            QVERIFY(SetupRecordToFile(folder(), kId, recordA()).ok());
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {u"--save-under-fsize-limit"_s, folder()});
            QVERIFY(child.waitForFinished(10000));
            QVERIFY(child.exitCode() <= 1);
            message = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
        }
        qInfo("%s", qPrintable(message));
        // First what matters most: the old setup is still there, whole.
        QFile now(file());
        QVERIFY(now.open(QIODevice::ReadOnly));
        const qint64 size = now.size();
        GWSetupRecord back = recordB();
        const Status read = SetupFileToRecord(folder(), kId, back);
        QVERIFY2(read.ok() && back == recordA(),
                 qPrintable(u"the old setup file was replaced by %1 bytes (%2); the save said: %3"_s.arg(size).arg(
                     read.message(), message)));
        // The user must learn why: a write the disk cut short is no unknown error.
        QCOMPARE(message,
                 u"Die Datei "_s + file() + u" konnte nicht gespeichert werden: "_s +
                     (tmpfs ? u"der Datenträger ist voll"_s : u"die Datei überschreitet die erlaubte Dateigröße"_s));
        QCOMPARE(leftovers(folder()), QStringList()); // no half-written temporary file stays behind
    }

    // A file the user may read but not change is left as it is, by every writer; a root process
    // is held to the permission bits all the same.
    void readOnlyFileNotReplaced_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::newRow("IniFile::save") << u"ini"_s;
        QTest::newRow("SetupRecordToFile") << u"record"_s;
        QTest::newRow("writeFilesAtomically") << u"batch"_s;
    }
    void readOnlyFileNotReplaced()
    {
        QFETCH(QString, writer);
        QVERIFY(QDir().mkpath(folder()));
        QVERIFY(SetupRecordToFile(folder(), kId, recordA()).ok());
        QVERIFY(QFile::setPermissions(file(), QFile::ReadOwner | QFile::ReadGroup));
        QFile before(file());
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray old = before.readAll();
        before.close();

        Status s;
        if (writer == u"ini"_s)
            s = IniFile::fromBytes(versionB(), file()).value().save();
        else if (writer == u"record"_s)
            s = SetupRecordToFile(folder(), kId, recordB());
        else
            s = writeFilesAtomically({{file(), versionB()}}).value(0);
        QCOMPARE(s.message(), u"Die Datei "_s + QDir::toNativeSeparators(file()) +
                                  u" konnte nicht gespeichert werden: die Datei ist schreibgeschützt"_s);
        QFile after(file());
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), old);
#ifdef Q_OS_WIN // a read-only attribute, for everyone alike
        QCOMPARE(after.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
#else
        QCOMPARE(after.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::ReadGroup);
#endif
        QCOMPARE(leftovers(folder()), QStringList());
    }

    // One refused file of a batch fails alone; the others are written.
    void batchFailuresStayWithTheirFile()
    {
        QVERIFY(QDir().mkpath(folder()));
        const QString planted = folder() + u"ordner.GWINI"_s;
        QVERIFY(plantInPlace(u"folder"_s, planted));
        const QString missingFolder = folder() + u"gone/x.GWINI"_s;
        const QList<FileWrite> files{{folder() + u"one.GWINI"_s, versionA()},
                                     {planted, versionA()},
                                     {missingFolder, versionA()},
                                     {file(), versionB()}};
        const QList<Status> result = writeFilesAtomically(files);
        QCOMPARE(result.size(), 4);
        QVERIFY(result[0].ok() && result[3].ok());
        QVERIFY2(result[1].message().contains(u"Ordner"_s), qPrintable(result[1].message()));
        QVERIFY2(result[2].message().contains(u"fehlt"_s), qPrintable(result[2].message()));
        for (const int i : {0, 3}) {
            QFile f(files[i].path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), files[i].bytes);
        }
        QVERIFY(QFileInfo(planted).isDir());
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
    }

    void otherProgramsKeysSurviveOurWrite()
    {
        QVERIFY(QDir().mkpath(folder()));
        QVERIFY(SetupRecordToFile(folder(), kId, recordA()).ok());
        // We read ...
        const IniFile ours = IniFile::load(file()).value();
        QCOMPARE(ours.readInteger(u"NETZWERK"_s, u"PORT"_s, 0), int(recordA().serverPort()));
        // ... another program adds its keys ...
        IniFile theirs = IniFile::load(file()).value();
        QVERIFY(theirs.writeString(u"NETZWERK"_s, u"FREMD_KEY"_s, u"von drüben"_s).ok());
        QVERIFY(theirs.writeString(u"ANDERES_PROGRAMM"_s, u"STAND"_s, u"7"_s).ok());
        QVERIFY(theirs.save().ok());
        // ... and we write ours: the conversion loads the file afresh.
        QVERIFY(SetupRecordToFile(folder(), kId, recordB()).ok());
        IniFile edited = IniFile::load(file()).value();
        QVERIFY(edited.writeString(u"NETZWERK"_s, u"AORT"_s, u"Keller"_s).ok());
        QVERIFY(edited.save().ok());

        const IniFile now = IniFile::load(file()).value();
        QCOMPARE(now.readString(u"NETZWERK"_s, u"FREMD_KEY"_s), u"von drüben"_s);
        QCOMPARE(now.readString(u"ANDERES_PROGRAMM"_s, u"STAND"_s), u"7"_s);
        QCOMPARE(now.readString(u"NETZWERK"_s, u"AORT"_s), u"Keller"_s);
        GWSetupRecord back = recordA();
        QVERIFY(SetupFileToRecord(folder(), kId, back).ok());
        QCOMPARE(back, recordB());
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--rewrite-loop") == 0)
        return rewriteLoop(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 3 && qstrcmp(argv[1], "--save-under-fsize-limit") == 0)
        return saveUnderFsizeLimit(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestCrashSafeFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestCrashSafeFiles.moc"
