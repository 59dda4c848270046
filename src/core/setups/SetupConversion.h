#pragma once

#include "GWSetupRecord.h"
#include "GatewayId.h"
#include "base/Result.h"

#include <QString>

#include <optional>

// Stores a record received from a gateway in that gateway's setup file in folder: rewrites every key
// it owns (GETTIME, GW_ID2..GW_ID0 from id, SOFTWARE, the network keys, the filters, the master key)
// and replaces the section WM-BUS_IDS; every other key and line of the file stays as it was.
// The file is written once, atomically; a failure leaves the old file and names the reason.
Status SetupRecordToFile(const QString& folder, const GatewayId& id, const GWSetupRecord& record);

// Fills record from the gateway's setup file in folder. The gateway ID comes from id, not from the
// file; reserved bytes and the firmware version keep the record's values. record is changed only when
// every value converted; otherwise it is untouched and the message names section, key and value.
Status SetupFileToRecord(const QString& folder, const GatewayId& id, GWSetupRecord& record);

// "192.168.001.010" -> C0 A8 01 0A. Each part a decimal integer 0..255 (leading zeros are decimal);
// a missing part repeats the last one ("10.1.2" -> 0A 01 02 02), parts after the fourth are ignored.
std::optional<GWSetupRecord::Address> ParseDottedQuad(const QString& text);
