#include "SetupForm.h"

#include "FieldRules.h"
#include "SetupConversion.h"
#include "SetupFile.h"

#include "base/IniFile.h"
#include "base/SharedFolders.h"

namespace SetupForm {

IdPairs IdPairs::of(const GatewayId& id)
{
    return {QString::asprintf("%.2X", id.bytes[0]), QString::asprintf("%.2X", id.bytes[1]),
            QString::asprintf("%.2X", id.bytes[2])};
}

Result<std::optional<SetupFormValues>> load(const QString& path, const IdPairs& ids)
{
    // A link, a FIFO or a folder in the file's place is named by the loader, never read through.
    const Result<IniFile> ini = IniFile::load(path);
    if (!ini)
        return Result<std::optional<SetupFormValues>>::failure(ini.message());
    if (!ini->existedOnLoad())
        return std::optional<SetupFormValues>();
    SetupFormValues values;
    loadSetupFormValues(*ini, ids.id2, ids.id1, ids.id0, values);
    return std::optional<SetupFormValues>(values);
}

GatewayId fileId(const SetupFormValues& values)
{
    GatewayId id;
    id.bytes = {FieldRules::hexPair(values.gwId2).value_or(0), FieldRules::hexPair(values.gwId1).value_or(0),
                FieldRules::hexPair(values.gwId0).value_or(0)};
    return id;
}

Result<QString> save(const QString& folder, const SetupFormValues& values, const QDateTime& now)
{
    if (const Status valid = validateSetupForm(values); !valid)
        return Result<QString>::failure(valid.message());
    if (const Status made = SharedFolders::ensureFolder(folder); !made)
        return Result<QString>::failure(made.message());
    const QString path = SetupFilePath(folder, fileId(values));
    Result<IniFile> ini = IniFile::load(path);
    if (!ini)
        return Result<QString>::failure(ini.message());
    if (const Status written = writeSetupForm(ini.value(), values, now); !written)
        return Result<QString>::failure(written.message());
    if (const Status saved = ini.value().save(); !saved)
        return Result<QString>::failure(saved.message());
    return path;
}

Result<QList<FieldDifference>> fileDifferences(const GWSetupRecord& reported, const QString& folder,
                                               const GatewayId& fileId)
{
    GWSetupRecord file = reported;
    if (const Status converted = SetupFileToRecord(folder, fileId, file); !converted)
        return Result<QList<FieldDifference>>::failure(converted.message());
    return compareRecords(reported, file);
}

} // namespace SetupForm
