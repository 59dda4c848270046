#pragma once

#include "GWSetupRecord.h"

#include <QList>
#include <QString>

#include <optional>

// The fields of the record that a setup file names, as bytes or as one flag bit, so that named
// fields can be carried from one record into another (a template into a gateway's own setup).
struct RecordField
{
    QString section;
    QString key; // empty for a whole section (WM-BUS_IDS: the radio-ID list)
    int offset = 0;
    int size = 0; // bytes; 0 for a flag bit
    quint8 bit = 0;

    QString name() const; // "NETZWERK/PORT", "WM-BUS_IDS"
    void copy(const GWSetupRecord& from, GWSetupRecord& to) const;
};

// Every field a setup file names, in the file's order. The gateway ID is not among them: it is the
// gateway's own, as are the reserved bytes and the firmware version.
const QList<RecordField>& recordFields();

// A field by its name "SECTION/KEY" (or "WM-BUS_IDS"), case-insensitive.
std::optional<RecordField> recordField(const QString& name);

// What a template gives every gateway of a fleet unless told otherwise: the server name and port,
// the reporting interval, the radio mode, the three filters with their codes and the radio-ID list.
QStringList fleetFieldNames();
