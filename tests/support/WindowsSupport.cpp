// The Windows side of the test helpers (TestSupport.h), kept out of the header so that no test sees
// windows.h.
#include "ProcessProbe.h"
#include "TestSupport.h"

// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <string>

// Wine shows a Unix symbolic link to a folder as a reparse point, a link to a file as the file
// itself, and has no Windows call that makes links; a Windows program under Wine asks Wine's own
// /bin/ln through Wine's Unix program start.
bool underWine()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

static QByteArray unixPathUnderWine(const QString& path)
{
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return QByteArray();
    char* converted =
        toUnix(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(QDir(path).absolutePath()).utf16()));
    if (!converted)
        return QByteArray();
    const QByteArray result(converted);
    ::HeapFree(::GetProcessHeap(), 0, converted);
    return result;
}

static bool unixSymlinkUnderWine(const QString& target, const QString& link)
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

bool plantLinkOnWindows(const QString& kind, const QString& path, const QString& target)
{
    const auto wide = [](const QString& p) { return reinterpret_cast<const wchar_t*>(p.utf16()); };
    const QString nativePath = QDir::toNativeSeparators(path);
    const QString nativeTarget = QDir::toNativeSeparators(target);
    if (kind == QLatin1String("folderlink") && underWine())
        return unixSymlinkUnderWine(target, path);
    if (kind == QLatin1String("folderlink"))
        return ::CreateSymbolicLinkW(wide(nativePath), wide(nativeTarget),
                                     SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (kind == QLatin1String("link") || kind == QLatin1String("dangling"))
        return ::CreateSymbolicLinkW(wide(nativePath), wide(nativeTarget),
                                     SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
               QFileInfo(path).isSymLink();
    return false;
}

int openDescriptors()
{
    DWORD handles = 0;
    return ::GetProcessHandleCount(::GetCurrentProcess(), &handles) ? int(handles) : -1;
}

qint64 residentKb()
{
    PROCESS_MEMORY_COUNTERS counters{};
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return qint64(counters.WorkingSetSize / 1024);
}

qint64 peakResidentKb()
{
    PROCESS_MEMORY_COUNTERS counters{};
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return qint64(counters.PeakWorkingSetSize / 1024);
}
