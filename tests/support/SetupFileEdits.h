#pragma once

#include "base/IniFile.h"

#include <QList>
#include <QString>

#include <utility>

// Changes keys of a setup file as another program or the user would, {"SECTION/KEY", value} each;
// every other line stays. False when the file cannot be read, changed or saved.
inline bool editSetupFile(const QString& path, const QList<std::pair<QString, QString>>& values)
{
    Result<IniFile> ini = IniFile::load(path);
    if (!ini)
        return false;
    for (const auto& [field, value] : values)
        if (!ini->writeString(field.section(QLatin1Char('/'), 0, 0), field.section(QLatin1Char('/'), 1), value))
            return false;
    return ini->save().ok();
}
