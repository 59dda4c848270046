// The shared folders as other programs and other users may leave them: links, FIFOs, folders and
// devices in place of a file, huge files, UTF-16 files, hand-edited values. With
// TELVARO_HARDENING_REPORT set, each row also prints HARDENING|<row>|<expected>|<seen> for
// scripts/hardening.sh.
#include "base/IniFile.h"
#include "base/RegularFile.h"
#include "base/TextEncoding.h"
#include "base/Windows1252.h"
#include "radioids/DeviceList.h"
#include "radioids/ImportFile.h"
#include "radioids/KeyList.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include "ProcessProbe.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(GWSetupRecord)

namespace {

const GatewayId Gw{{0x0A, 0x1B, 0x2C}};

void report(const QString& expected, const QString& seen)
{
    if (qEnvironmentVariableIsSet("TELVARO_HARDENING_REPORT"))
        qInfo().noquote() << u"HARDENING|%1|%2|%3"_s.arg(QString::fromUtf8(QTest::currentDataTag()), expected, seen);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What stands at path, without following a link.
QString kindAt(const QString& path)
{
#ifdef Q_OS_WIN
    const DWORD attributes =
        ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return u"nothing"_s;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return u"link"_s;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? u"folder"_s : u"file"_s;
#else
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return u"nothing"_s;
    if (S_ISLNK(st.st_mode))
        return u"link"_s;
    if (S_ISFIFO(st.st_mode))
        return u"FIFO"_s;
    if (S_ISDIR(st.st_mode))
        return u"folder"_s;
    if (S_ISREG(st.st_mode))
        return u"file"_s;
    return u"other"_s;
#endif
}

// Runs an operation on its own thread so that one that blocks (a FIFO opened for reading waits for
// a writer) cannot hang the test: after the deadline the FIFO is opened from here, which lets the
// operation go on, and the row reads "blocked".
struct Outcome
{
    bool blocked = false;
    bool ok = false;
    QString message;
};

Outcome runGuarded(const std::function<Status()>& operation, const QString& fifo)
{
    std::packaged_task<Status()> task(operation);
    std::future<Status> result = task.get_future();
    std::thread worker(std::move(task));
    Outcome outcome;
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        outcome.blocked = true;
#ifdef Q_OS_WIN
        Q_UNUSED(fifo);
        result.wait();
#else
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK);
        result.wait();
        if (fd >= 0)
            ::close(fd);
#endif
    }
    worker.join();
    const Status s = result.get();
    outcome.ok = s.ok();
    outcome.message = s.message();
    return outcome;
}

GWSetupRecord gatewayRecord()
{
    GWSetupRecord r;
    for (int i = 0; i < GWSetupRecord::Size; ++i)
        r.raw()[i] = quint8(i * 31 + 7);
    r.setGatewayId(Gw);
    r.setServerName("zaehler.example.net");
    r.setServerPort(4711);
    for (int n = 0; n < 4; ++n)
        r.setManufacturerCode(n, "QLB");
    for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
        r.setRadioIdSlot(slot, slot < 5 ? GWSetupRecord::toBcd(quint32(10000000 + slot)) : 0);
    r.setWMBusFlags(r.wmbusFlags() & 0x33);
    r.setNetworkFlags(r.networkFlags() & 0x3D);
    return r;
}

} // namespace

class TestSharedFolderSafety : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder() const { return m_dir->path() + u"/setups/"_s; }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(folder()));
    }

    // Something other than a regular file stands at the name of a file the tool reads or writes.
    void notARegularFile_data()
    {
        QTest::addColumn<QString>("placement"); // link, dangling, fifo, folder
        QTest::addColumn<QString>("operation"); // store, convert, settings-load, settings-save, devices, keys
        QTest::addColumn<QString>("reason");
        const QString link =
            u"sie ist eine symbolische Verknüpfung; Verknüpfungen werden weder gelesen noch beschrieben"_s;
        const QString fifo = u"sie ist keine gewöhnliche Datei, sondern eine Pipe (FIFO)"_s;
        const QString folder = u"an ihrer Stelle liegt ein Ordner"_s;
        QTest::newRow("link as setup file: scan stores") << u"link"_s << u"store"_s << link;
        QTest::newRow("link as setup file: send converts") << u"link"_s << u"convert"_s << link;
        QTest::newRow("dangling link as setup file: scan stores") << u"dangling"_s << u"store"_s << link;
        QTest::newRow("dangling link as setup file: send converts") << u"dangling"_s << u"convert"_s << link;
        QTest::newRow("FIFO as setup file: scan stores") << u"fifo"_s << u"store"_s << fifo;
        QTest::newRow("FIFO as setup file: send converts") << u"fifo"_s << u"convert"_s << fifo;
        QTest::newRow("folder as setup file: scan stores") << u"folder"_s << u"store"_s << folder;
        QTest::newRow("link as settings file: read") << u"link"_s << u"settings-load"_s << link;
        QTest::newRow("link as settings file: save") << u"link"_s << u"settings-save"_s << link;
        QTest::newRow("FIFO as settings file: read") << u"fifo"_s << u"settings-load"_s << fifo;
        QTest::newRow("dangling link as settings file: save") << u"dangling"_s << u"settings-save"_s << link;
        QTest::newRow("link as device list") << u"link"_s << u"devices"_s << link;
        QTest::newRow("FIFO as device list") << u"fifo"_s << u"devices"_s << fifo;
        QTest::newRow("link as key list") << u"link"_s << u"keys"_s << link;
        QTest::newRow("FIFO as key list") << u"fifo"_s << u"keys"_s << fifo;
    }
    void notARegularFile()
    {
        QFETCH(QString, placement);
        QFETCH(QString, operation);
        QFETCH(QString, reason);
        const QString path = operation == u"store"_s || operation == u"convert"_s ? SetupFilePath(folder(), Gw)
                             : operation == u"devices"_s                          ? folder() + u"liste.route"_s
                             : operation == u"keys"_s                             ? folder() + u"liste.csv"_s
                                                                                  : folder() + u"Telvaro.INI"_s;
        // The link points at a file of the user's that holds a valid setup and a device list, so
        // following it would succeed.
        const QString target = m_dir->path() + u"/eigene_datei.txt"_s;
        const QByteArray targetBytes = readBytes(testData(u"setupfile_SETUPGW_0A_1B_2C.GWINI"_s)) +
                                       "[ROUTE]\r\nHAUSER=1\r\n[HAUS1]\r\nANZS=1\r\n"_ba;
        QVERIFY(writeBytes(target, targetBytes));
        const QString nowhere = m_dir->path() + u"/nirgends.txt"_s;
        PLANT_IN_PLACE(placement, path, placement == u"dangling"_s ? nowhere : target);
        const QString standing = kindAt(path);

        const GWSetupRecord original = gatewayRecord();
        GWSetupRecord record = original;
        const QString where = folder();
        const Outcome outcome = runGuarded(
            [&]() -> Status {
                if (operation == u"store"_s)
                    return SetupRecordToFile(where, Gw, original);
                if (operation == u"convert"_s)
                    return SetupFileToRecord(where, Gw, record);
                if (operation == u"settings-load"_s)
                    return Status::from(IniFile::load(path));
                if (operation == u"settings-save"_s) {
                    IniFile settings(path);
                    const Status written = settings.writeString(u"TCP"_s, u"MASTERKEY"_s, QString(32, u'0'));
                    return written ? settings.save() : written;
                }
                if (operation == u"devices"_s)
                    return Status::from(readDeviceListIds(path));
                return Status::from(readKeyListFile(path));
            },
            path);

        const QString expectedMessage =
            outcome.message.contains(u"gespeichert"_s)
                ? u"Die Datei %1 konnte nicht gespeichert werden: %2"_s.arg(QDir::toNativeSeparators(path), reason)
                : u"Die Datei %1 konnte nicht gelesen werden: %2"_s.arg(QDir::toNativeSeparators(path), reason);
        const bool targetUntouched = readBytes(target) == targetBytes;
        const bool nothingCreated = !QFileInfo::exists(nowhere);
        const bool stillStanding = kindAt(path) == standing;
        const QString seen = outcome.blocked ? u"blocked"_s
                             : outcome.ok    ? u"followed"_s
                             : outcome.message != expectedMessage
                                 ? u"other message: "_s + outcome.message
                                 : u"refused%1%2%3"_s.arg(targetUntouched ? QString() : u", target changed"_s,
                                                          nothingCreated ? QString() : u", file created at target"_s,
                                                          stillStanding ? QString() : u", name replaced"_s);
        report(u"refused"_s, seen);
        QCOMPARE(seen, u"refused"_s);
        QVERIFY(record == original);
    }

    // Folders may be links: a setups folder moved to another disk and linked back stays usable.
    void folderLinkIsUsable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("setups folder is a link: store and convert") << u"verknuepft"_s;
    }
    void folderLinkIsUsable()
    {
        QFETCH(QString, name);
        const QString moved = m_dir->path() + u"/anderer_datentraeger"_s;
        QVERIFY(QDir().mkpath(moved));
        const QString linked = m_dir->path() + u'/' + name;
        PLANT_IN_PLACE(u"folderlink"_s, linked, moved);
        const QString where = linked + u'/';
        const GWSetupRecord record = gatewayRecord();
        const Status stored = SetupRecordToFile(where, Gw, record);
        GWSetupRecord back = gatewayRecord();
        back.setServerPort(1);
        const Status converted = stored ? SetupFileToRecord(where, Gw, back) : stored;
        const QString seen = !converted                                             ? converted.message()
                             : back != record                                       ? u"record changed"_s
                             : kindAt(SetupFilePath(moved + u'/', Gw)) == u"file"_s ? u"stored and converted"_s
                                                                                    : u"file elsewhere"_s;
        report(u"stored and converted"_s, seen);
        QCOMPARE(seen, u"stored and converted"_s);
    }

    // A device cannot be placed in the folder without privileges, but the reader meets one through
    // any path: refused without blocking and without reading.
    void deviceRefused_data()
    {
        QTest::addColumn<QString>("device");
        QTest::newRow("/dev/zero as setup file") << u"/dev/zero"_s;
        QTest::newRow("/dev/null as setup file") << u"/dev/null"_s;
    }
    void deviceRefused()
    {
        QFETCH(QString, device);
        if (!QFileInfo::exists(device))
            QSKIP("no such device here");
        const Result<IniFile> loaded = IniFile::load(device);
        const QString expected =
            u"Die Datei %1 konnte nicht gelesen werden: sie ist keine gewöhnliche Datei, sondern ein Gerät"_s.arg(
                device);
        report(u"refused"_s, loaded.ok() ? u"read"_s : loaded.message() == expected ? u"refused"_s : loaded.message());
        QVERIFY(!loaded.ok());
        QCOMPARE(loaded.message(), expected);
    }

    // A setup file of 100 MB (sparse, so the test itself stays small) is refused before a byte is
    // read: memory does not grow. The time taken is printed for the hardening table only.
    void hugeFileRefusedUnread_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("size");
        QTest::newRow("100 MB setup file: send converts") << u"setup"_s << qint64(100) * 1000 * 1000;
        QTest::newRow("setup file one byte above the limit") << u"setup"_s << IniFile::MaxFileBytes + 1;
        QTest::newRow("100 MB key list") << u"keys"_s << qint64(100) * 1000 * 1000;
    }
    void hugeFileRefusedUnread()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, size);
        const QString path = kind == u"setup"_s ? SetupFilePath(folder(), Gw) : folder() + u"liste.csv"_s;
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(size));
        }
        const bool measured = resetPeakResident();
        const qint64 before = residentKb();
        QElapsedTimer timer;
        timer.start();
        GWSetupRecord record = gatewayRecord();
        const Status s =
            kind == u"setup"_s ? SetupFileToRecord(folder(), Gw, record) : Status::from(readKeyListFile(path));
        const qint64 ms = timer.elapsed();
        const qint64 grewKb = measured ? peakResidentKb() - before : -1;
        const qint64 limit = kind == u"setup"_s ? IniFile::MaxFileBytes : MaxImportFileBytes;
        const QString expected = u"Die Datei %1 konnte nicht gelesen werden: sie ist mit %2 Bytes größer als die "
                                 "erlaubten %3 Bytes"_s.arg(QDir::toNativeSeparators(path))
                                     .arg(size)
                                     .arg(limit);
        const bool bounded = !measured || grewKb < 1024;
        const QString seen = (s.ok()                    ? u"read"_s
                              : s.message() == expected ? u"refused"_s
                                                        : s.message()) +
                             (bounded ? u", memory bounded"_s : u", memory grew by %1 KiB"_s.arg(grewKb));
        report(u"refused, memory bounded"_s, seen + u" (%1 ms)"_s.arg(ms));
        QCOMPARE(s.message(), expected);
        QVERIFY(record == gatewayRecord());
#ifndef TELVARO_UNDER_ASAN
        QVERIFY2(bounded, qPrintable(seen));
#endif
    }

    // Another program keeps the setup file in UTF-16 with its own keys and comments; a scan stores a
    // setup into it and a send converts it.
    void utf16FileThroughStoreAndConvert_data()
    {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::newRow("UTF-16 LE file: store and convert") << TextEncoding::Utf16LE;
        QTest::newRow("UTF-16 BE file: store and convert") << TextEncoding::Utf16BE;
        QTest::newRow("UTF-8 BOM file: store and convert") << TextEncoding::Utf8;
        QTest::newRow("ANSI file: store and convert") << TextEncoding::Windows1252;
    }
    void utf16FileThroughStoreAndConvert()
    {
        QFETCH(TextEncoding, encoding);
        const QString path = SetupFilePath(folder(), Gw);
        const QString text = Windows1252::decode(readBytes(testData(u"setupfile_foreign_keys.GWINI"_s)));
        QVERIFY(!text.isEmpty());
        const QByteArray original =
            TextEncodings::byteOrderMark(encoding) + TextEncodings::encode(encoding, text).value();
        QVERIFY(writeBytes(path, original));
        const IniFile before = IniFile::fromBytes(original).value();

        const GWSetupRecord received = gatewayRecord();
        const Status stored = SetupRecordToFile(folder(), Gw, received);
        GWSetupRecord sent = gatewayRecord();
        sent.setServerPort(1); // overwritten by the conversion
        const Status converted = stored ? SetupFileToRecord(folder(), Gw, sent) : stored;

        const Result<IniFile> after = IniFile::load(path);
        QStringList lost;
        for (const QString& section : before.sections()) {
            for (const QString& key : before.keys(section)) {
                const bool owned = section.startsWith(u"WM-BUS"_s) || section == u"GET"_s || section == u"SOFTWARE"_s ||
                                   recordFileValues(received).contains(SetupFileValue{
                                       section, key, after ? after->readString(section, key) : QString()}) ||
                                   key.startsWith(u"GW_ID"_s);
                if (!owned && (!after || after->readString(section, key) != before.readString(section, key)))
                    lost << u"[%1] %2"_s.arg(section, key);
            }
        }
        const QString seen =
            !stored ? stored.message()
            : !converted
                ? converted.message()
                : u"%1 kept, %2, %3"_s.arg(after && after->encoding() == encoding ? TextEncodings::name(encoding)
                                                                                  : u"encoding changed"_s,
                                           lost.isEmpty() ? u"foreign keys kept"_s : u"lost "_s + lost.join(u", "_s),
                                           sent == received ? u"record sent as received"_s : u"record changed"_s);
        const QString expected =
            u"%1 kept, foreign keys kept, record sent as received"_s.arg(TextEncodings::name(encoding));
        report(expected, seen);
        QCOMPARE(seen, expected);
        QVERIFY(readBytes(path).startsWith(TextEncodings::byteOrderMark(encoding)));
        QVERIFY(TextEncodings::decode(encoding, readBytes(path).mid(TextEncodings::byteOrderMark(encoding).size()))
                    .contains(u"; von Hand ergaenzt\r\n"_s));
    }

    // Scan stores, send converts: the same 1116 bytes for everything the file can express.
    void roundTrip_data()
    {
        QTest::addColumn<GWSetupRecord>("record");
        GWSetupRecord r = gatewayRecord();
        QTest::newRow("round trip: gateway-like setup") << r;
        r.setServerName("\xC3\xA4");
        QTest::newRow("round trip: server name bytes C3 A4") << r;
        r.setServerName("  srv ");
        QTest::newRow("round trip: server name with blanks at the ends") << r;
        r.setServerName("\"srv\"");
        QTest::newRow("round trip: server name in quotes") << r;
        r.setServerName(QByteArray(32, '\xFF'));
        QTest::newRow("round trip: server name of 32 bytes FF") << r;
        r = gatewayRecord();
        r.setManufacturerCode(0, "abc");
        r.setManufacturerCode(1, "a-1");
        r.setManufacturerCode(2, " x ");
        r.setManufacturerCode(3, "'q'");
        QTest::newRow("round trip: lower-case and odd manufacturer codes") << r;
        r = gatewayRecord();
        for (int slot = 0; slot < GWSetupRecord::RadioIdSlots; ++slot)
            r.setRadioIdSlot(slot, GWSetupRecord::toBcd(quint32(99999999 - slot)));
        QTest::newRow("round trip: 250 radio IDs") << r;
    }
    void roundTrip()
    {
        QFETCH(GWSetupRecord, record);
        const Status stored = SetupRecordToFile(folder(), Gw, record);
        GWSetupRecord back = gatewayRecord(); // the reserved bytes and firmware of the same gateway
        const Status converted = stored ? SetupFileToRecord(folder(), Gw, back) : stored;
        int differing = 0;
        for (int i = 0; i < GWSetupRecord::Size; ++i)
            differing += back.raw()[i] != record.raw()[i];
        const QString seen = !converted       ? converted.message()
                             : differing == 0 ? u"1116 bytes equal"_s
                                              : u"%1 bytes differ"_s.arg(differing);
        report(u"1116 bytes equal"_s, seen);
        QCOMPARE(seen, u"1116 bytes equal"_s);
    }

    // A hand-edited value that is not exact is refused with a message naming section, key and
    // value; nothing of the file reaches the record.
    void malformedValueRefused_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("message");
        const QString why = u" (vier Zahlen von 0 bis 255 mit je 1 bis 3 Ziffern, durch Punkte getrennt)"_s;
        QTest::newRow("SUB_IP=255.255.255")
            << "SUB_IP=255.255.255"_ba << u"Ungültiger Wert in [NETZWERK] SUB_IP: 255.255.255"_s + why;
        QTest::newRow("FEST_IP=192.168.1.98.7")
            << "FEST_IP=192.168.1.98.7"_ba << u"Ungültiger Wert in [NETZWERK] FEST_IP: 192.168.1.98.7"_s + why;
        QTest::newRow("GW_IP=+1.-0.3.4") << "GW_IP=+1.-0.3.4"_ba
                                         << u"Ungültiger Wert in [NETZWERK] GW_IP: +1.-0.3.4"_s + why;
        QTest::newRow("DNS_IP=1..3.4") << "DNS_IP=1..3.4"_ba << u"Ungültiger Wert in [NETZWERK] DNS_IP: 1..3.4"_s + why;
        QTest::newRow("NTP_IP=256.1.1.1")
            << "NTP_IP=256.1.1.1"_ba << u"Ungültiger Wert in [NETZWERK] NTP_IP: 256.1.1.1"_s + why;
        QTest::newRow("FEST_IP=0192.168.1.1")
            << "FEST_IP=0192.168.1.1"_ba << u"Ungültiger Wert in [NETZWERK] FEST_IP: 0192.168.1.1"_s + why;
        QTest::newRow("SUB_IP= (empty)") << "SUB_IP="_ba << u"Fehlender Wert in [NETZWERK] SUB_IP"_s;
        QTest::newRow("PORT=0") << "PORT=0"_ba << u"Ungültiger Wert in [NETZWERK] PORT: 0 (1 bis 65535)"_s;
        QTest::newRow("PORT=65536") << "PORT=65536"_ba << u"Ungültiger Wert in [NETZWERK] PORT: 65536 (1 bis 65535)"_s;
        QTest::newRow("PORT=abc") << "PORT=abc"_ba << u"Ungültiger Wert in [NETZWERK] PORT: abc (1 bis 65535)"_s;
    }
    void malformedValueRefused()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, message);
        QByteArray content = readBytes(testData(u"setupfile_minimal.GWINI"_s));
        content.insert(content.indexOf('\n') + 1, line + "\r\n");
        QVERIFY(writeBytes(SetupFilePath(folder(), Gw), content));
        const GWSetupRecord original = gatewayRecord();
        GWSetupRecord record = original;
        const Status s = SetupFileToRecord(folder(), Gw, record);
        const QString seen = s.ok() ? u"converted"_s : s.message() == message ? u"refused"_s : s.message();
        report(u"refused"_s, seen);
        QCOMPARE(s.message(), message);
        QVERIFY(record == original);
    }

    // Every file failure gets a German message naming the path; none of the system's English texts.
    void germanMessages_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("message"); // %1: the path
        QTest::newRow("folder of the file missing")
            << u"nofolder"_s << u"Die Datei %1 konnte nicht gespeichert werden: der Ordner %2 fehlt"_s;
        QTest::newRow("no permission to read")
            << u"unreadable"_s << u"Die Datei %1 konnte nicht gelesen werden: keine Berechtigung"_s;
        QTest::newRow("unreadable encoding")
            << u"oddutf16"_s
            << u"Die Datei %1 konnte nicht gelesen werden: sie beginnt mit der Kennung von UTF-16 LE, hat aber eine "
               "ungerade Anzahl von Bytes; diese Kodierung ist nicht lesbar"_s;
        QTest::newRow("a character the file cannot hold")
            << u"character"_s
            << u"Der Wert für [NETZWERK] AORT enthält das Zeichen „Ω“, das die Datei %1 (Windows-1252) nicht speichern "
               "kann."_s;
    }
    void germanMessages()
    {
        QFETCH(QString, situation);
        QFETCH(QString, message);
        QString path = SetupFilePath(folder(), Gw);
        Status s;
        if (situation == u"nofolder"_s) {
            path = SetupFilePath(folder() + u"fehlt/"_s, Gw);
            message =
                message.arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
            s = SetupRecordToFile(folder() + u"fehlt/"_s, Gw, gatewayRecord());
        } else if (situation == u"unreadable"_s) {
            QVERIFY(writeBytes(path, "[NETZWERK]\r\n"));
            TAKE_READ_PERMISSION(path);
            message = message.arg(QDir::toNativeSeparators(path));
            s = Status::from(IniFile::load(path));
        } else if (situation == u"oddutf16"_s) {
            QVERIFY(writeBytes(path, "\xFF\xFE[\0N\0]"_ba));
            message = message.arg(QDir::toNativeSeparators(path));
            GWSetupRecord record;
            s = SetupFileToRecord(folder(), Gw, record);
        } else {
            IniFile ini = IniFile::load(path).value();
            message = message.arg(QDir::toNativeSeparators(path));
            s = ini.writeString(u"NETZWERK"_s, u"AORT"_s, u"Raum Ω"_s);
        }
        QVERIFY(!s.ok());
        QCOMPARE(s.message(), message);
    }
};

QTEST_GUILESS_MAIN(TestSharedFolderSafety)
#include "TestSharedFolderSafety.moc"
