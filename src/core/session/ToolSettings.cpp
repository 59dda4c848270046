#include "ToolSettings.h"

#include "base/IniFile.h"
#include "base/SharedFolders.h"
#include "setups/FieldRules.h"
#include "setups/SetupFile.h"

#include <QFileInfo>

LinkSettings::LinkSettings() : masterKeyText(SetupKeys::DefaultMasterKey)
{}

ExchangeTimings LinkSettings::timings() const
{
    ExchangeTimings t;
    t.connectMs = connectTimeoutMs;
    t.verifyWindowMs = verifyTimeoutMs;
    return t;
}

Result<ToolSettings> loadToolSettings(const QString& path)
{
    const Result<IniFile> loaded = IniFile::load(path);
    if (!loaded)
        return Result<ToolSettings>::failure(loaded.message());
    const IniFile& ini = *loaded;
    using namespace SettingsKeys;
    ToolSettings s;
    s.window.top = ini.readInteger(Window, QStringLiteral("TOP"), s.window.top);
    s.window.left = ini.readInteger(Window, QStringLiteral("LEFT"), s.window.left);
    s.window.width = ini.readInteger(Window, QStringLiteral("WIDTH"), s.window.width);
    s.window.height = ini.readInteger(Window, QStringLiteral("HEIGHT"), s.window.height);

    LinkSettings& l = s.link;
    l.masterKeyText = ini.readString(Tcp, SettingsKeys::MasterKey, l.masterKeyText);
    l.port = quint16(FieldRules::PortRange.clamped(ini.readInteger(Tcp, Port, l.port)));
    l.parallel = FieldRules::ParallelRange.clamped(ini.readInteger(Tcp, Parallel, l.parallel));
    l.connectTimeoutMs =
        FieldRules::ConnectTimeoutMsRange.clamped(ini.readInteger(Tcp, ConnectTimeout, l.connectTimeoutMs));
    l.verifyTimeoutMs =
        FieldRules::VerifyTimeoutMsRange.clamped(ini.readInteger(Tcp, VerifyTimeout, l.verifyTimeoutMs));
    return s;
}

Status storeMasterKeyText(const QString& path, const QString& text)
{
    Result<IniFile> loaded = IniFile::load(path);
    if (!loaded)
        return Status::failure(loaded.message());
    const Status written = loaded->writeString(SettingsKeys::Tcp, SettingsKeys::MasterKey, text);
    if (!written)
        return written;
    const Status folder = SharedFolders::ensureFolder(QFileInfo(path).absolutePath());
    if (!folder)
        return folder;
    return loaded->save();
}

Result<MasterKey> LinkSettings::masterKeyFromText(const QString& text, bool showGiven)
{
    if (const auto key = FieldRules::masterKey(text))
        return *key;
    const QString rule = QStringLiteral("Der Master Key muss aus genau 32 Hex-Ziffern (0-9, A-F) bestehen");
    return Result<MasterKey>::failure(showGiven ? rule + QStringLiteral(": ") + text : rule + QLatin1Char('.'));
}
