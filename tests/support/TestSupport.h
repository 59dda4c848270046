#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <string>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

// Points the shared documents folder at a fresh scratch folder for the life of this object.
class ScratchDocuments final
{
public:
    ScratchDocuments() { qputenv("TELVARO_SHARED_DOCUMENTS", m_dir.path().toLocal8Bit()); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }

private:
    QTemporaryDir m_dir;
};

inline QString testData(const QString& name)
{
    return QStringLiteral(TELVARO_TEST_DATA "/") + name;
}

#ifdef Q_OS_WIN
// Wine shows a Unix symbolic link to a folder as a reparse point, a link to a file as the file
// itself, and has no Windows call that makes links; a Windows program under Wine asks Wine's own
// /bin/ln through Wine's Unix program start.
inline bool underWine()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

inline QByteArray unixPathUnderWine(const QString& path)
{
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return QByteArray();
    char* unix = toUnix(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(QDir(path).absolutePath()).utf16()));
    if (!unix)
        return QByteArray();
    const QByteArray result(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

inline bool unixSymlinkUnderWine(const QString& target, const QString& link)
{
    const QByteArray from = unixPathUnderWine(target);
    const QByteArray to = unixPathUnderWine(link);
    if (from.isEmpty() || to.isEmpty())
        return false;
    std::wstring command = L"Z:\\bin\\ln -s \"" + QString::fromLocal8Bit(from).toStdWString() + L"\" \"" +
                           QString::fromLocal8Bit(to).toStdWString() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    // Wine neither waits for a Unix program nor reports its exit code: the link's appearance is the sign.
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    const std::wstring name = QDir::toNativeSeparators(link).toStdWString();
    return QTest::qWaitFor([&] { return ::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
}
#endif

// Why this platform cannot put kind under a file's name (for plantInPlace); empty when it can.
inline QString plantingUnsupported(const QString& kind)
{
#ifdef Q_OS_WIN
    if (kind == QLatin1String("fifo"))
        return QStringLiteral("Windows has no named pipes in the file system");
    if ((kind == QLatin1String("link") || kind == QLatin1String("dangling")) && underWine())
        return QStringLiteral("Wine shows a link to a file as the file itself, or as nothing when dangling");
#else
    Q_UNUSED(kind);
#endif
    return QString();
}

// Puts at path what another program or user may leave under a file's name: "link" (a symbolic link
// to target), "dangling" (a link to target, which does not exist), "folderlink" (a link to the
// folder target; a junction's kind on Windows), "fifo" or "folder". False when it could not be made.
inline bool plantInPlace(const QString& kind, const QString& path, const QString& target = QString())
{
    if (kind == QLatin1String("folder"))
        return QDir().mkdir(path);
#ifdef Q_OS_WIN
    if (kind == QLatin1String("folderlink") && underWine())
        return unixSymlinkUnderWine(target, path);
    if (kind == QLatin1String("folderlink"))
        return ::CreateSymbolicLinkW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                                     reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(target).utf16()),
                                     SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (kind == QLatin1String("link") || kind == QLatin1String("dangling"))
        return ::CreateSymbolicLinkW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                                     reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(target).utf16()),
                                     SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
               QFileInfo(path).isSymLink();
    return false;
#else
    const QByteArray native = QFile::encodeName(path);
    if (kind == QLatin1String("link") || kind == QLatin1String("dangling") || kind == QLatin1String("folderlink"))
        return ::symlink(QFile::encodeName(target).constData(), native.constData()) == 0;
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(native.constData(), 0600) == 0;
    return false;
#endif
}

// Plants kind at path, or skips the data row where the platform cannot.
#define PLANT_IN_PLACE(kind, path, target)                                                                             \
    do {                                                                                                               \
        if (const QString why_ = plantingUnsupported(kind); !why_.isEmpty())                                           \
            QSKIP(qPrintable(why_));                                                                                   \
        QVERIFY(plantInPlace(kind, path, target));                                                                     \
    } while (false)
