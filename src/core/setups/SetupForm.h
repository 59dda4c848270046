#pragma once

#include "GWSetupRecord.h"
#include "GatewayId.h"
#include "SetupDiff.h"
#include "SetupFormValues.h"

#include "base/Result.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The setup dialog's form as the core keeps it: a gateway's setup file read into form values, form
// values written as a setup file, and what a file would change at a gateway. The dialog maps its
// controls to and from SetupFormValues and leaves files and keys to these functions.
namespace SetupForm {

// The gateway ID pairs that replace the file's own GW_ID keys when a gateway's file is opened; all
// three empty: the file's keys count.
struct IdPairs
{
    QString id2, id1, id0;
    static IdPairs of(const GatewayId& id);
};

// The file at path read with the dialog's defaults, every value of the form replaced. No value
// (and no failure) when nothing is at path; a failure naming the path when something other than a
// readable regular file stands there.
Result<std::optional<SetupFormValues>> load(const QString& path, const IdPairs& ids = {});

// The gateway whose file the values name: their three ID pairs. Expects values that passed
// setupFormProblems().
GatewayId fileId(const SetupFormValues& values);

// Writes values as the setup file of fileId(values) in folder, creating the folder when it is
// missing: SENDTIME from now, the keys of the form, the keys it does not hold kept as they were.
// Refuses values with problems (the first named) and writes nothing then. The path written.
Result<QString> save(const QString& folder, const SetupFormValues& values, const QDateTime& now);

// What sending the setup file of fileId in folder would change at a gateway that reported
// `reported`: the file converted over the reported record as a send converts it, field by field
// (first: the gateway, second: the file).
Result<QList<FieldDifference>> fileDifferences(const GWSetupRecord& reported, const QString& folder,
                                               const GatewayId& fileId);

} // namespace SetupForm
