// The device-list reader over arbitrary bytes.
#include "FuzzCheck.h"
#include "radioids/DeviceList.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const DeviceListImport import = parseDeviceList(bytes);
    check(import.ids.size() + import.skipped <= DeviceListImport::MaxDevices, "the walk is bounded");
    for (const QString& id : import.ids) {
        bool ok = false;
        const int value = id.toInt(&ok);
        check(ok && value >= 0 && id.size() <= 8, "every ID is storable");
        check(id == QString::number(value), "IDs carry no leading zeros");
    }
    const QString text = QString::fromUtf8(bytes.left(64));
    const int value = deviceListInteger(text, 7);
    (void)value;
    return 0;
}
