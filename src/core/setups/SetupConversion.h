#pragma once

#include "GWSetupRecord.h"
#include "GatewayId.h"
#include "base/IniFile.h"
#include "base/Result.h"

#include <QList>
#include <QString>

#include <optional>

// One keyed value of a setup file as SetupRecordToFile writes it. text is the value itself, as
// IniFile::readString gives it back; the file holds it inside double quotes where reading would
// otherwise change it (IniFile::fileText).
struct SetupFileValue
{
    QString section;
    QString key;
    QString text;

    friend bool operator==(const SetupFileValue&, const SetupFileValue&) = default;
};

// Every value that the record's own bytes give a setup file, in the order SetupRecordToFile writes
// them: SOFTWARE V1..V3, the NETZWERK keys from SRV_DNS to MASTERKEY, WM-BUS, and one WM-BUS_IDS
// entry ID<slot> per slot that is not zero. Not listed: GETTIME (the time of the write) and
// GW_ID2..GW_ID0 (from the caller's gateway ID, not from the record).
QList<SetupFileValue> recordFileValues(const GWSetupRecord& record);

// Stores a record received from a gateway in that gateway's setup file in folder: rewrites every key
// it owns (GETTIME, GW_ID2..GW_ID0 from id, then recordFileValues()) and replaces the section
// WM-BUS_IDS; every other key and line of the file stays as it was, in the file's encoding.
// The file is written once, atomically; a failure (a link or a FIFO in the file's place, a text the
// file's encoding or a line cannot hold, a full disk) leaves the old file and names the reason.
[[nodiscard]] Status SetupRecordToFile(const QString& folder, const GatewayId& id, const GWSetupRecord& record);
// The same file as SetupRecordToFile would write it, not yet written (for a writer that stores
// many setups at once).
[[nodiscard]] Result<IniFile> SetupRecordToIni(const QString& folder, const GatewayId& id, const GWSetupRecord& record);

// Fills record from the gateway's setup file in folder. The gateway ID comes from id, not from the
// file; reserved bytes and the firmware version keep the record's values. Every value is taken
// exactly as FieldRules defines it; a key that is missing takes the conversion's default, a value
// that is present and not exact is refused. record is changed only when every value converted;
// otherwise it is untouched and the message names section, key and value.
[[nodiscard]] Status SetupFileToRecord(const QString& folder, const GatewayId& id, GWSetupRecord& record);

// The same conversion from a setup file already read (a template, the dialog's values in memory).
[[nodiscard]] Status SetupIniToRecord(const IniFile& ini, const GatewayId& id, GWSetupRecord& record);
