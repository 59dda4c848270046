#pragma once

#include "base/Result.h"
#include "setups/FieldRules.h"

#include <QList>
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
    QString helpText;      // Mode::Help: the text asked for

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

// One option of the program: the help texts and the man page's option lists come from this table.
struct OptionSpec
{
    QString name;                           // "port"
    QString valueName;                      // "N"; empty for a switch
    QString description;                    // German
    QStringList commands;                   // "window", "scan", "send", "diff", "apply"
    std::optional<FieldRules::Range> range; // a whole number inside it
};
const QList<OptionSpec>& optionTable();

struct CommandSpec
{
    QString name;              // "scan"
    QStringList argumentNames; // "A.B.C"
    QString description;       // German
};
const QList<CommandSpec>& commandTable();

// True when the first argument names a command (it is not an option): the command line runs
// without a window. An unknown name is a command too, and is refused as one.
bool namesCommand(const QStringList& arguments);

// Reads the arguments (arguments[0] is the program); needs a QCoreApplication. The command, when
// there is one, comes first and is checked before anything else (so "sacn --help" is refused);
// then the command's own options are parsed. An unknown command or option, a missing, empty or
// out-of-range value, an address outside the tool's address rule, an argument too many or too few
// is a usage error with a German message; the program then ends with exit code 2.
Result<Invocation> parseInvocation(const QStringList& arguments);

// The overview for "telvaro --help": the commands, the window's options, the exit codes.
QString usageText();
