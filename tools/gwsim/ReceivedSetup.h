#pragma once

#include "setups/GWSetupRecord.h"
#include "setups/GatewayId.h"

#include <QByteArray>
#include <QHostAddress>
#include <QMetaType>

// A setup telegram that a simulated gateway received in a write exchange.
struct ReceivedSetup
{
    QHostAddress address; // the gateway's listening address
    GatewayId gatewayId;  // the receiving gateway's ID (the telegram itself carries none)
    // Complete (1123 bytes), length field 1123, type 0x14, and decrypted under the exchange's key to
    // pad count 1, AA 55, the record and the pad byte 0x2F.
    bool wellFormed = false;
    GWSetupRecord record;   // bytes 3..1118 of the decrypted body when wellFormed, else all zero
    QByteArray rawTelegram; // as received: 1123 bytes, or fewer when the peer closed early
};

Q_DECLARE_METATYPE(ReceivedSetup)
