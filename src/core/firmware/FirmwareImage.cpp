#include "FirmwareImage.h"

#include "base/SharedFolders.h"

#include <QFileInfo>

Result<FirmwareImage> PrepareFirmwareImage()
{
    const QString folder = SharedFolders::firmware();
    const Status created = SharedFolders::ensureFolder(folder);
    if (!created)
        return Result<FirmwareImage>::failure(created.message());
    FirmwareImage image;
    const QString candidate = folder + FirmwareImage::fileName();
    if (QFileInfo(candidate).isFile()) {
        image.path = candidate;
        image.present = true;
    }
    return image;
}
