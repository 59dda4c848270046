#pragma once

#include <QStringList>

// Runs "telvaro scan ..." and "telvaro send ..." without a window. Needs a QCoreApplication.
// Exit codes: 0 success; 1 setup not acknowledged; 2 no setup file, a file that cannot be converted,
// or wrong arguments.
int runCommandLine(const QStringList& arguments);

// True when the arguments ask for a command (scan, send) rather than the window.
bool isCommandLineRun(const QStringList& arguments);

QString usageText();
