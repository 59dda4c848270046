#include "ParentConsole.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <cstdio>

namespace {

bool usable(DWORD which)
{
    const HANDLE handle = ::GetStdHandle(which);
    return handle && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void attachParentConsole()
{
    const bool out = usable(STD_OUTPUT_HANDLE);
    const bool err = usable(STD_ERROR_HANDLE);
    if (out && err)
        return; // redirected, or a console program: the streams are already where they belong
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return; // started from the Start menu or Explorer: no console, none opened
    FILE* ignored = nullptr;
    if (!out)
        freopen_s(&ignored, "CONOUT$", "w", stdout);
    if (!err)
        freopen_s(&ignored, "CONOUT$", "w", stderr);
    if (!usable(STD_INPUT_HANDLE))
        freopen_s(&ignored, "CONIN$", "r", stdin);
}

int endProcess(int code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), UINT(code));
    return code;
}

#else

void attachParentConsole()
{}

int endProcess(int code)
{
    return code;
}

#endif
