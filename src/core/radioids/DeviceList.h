#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The radio IDs of a device list (*.route): an INI file in UTF-8 that names the houses of a site
// (section ROUTE, key HAUSER), the devices of each house (HAUS<i>, ANZS) and each device's radio ID
// (HAUS<i>_S<j>, RADIOID). Houses and devices are walked in ascending order; a device without a
// readable RADIOID counts as ID 1.
struct DeviceListImport
{
    // The walk ends after this many devices. Far beyond the 250 entries the list can hold, so a
    // file announcing billions of devices cannot keep the dialog busy.
    static constexpr int MaxDevices = 100000;

    QStringList ids;        // decimal, no leading zeros, in walk order; each one storable
    int skipped = 0;        // IDs that are negative or longer than 8 digits
    bool truncated = false; // the walk stopped at MaxDevices
};

// A missing file reads as an empty list. A file that cannot be read (a link, a FIFO, a folder, one
// above MaxImportFileBytes, no permission) fails with a German message naming the path.
Result<DeviceListImport> readDeviceListIds(const QString& path);

// The same walk over the bytes of a file.
DeviceListImport parseDeviceList(const QByteArray& bytes);

// The integer reading the device list uses: optional sign and decimal digits, or 0x and up to eight
// hexadecimal digits naming a 32-bit pattern (0xFFFFFFFF is -1). Anything else gives def.
int deviceListInteger(const QString& value, int def);
