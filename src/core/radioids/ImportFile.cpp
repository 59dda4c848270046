#include "ImportFile.h"

#include "base/RegularFile.h"

Result<std::optional<QByteArray>> readImportFile(const QString& path)
{
    return readRegularFile(path, MaxImportFileBytes);
}
