#include "SetupFile.h"

QString SetupFilePath(const QString& folder, const GatewayId& id)
{
    return folder + QStringLiteral("SETUPGW_") + id.fileNamePart() + QStringLiteral(".GWINI");
}
