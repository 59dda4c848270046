#pragma once

#include "CommandArguments.h"
#include "session/GatewaySession.h"
#include "session/TemplateApply.h"

#include <QFile>
#include <QTextStream>

#include <functional>

// The commands that run without a window: each prepares one gateway session from the settings
// file and the options, starts it, prints what it reports and ends the event loop with its exit
// code. Results go to stdout, progress and diagnostics to stderr; a failed write to stdout (a full
// disk, a closed pipe) ends with exit code 2 and a message on stderr, never with success.
class CommandRunner final
{
public:
    explicit CommandRunner(const Invocation& invocation);
    // Needs a QCoreApplication; runs its event loop.
    int run();

private:
    Status prepare();
    int scan();
    int send();
    int diff();
    int apply();
    void printApplied(const TemplateApply& run);
    // Reads the gateway of the command's IP and GWID and hands its read on; false (exit code 2
    // already due) on a missing setup file or a gateway ID the last scan found twice.
    bool readTarget(const std::function<void(const QHostAddress&, const GatewayId&)>& then);
    int finishScan();
    // Ends the event loop with code once it runs; 2 when stdout could not take the output.
    void quit(int code);
    int finish(int code);

    const Invocation& m_in;
    GatewaySession m_session;
    QFile m_stdout;
    QTextStream m_out;
    QTextStream m_err;
};

// Runs the command of invocation; needs a QCoreApplication.
int runCommand(const Invocation& invocation);

// What the command line does with an exception out of an event handler: prints the message on
// stderr and ends the event loop with exit code 2.
void reportCommandLineFailure(const QString& message);
