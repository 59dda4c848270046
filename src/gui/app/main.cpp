#include "GuardedApplication.h"
#include "Startup.h"
#include "base/ParentConsole.h"
#include "base/QtTexts.h"
#include "base/SharedFolders.h"
#include "cli/CommandArguments.h"
#include "cli/CommandRunner.h"
#include "common/Prompter.h"

#include <QApplication>
#include <QTextStream>

#include <optional>

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

// Help, version and usage errors: printed here, never a window.
std::optional<int> answerDirectly(const Result<Invocation>& invocation)
{
    if (!invocation) {
        QTextStream(stderr) << invocation.message() << "\n\n" << usageText();
        return 2;
    }
    if (invocation->mode == Invocation::Mode::Help) {
        QTextStream(stdout) << invocation->helpText;
        return 0;
    }
    if (invocation->mode == Invocation::Mode::Version) {
        QTextStream(stdout) << "Telvaro V" << TELVARO_VERSION << '\n';
        return 0;
    }
    return std::nullopt;
}

int run(int argc, char** argv)
{
    try {
        QStringList args;
        for (int i = 0; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        if (namesCommand(args)) {
            GuardedApplication<QCoreApplication> app(argc, argv, reportCommandLineFailure);
            app.setApplicationName(QStringLiteral("Telvaro"));
            installQtGermanTexts(app);
            const Result<Invocation> invocation = parseInvocation(args);
            if (const std::optional<int> done = answerDirectly(invocation))
                return *done;
            return runCommand(*invocation);
        }
        // The window's options are read before any window system is asked for.
        std::optional<Result<Invocation>> invocation;
        {
            QCoreApplication parsing(argc, argv);
            installQtGermanTexts(parsing);
            invocation = parseInvocation(args);
        }
        if (const std::optional<int> done = answerDirectly(*invocation))
            return *done;
        return runWindow(argc, argv, **invocation);
    } catch (...) {
        // Outside the event loop (start-up, shut-down): a script must never read this as success.
        QTextStream(stderr) << GuardedApplication<QCoreApplication>::describeCurrentException() << '\n';
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    attachParentConsole();
    return endProcess(run(argc, argv));
}
