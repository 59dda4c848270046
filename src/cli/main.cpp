// The program "telvaro" where the window is a program of its own (Linux): commands, help and usage
// errors are handled here on Qt Core alone, so a scan starts without loading the window libraries;
// without a command this program becomes the window program, with the same arguments.
#include "ProgramStart.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Beside this program in the build folder, or where the package installs it. The folder comes from
// the kernel, not from argv[0], which names no folder when the program was found through PATH.
QByteArray windowProgram()
{
    const QString folder = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    const QString beside = folder + QStringLiteral("/telvaro-window");
    if (QFileInfo(beside).isExecutable())
        return QFile::encodeName(beside);
    return QFile::encodeName(folder + QStringLiteral("/" TELVARO_WINDOW_FROM_BIN));
}

} // namespace

int main(int argc, char** argv)
{
    const ProgramStart start = startProgram(argc, argv);
    if (start.exitCode)
        return *start.exitCode;
    const QByteArray window = windowProgram();
    execv(window.constData(), argv);
    QTextStream(stderr) << QStringLiteral("Das Fensterprogramm %1 kann nicht gestartet werden: %2")
                               .arg(QFile::decodeName(window), QString::fromLocal8Bit(strerror(errno)))
                        << '\n';
    return 2;
}
