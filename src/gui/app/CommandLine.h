#pragma once

#include "base/Result.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the program was asked to do by its arguments.
struct Invocation
{
    enum class Mode
    {
        Window,
        Command,
        Help,
        Version
    };
    Mode mode = Mode::Window;
    QString command;       // scan, send, diff, apply
    QStringList arguments; // the command's own arguments

    QString segment;         // window: --segment
    std::optional<int> port; // --port
    std::optional<int> parallel;
    std::optional<int> connectTimeout;
    QString key; // --key
    std::optional<QString> documents;
    bool json = false;
    bool noVerify = false;
    bool dryRun = false;
    QString csv;    // scan --csv FILE
    QString only;   // apply --only GWID,...
    QString fields; // apply --fields SECTION/KEY,...
};

// Reads the arguments (arguments[0] is the program). An unknown command or option, an argument too
// many or too few, or an option value that is missing or out of range is a usage error with a
// German message; the program then ends with exit code 2 and no window opens.
Result<Invocation> parseInvocation(const QStringList& arguments);

QString usageText();

// Runs a command without a window; needs a QCoreApplication and runs its event loop.
// Exit codes: 0 success; 1 not acknowledged (or, for diff, differences); 2 refused or bad input;
// 3 stored or sent, but not all of it as it should be (setups not stored, read-back differs).
int runCommand(const Invocation& invocation);

// What the command line does with an exception out of an event handler: prints the message on
// stderr and ends the event loop with exit code 2.
void reportCommandLineFailure(const QString& message);
