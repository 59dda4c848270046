#pragma once

#include "base/Result.h"

#include <QString>

// Whether a new firmware image lies in the shared firmware folder. The image itself is never read.
struct FirmwareImage
{
    static QString fileName() { return QStringLiteral("NewSoftwareGW.bin"); }

    QString path; // folder + "NewSoftwareGW.bin" when present, else empty
    bool present = false;
};

// Creates the firmware folder (with every missing parent) and looks for the image in it. A folder
// that cannot be created is a failure whose message is the folder path alone.
Result<FirmwareImage> PrepareFirmwareImage();
