#pragma once

#include "base/Result.h"
#include "link/ScanEngine.h"

#include <QList>
#include <QString>

// Segments in none of the PC's own networks that the user has confirmed for scanning, kept in the
// settings file as [TCP] CONFIRMEDSEGMENTS=203.0.113,198.51.100 so that each is asked for once.
namespace ConfirmedSegments {

inline const QString Key = QStringLiteral("CONFIRMEDSEGMENTS");

// The segments the file names; entries that are no segment are left out. Empty when the file is
// missing or cannot be read.
QList<Segment> read(const QString& settingsPath);
// Adds segment to the file's list (once), keeping every other line of the file; creates the file
// and its folder when missing.
Status remember(const QString& settingsPath, const Segment& segment);

} // namespace ConfirmedSegments
