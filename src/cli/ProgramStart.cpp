#include "ProgramStart.h"

#include "CommandRunner.h"
#include "base/GuardedApplication.h"
#include "base/QtTexts.h"

#include <QTextStream>

namespace {

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

} // namespace

ProgramStart startProgram(int argc, char** argv)
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
                return {done, {}};
            return {runCommand(*invocation), {}};
        }
        // The window's options are read before any window system is asked for.
        QCoreApplication parsing(argc, argv);
        installQtGermanTexts(parsing);
        const Result<Invocation> invocation = parseInvocation(args);
        if (const std::optional<int> done = answerDirectly(invocation))
            return {done, {}};
        return {std::nullopt, *invocation};
    } catch (...) {
        // Outside the event loop: a script must never read this as success.
        QTextStream(stderr) << GuardedApplication<QCoreApplication>::describeCurrentException() << '\n';
        return {2, {}};
    }
}
