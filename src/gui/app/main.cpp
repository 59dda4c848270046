#include "Startup.h"
#include "base/GuardedApplication.h"
#include "base/ParentConsole.h"
#include "base/SharedFolders.h"
#include "cli/ProgramStart.h"
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

} // namespace

int main(int argc, char** argv)
{
    attachParentConsole();
    const ProgramStart start = startProgram(argc, argv);
    if (start.exitCode)
        return endProcess(*start.exitCode);
    try {
        return endProcess(runWindow(argc, argv, start.window));
    } catch (...) {
        // Outside the event loop (start-up, shut-down): a script must never read this as success.
        QTextStream(stderr) << GuardedApplication<QCoreApplication>::describeCurrentException() << '\n';
    }
    return endProcess(2);
}
