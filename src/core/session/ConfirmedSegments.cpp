#include "ConfirmedSegments.h"

#include "ToolSettings.h"

#include "base/IniFile.h"
#include "base/SharedFolders.h"

#include <QFileInfo>

namespace ConfirmedSegments {

namespace {

QList<Segment> parse(const QString& text)
{
    QList<Segment> segments;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (const Result<Segment> segment = Segment::fromText(part.trimmed()); segment && !segments.contains(*segment))
            segments << *segment;
    return segments;
}

} // namespace

QList<Segment> read(const QString& settingsPath)
{
    const Result<IniFile> ini = IniFile::load(settingsPath);
    return ini ? parse(ini->readString(SettingsKeys::Tcp, Key)) : QList<Segment>();
}

Status remember(const QString& settingsPath, const Segment& segment)
{
    Result<IniFile> ini = IniFile::load(settingsPath);
    if (!ini)
        return Status::failure(ini.message());
    QList<Segment> segments = parse(ini->readString(SettingsKeys::Tcp, Key));
    if (segments.contains(segment))
        return {};
    segments << segment;
    QStringList texts;
    for (const Segment& s : std::as_const(segments))
        texts << s.text();
    if (const Status written = ini->writeString(SettingsKeys::Tcp, Key, texts.join(QLatin1Char(','))); !written)
        return written;
    if (const Status folder = SharedFolders::ensureFolder(QFileInfo(settingsPath).absolutePath()); !folder)
        return folder;
    return ini->save();
}

} // namespace ConfirmedSegments
