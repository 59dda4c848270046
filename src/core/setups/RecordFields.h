#pragma once

#include "GWSetupRecord.h"
#include "base/Result.h"

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

// The fields a template can give a fleet, in groups as the template dialog offers them. The first
// three are what a template gives unless told otherwise; filters and the radio-ID list are each
// gateway's own until named, so one gateway's meter list never reaches the others by chance.
enum class FieldGroup
{
    Server,             // SRV_DNS, PORT
    Interval,           // SOFORT, PROH, PROTAG, PROMONAT
    RadioMode,          // MODET (MODES is its inverse)
    ManufacturerFilter, // FILTER_HERSTELLER, FILTER_HS0..3
    MediumFilter,       // FILTER_MEDIUM, FILTER_MC0..3
    RadioIdList,        // FILTER_IDS, the section WM-BUS_IDS
};
struct FieldGroupInfo
{
    FieldGroup group;
    QString name;           // "Server", "Intervall", "Funkmodus", "Hersteller-Filter", ...
    QStringList fieldNames; // "NETZWERK/SRV_DNS", ...
    bool byDefault;
};
const QList<FieldGroupInfo>& fieldGroups();
const FieldGroupInfo& fieldGroup(FieldGroup group);
QList<RecordField> groupFields(FieldGroup group);
// The fields of the groups given by default.
QList<RecordField> defaultFleetFields();

// "NETZWERK/PORT,Server,WM-BUS_IDS": field names and group names (case-insensitive), each field
// once, in the file's order. A name that is neither is refused, naming it; so is a list naming none.
Result<QList<RecordField>> parseFieldList(const QString& text);

// The keys a setup file must hold for fields to be taken from it, as "SECTION/KEY" (a whole section
// as its name). MODES is not read (MODET decides), so it is never required.
QStringList requiredKeys(const QList<RecordField>& fields);

// The setup dialog's label of a field of the setup file ("Server Port" for NETZWERK/PORT,
// "Verbindungsintervall" for each of the four interval keys, "Funk-IDs" for WM-BUS_IDS), so the
// command line and the window's tables name a field as the user knows it from the dialog. Empty
// for a name the dialog does not show.
QString fieldLabel(const QString& section, const QString& key);
