#pragma once

#include "GatewayBehaviour.h"

#include "link/TelegramCipher.h"
#include "setups/GWSetupRecord.h"
#include "setups/GatewayId.h"

#include <QHostAddress>
#include <QMetaType>

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
    int splitPauseMs = 200;       // Split: between the two parts of the answer
    int byteIntervalMs = 1;       // ByteWise: between two bytes (0: every pass of the event loop)
    int trickleIntervalMs = 1000; // Trickle: between two bytes
    int resetPauseMs = 100;       // ResetMidFrame: between the half answer and the reset
    // LateAck: from the setup telegram to the acknowledgement, just after the tool's whole
    // acknowledgement window (ExchangeTimings::ackWindowMs).
    int lateAckMs = 3500;

    // 7C3E9A15D2084BF6E1A05C93D76F2B48
    static MasterKey defaultMasterKey();
    // The key a WrongKey gateway uses instead of its own: every byte of it inverted.
    static MasterKey otherMasterKey(const MasterKey& key);

    // A gateway with the default master key and a plausible record: DHCP off with the listening
    // address as its fixed address (DHCP on for an IPv6 address), router, mask, DNS and NTP, server name and port 4711,
    // hourly reports, T mode, three radio IDs, manufacturer codes QLB/QLC/QLD/QLE, media 7/6/4/2 with all filters on,
    // firmware 1.4.12, the gateway's master key and ID, and non-zero reserved bytes so that tests can see them carried.
    static SimulatedGateway makeDefault(const QHostAddress& address, const GatewayId& id);

    // Every delay divided by divisor (at least 1 ms each; the byte-wise pace may reach 0), for tests
    // that scale the tool's waits with ExchangeTimings::scaledDown by the same divisor.
    SimulatedGateway scaledDown(int divisor) const;
};

Q_DECLARE_METATYPE(SimulatedGateway)
