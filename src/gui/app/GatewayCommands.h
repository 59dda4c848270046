#pragma once

#include "CommandLine.h"
#include "session/GatewaySession.h"
#include "session/TemplateApply.h"

#include <QTextStream>

#include <functional>

// The commands that run without a window: each prepares one gateway session from the settings
// file and the options, starts it, prints what it reports and ends the event loop with its exit
// code.
class GatewayCommands final
{
public:
    explicit GatewayCommands(const Invocation& invocation);
    int run();

private:
    Status prepare();
    int scan();
    int send();
    int diff();
    int apply();
    void printApplied(const TemplateApply& run);
    // Reads the gateway of the command's IP and GWID and hands its read on; false (exit code 2
    // already due) on a bad argument or a missing setup file.
    bool readTarget(const std::function<void(const QHostAddress&, const GatewayId&)>& then);
    int finishScan();
    // Ends the event loop with code once it runs.
    void quit(int code);

    const Invocation& m_in;
    GatewaySession m_session;
    QTextStream m_out;
    QTextStream m_err;
};
