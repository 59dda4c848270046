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

// One change between two setups in the user's words: the dialog's label and the values as the dialog
// shows them. The four interval keys make one change, so do MODET and MODES, and so does the
// radio-ID list (the IDs added and removed, whatever slots they are in).
struct FieldChange
{
    QString label;       // "Server Port", "Verbindungsintervall", "Funk-IDs", "Reservierte Bytes 18-21"
    QString from;        // "5035", "pro h"; the radio IDs removed, separated by blanks
    QString to;          // "7100", "pro Tag"; the radio IDs added
    QStringList keys;    // "NETZWERK/PORT", ...: the setup file's keys behind it
    bool idList = false; // from and to are the removed and the added radio IDs
    // "Server Port: 5035 → 7100", "Funk-IDs: +12345678 −23456789".
    QString text() const;
    // "Server Port: gesendet 7100, gelesen 5035" for a sent (from) and a read (to) setup.
    QString sentAndRead() const;
};

// What changes from the setup first to the setup second, in the record's order.
QList<FieldChange> describeChanges(const GWSetupRecord& first, const GWSetupRecord& second);
// The same from differences already found (compareRecords(first, second)).
QList<FieldChange> describeChanges(const GWSetupRecord& first, const GWSetupRecord& second,
                                   const QList<FieldDifference>& differences);

// "[NETZWERK] PORT: gesendet 5099, gelesen 5021" for a difference between a sent and a read setup.
QString sentAndRead(const FieldDifference& difference);
