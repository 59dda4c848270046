#pragma once

#include "GatewayRow.h"
#include "link/ReadExchange.h"
#include "link/Telegram.h"

#include <optional>

// What one read of one address gave: how the exchange ended and what the answer means.
struct GatewayRead
{
    // How an address of a scan ended, for the counts that explain a scan.
    enum class Kind
    {
        Gateway,
        OtherKey,
        OtherType,
        Incomplete,
        Silent,
        Closed,
        Refused,
        Timeout
    };

    QHostAddress host;
    ReadExchange::Ending ending = ReadExchange::Ending::NoConnection;
    Telegram::Answer::Kind answer = Telegram::Answer::Kind::NotDecodable;
    GatewayId id;
    quint8 type = 0;
    std::optional<GWSetupRecord> record; // decrypted setup

    static GatewayRead decode(const ReadExchange::Outcome& outcome, const MasterKey& masterKey);

    bool answered() const { return ending == ReadExchange::Ending::Answered; }
    // Answers too short to carry a gateway ID are counted but not listed.
    bool listed() const { return answered() && answer != Telegram::Answer::Kind::NotDecodable; }
    Kind kind() const;
    // The list row of a listed read (state SetupStored for a setup; the caller stores it).
    GatewayRow row() const;

    // Why no setup may be sent to gateway `expected` at this address after this read (German, ending
    // in "es wurde nichts gesendet."), or success.
    Status sendable(const GatewayId& expected) const;
};

// The texts of the counts' keys: "gateway", "other-key", ... as the JSON report names them.
QString kindKey(GatewayRead::Kind kind);

Q_DECLARE_METATYPE(GatewayRead)
