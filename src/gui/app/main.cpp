#include "app/CommandLine.h"
#include "app/Startup.h"
#include "base/SharedFolders.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <exception>

static int runWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepareApplication(app);
    TTelvaro::Options options;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--segment"))
            options.segment = args[++i];
        else if (args[i] == QLatin1String("--port")) {
            bool ok = false;
            options.port = args[++i].toInt(&ok);
            if (!ok || options.port < 1 || options.port > 65535) {
                QTextStream(stderr) << "Ungültiger Port: " << args[i] << '\n';
                return 2;
            }
        } else if (args[i] == QLatin1String("--documents"))
            SharedFolders::setDocumentsOverride(args[++i]);
    }
    Windows windows = createWindows(options);
    windows.main->show();
    const int rc = app.exec();
    destroyWindows(windows);
    return rc;
}

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        QTextStream(stdout) << usageText();
        return 0;
    }
    if (args.contains(QLatin1String("--version"))) {
        QTextStream(stdout) << "Telvaro V" << TELVARO_VERSION << '\n';
        return 0;
    }
    try {
        if (isCommandLineRun(args)) {
            QCoreApplication app(argc, argv);
            app.setApplicationName(QStringLiteral("Telvaro"));
            return runCommandLine(app.arguments());
        }
        return runWindow(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
    }
    return 0;
}
