#pragma once

#include "SimulatedGateway.h"

#include "base/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

// The options of telvaro-gwsim.
struct SimulatorOptions
{
    quint16 port = 0;
    QList<SimulatedGateway> gateways;
    QString logFile;     // empty: stdout
    QString setupFolder; // --setup-file: records from the gateways' setup files there
    bool help = false;
};

// The command line of telvaro-gwsim (arguments[0] is the program):
//   --port N  --gateway ADDR=GWID[:BEHAVIOUR]  --gateways A.B.C.D-E[:BEHAVIOUR]  --key HEX32
//   --delay MS  --restart-delay MS  --long-restart MS  --log FILE  --setup-file DIR  -h/--help
// Each gateway starts from SimulatedGateway::makeDefault with --key as its master key (record
// field included), --delay as its answer delay and the two restart times. With --setup-file, a
// gateway whose setup file exists in DIR takes its record from it (SetupFileToRecord: reserved
// bytes and firmware stay the default ones); the exchanges still use --key.
// Every refusal (unknown option, extra argument, missing or bad value, refused address, a setup
// file that does not convert) is a German message; the tool prints it and exits with 2.
class SimulatorCommandLine final
{
public:
    [[nodiscard]] static Result<SimulatorOptions> parse(const QStringList& arguments);
    static QString helpText();
    // Generated ID of a --gateways range member: B0 <third octet> <fourth octet>.
    static GatewayId rangeId(const QHostAddress& address);
};
