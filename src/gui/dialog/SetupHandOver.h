#pragma once

#include "setups/GWSetupRecord.h"

#include <QString>

// What the setup dialog needs of the main window to send a saved setup (implemented by TTelvaro).
class SetupHandOver
{
public:
    virtual ~SetupHandOver() = default;
    // The last record received in this run from that gateway (all zero if none); the record to send
    // starts from it so reserved bytes and firmware version go back to the gateway they came from.
    virtual GWSetupRecord lastReceivedRecord(const GatewayId& id) const = 0;
    // Disconnects what is connected and sends record to ip; expectedGwid is the list row's "0A.1B.2C".
    // The outcome message comes from the main window; on success it calls closeAfterTransfer() of the dialog.
    virtual void sendSetup(const GWSetupRecord& record, const QString& ip, const QString& expectedGwid) = 0;
};
