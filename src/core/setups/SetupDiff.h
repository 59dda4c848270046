#pragma once

#include "GWSetupRecord.h"
#include "SetupFormValues.h"

#include <QList>
#include <QString>

// One field in which two setups differ, named as the setup file names it ([NETZWERK] PORT), with
// both values as the file writes them. Bytes without a key (gateway ID, reserved bytes) carry the
// record's own names.
struct FieldDifference
{
    QString section; // empty for bytes that no key holds
    QString key;
    QString first;  // the value of the first setup ("" when it has no such entry)
    QString second; // the value of the second

    // "[NETZWERK] PORT" or "Reservierte Bytes 18-21".
    QString name() const;
    friend bool operator==(const FieldDifference&, const FieldDifference&) = default;
};

// The name of the gateway ID's bytes in a difference (they have no key).
inline const QString GatewayIdField = QStringLiteral("Gateway ID");

// Field by field, every field of the record except the firmware version (the gateway reports its
// own): the keyed values as the setup file writes them, the radio-ID entries by slot, the gateway ID
// and the reserved bytes. In the record's order.
QList<FieldDifference> compareRecords(const GWSetupRecord& first, const GWSetupRecord& second);

// What a save of the dialog's values would change at a gateway that reported `reported`: the
// values converted as the save converts them, compared with it. Empty when the values cannot be
// converted (the save's checks will name them).
QList<FieldDifference> formDifferences(const GWSetupRecord& reported, const SetupFormValues& values);

// "[NETZWERK] PORT: gesendet 5099, gelesen 5021" for a difference between a sent and a read setup.
QString sentAndRead(const FieldDifference& difference);
// "[NETZWERK] PORT: 5021 -> 5099" for what a send of the file (second) would change at the gateway (first).
QString gatewayToFile(const FieldDifference& difference);
