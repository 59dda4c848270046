// A setup file as another program or another user may leave it: the first byte chooses what stands
// at the file's name (a regular file, a link to one, a dangling link, a FIFO, a folder), the rest
// are the file's bytes in any encoding. Then the conversion both ways:
// - anything but a regular file is refused by both conversions, a link's target stays untouched
//   and nothing appears where a dangling link points;
// - a file that converts is stored back and converts to the same record, keeps its encoding and
//   every key the conversion does not own;
// - a file that does not convert leaves the record untouched.
#include "FuzzCheck.h"
#include "base/IniFile.h"
#include "base/TextEncoding.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const GatewayId Id{{0x0A, 0x1B, 0x2C}};

enum Placement
{
    Regular,
    LinkToFile,
    DanglingLink,
    Fifo,
    Folder,
    Placements
};

QTemporaryDir& scratch()
{
    // On tmpfs where there is one: the atomic save syncs every file, which a disk would make slow.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/telvaro-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/telvaro-fuzz-XXXXXX"));
    return dir;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    check(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size(), "scratch file written");
}

void removeAny(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::lstat(native.constData(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode))
        ::rmdir(native.constData());
    else
        ::unlink(native.constData());
}

// Every key the conversion writes, folded: GET and WM-BUS_IDS whole, the gateway ID keys, and what
// recordFileValues() lists (an empty record lists every key but the radio IDs).
bool ownedKey(const QString& section, const QString& key)
{
    using namespace SetupKeys;
    static const QSet<QString> owned = [] {
        QSet<QString> keys;
        for (const QString& k : {GwId2, GwId1, GwId0})
            keys.insert((Netzwerk + u'/' + k).toCaseFolded());
        for (const SetupFileValue& v : recordFileValues(GWSetupRecord()))
            keys.insert((v.section + u'/' + v.key).toCaseFolded());
        return keys;
    }();
    if (section.compare(WMBusIds, Qt::CaseInsensitive) == 0 || section.compare(Get, Qt::CaseInsensitive) == 0)
        return true;
    return owned.contains((section + u'/' + key).toCaseFolded());
}

GWSetupRecord patterned()
{
    GWSetupRecord r;
    for (int i = 0; i < GWSetupRecord::Size; ++i)
        r.raw()[i] = quint8(i * 13 + 5);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    check(scratch().isValid(), "scratch folder");
    const QString folder = scratch().path() + u'/';
    const QString path = SetupFilePath(folder, Id);
    const QString target = folder + QStringLiteral("ziel.txt");
    const QString nowhere = folder + QStringLiteral("nirgends.txt");
    removeAny(path);
    removeAny(target);
    removeAny(nowhere);

    const auto placement = Placement(data[0] % Placements);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArray native = QFile::encodeName(path);
    switch (placement) {
    case Regular:
        writeAll(path, bytes);
        break;
    case LinkToFile:
        writeAll(target, bytes);
        check(::symlink(QFile::encodeName(target).constData(), native.constData()) == 0, "link made");
        break;
    case DanglingLink:
        check(::symlink(QFile::encodeName(nowhere).constData(), native.constData()) == 0, "link made");
        break;
    case Fifo:
        check(::mkfifo(native.constData(), 0600) == 0, "FIFO made");
        break;
    case Folder:
        check(::mkdir(native.constData(), 0700) == 0, "folder made");
        break;
    case Placements:
        break;
    }

    const GWSetupRecord base = patterned();
    GWSetupRecord record = base;
    const Status read = SetupFileToRecord(folder, Id, record);

    if (placement != Regular) {
        check(!read.ok(), "only a regular file is read");
        check(read.message().contains(QDir::toNativeSeparators(path)), "the refusal names the path");
        check(record == base, "a refused file leaves the record");
        const Status stored = SetupRecordToFile(folder, Id, base);
        check(!stored.ok(), "nothing is written in place of anything but a regular file");
        check(stored.message().contains(QDir::toNativeSeparators(path)), "the refusal names the path");
        if (placement == LinkToFile)
            check(readAll(target) == bytes, "a link's target stays untouched");
        check(!QFileInfo::exists(nowhere), "nothing appears where a dangling link points");
        struct stat st
        {
        };
        check(::lstat(native.constData(), &st) == 0, "the name still stands");
        check(placement == Folder ? S_ISDIR(st.st_mode)
              : placement == Fifo ? S_ISFIFO(st.st_mode)
                                  : S_ISLNK(st.st_mode),
              "what stood at the name stands there still");
        return 0;
    }

    const Result<IniFile> before = IniFile::fromBytes(bytes);
    if (!read.ok()) {
        check(record == base, "a file that does not convert leaves the record");
        return 0;
    }
    check(before.ok(), "a file that converts parses");

    const Status stored = SetupRecordToFile(folder, Id, record);
    check(stored.ok(), "a record read from a file can be stored back into it");
    const QByteArray afterBytes = readAll(path);
    const Result<IniFile> after = IniFile::fromBytes(afterBytes);
    check(after.ok() && after->encoding() == before->encoding(), "the file keeps its encoding");
    check(afterBytes.startsWith(TextEncodings::byteOrderMark(before->encoding())), "and its byte-order mark");

    GWSetupRecord again = base;
    const Status reread = SetupFileToRecord(folder, Id, again);
    check(reread.ok(), "a stored record converts again");
    check(again == record, "file, record, file, record: the same record");

    for (const QString& section : before->sections()) {
        for (const QString& key : before->keys(section)) {
            if (!ownedKey(section, key))
                check(after->readString(section, key) == before->readString(section, key),
                      "keys of other programs survive");
        }
    }
    return 0;
}
