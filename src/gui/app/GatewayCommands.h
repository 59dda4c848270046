#pragma once

#include "CommandLine.h"
#include "session/GatewaySession.h"

#include <QTextStream>

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
    int finishScan();
    // Ends the event loop with code once it runs.
    void quit(int code);

    const Invocation& m_in;
    GatewaySession m_session;
    QTextStream m_out;
    QTextStream m_err;
};
