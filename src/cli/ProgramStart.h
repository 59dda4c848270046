#pragma once

#include "CommandArguments.h"

#include <optional>

// What the program does with its arguments before any window exists: a command runs to its end;
// help, the version and usage errors are printed. Either way the exit code is set. Otherwise
// window holds the window's options.
struct ProgramStart
{
    std::optional<int> exitCode;
    Invocation window;
};
ProgramStart startProgram(int argc, char** argv);
