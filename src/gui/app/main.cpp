#include "CommandLine.h"
#include "GuardedApplication.h"
#include "Startup.h"
#include "base/ParentConsole.h"
#include "base/SharedFolders.h"
#include "common/Prompter.h"

#include <QApplication>
#include <QTextStream>

namespace {

int runWindow(int argc, char** argv, const Invocation& invocation)
{
    GuardedApplication<QApplication> app(argc, argv,
                                         [](const QString& message) { Prompter::instance().error(nullptr, message); });
    prepareApplication(app);
    if (invocation.documents)
        SharedFolders::setDocumentsOverride(*invocation.documents);
    TTelvaro::Options options;
    options.segment = invocation.segment;
    options.port = invocation.port.value_or(-1);
    Windows windows = createWindows(options);
    windows.main->show();
    const int rc = app.exec();
    destroyWindows(windows);
    return rc;
}

int runCommandLine(int argc, char** argv, const Invocation& invocation)
{
    GuardedApplication<QCoreApplication> app(argc, argv, reportCommandLineFailure);
    app.setApplicationName(QStringLiteral("Telvaro"));
    return runCommand(invocation);
}

} // namespace

int main(int argc, char** argv)
{
    attachParentConsole();
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const Result<Invocation> invocation = parseInvocation(args);
    if (!invocation) {
        QTextStream(stderr) << invocation.message() << "\n\n" << usageText();
        return 2;
    }
    try {
        switch (invocation->mode) {
        case Invocation::Mode::Help:
            QTextStream(stdout) << usageText();
            return 0;
        case Invocation::Mode::Version:
            QTextStream(stdout) << "Telvaro V" << TELVARO_VERSION << '\n';
            return 0;
        case Invocation::Mode::Command:
            return runCommandLine(argc, argv, *invocation);
        case Invocation::Mode::Window:
            return runWindow(argc, argv, *invocation);
        }
    } catch (...) {
        // Outside the event loop (start-up, shut-down): a script must never read this as success.
        QTextStream(stderr) << GuardedApplication<QCoreApplication>::describeCurrentException() << '\n';
    }
    return 2;
}
