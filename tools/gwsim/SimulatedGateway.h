#pragma once

#include "GatewayBehaviour.h"

#include "link/TelegramCipher.h"
#include "setups/GWSetupRecord.h"
#include "setups/GatewayId.h"

#include <QHostAddress>

// One simulated gateway: where it listens, who it is, the master key it shares with the tool, the
// setup it reports and adopts, and how it behaves.
struct SimulatedGateway
{
    QHostAddress address;
    GatewayId id;
    MasterKey masterKey = defaultMasterKey();
    GWSetupRecord record;
    GatewayBehaviour behaviour = GatewayBehaviour::Normal;
    int lengthField = 0;   // GatewayBehaviour::LengthField: the value sent as N
    int answerDelayMs = 0; // before answering a read request
    // How long the gateway answers nothing after adopting a setup with another master key or another
    // fixed address.
    int restartDelayMs = 1000;
    // GatewayBehaviour::LongRestart: the restart after every acknowledged setup.
    int longRestartMs = 60000;

    // 7C3E9A15D2084BF6E1A05C93D76F2B48
    static MasterKey defaultMasterKey();
    // The key a WrongKey gateway uses instead of its own: every byte of it inverted.
    static MasterKey otherMasterKey(const MasterKey& key);

    // A gateway with the default master key and a plausible record: fixed address (last octet taken
    // from the listening address), router, mask, DNS and NTP, server name and port 4711, hourly
    // reports, T mode, three radio IDs, manufacturer codes QLB/QLC/QLD/QLE, media 7/6/4/2 with all
    // filters on, firmware 1.4.12, the gateway's master key and ID, and non-zero reserved bytes so
    // that tests can see them carried.
    static SimulatedGateway makeDefault(const QHostAddress& address, const GatewayId& id);
};
