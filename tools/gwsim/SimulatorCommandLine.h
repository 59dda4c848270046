#pragma once

#include "SimulatedGateway.h"

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

// Parses the command line of telvaro-gwsim (arguments[0] is the program):
//   --port N  --gateway ADDR=GWID[:BEHAVIOUR]  --gateways A.B.C.D-E[:BEHAVIOUR]  --key HEX32
//   --delay MS  --log FILE  --setup-file DIR  --help
// Each gateway starts from SimulatedGateway::makeDefault with --key as its master key (record
// field included) and --delay as its answer delay. With --setup-file, a gateway whose setup file
// exists in DIR takes its record from it (SetupFileToRecord: reserved bytes and firmware stay the
// default ones); the exchanges still use --key. A file that does not convert is an error.
class SimulatorCommandLine final
{
public:
    struct Outcome
    {
        bool ok = false;
        SimulatorOptions options;
        QString error; // for stderr when !ok; the tool exits with 2
    };

    static Outcome parse(const QStringList& arguments);
    static QString helpText();
    // Generated ID of a --gateways range member: B0 <third octet> <fourth octet>.
    static GatewayId rangeId(const QHostAddress& address);
};
