#include "ToolSettings.h"

#include "base/IniFile.h"
#include "base/SharedFolders.h"
#include "setups/HexPair.h"
#include "setups/SetupFile.h"

#include <QFileInfo>

#include <algorithm>

LinkSettings::LinkSettings() : masterKeyText(SetupKeys::DefaultMasterKey)
{}

ExchangeTimings LinkSettings::timings() const
{
    ExchangeTimings t;
    t.connectMs = connectTimeoutMs;
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
    l.port = quint16(std::clamp(ini.readInteger(Tcp, Port, l.port), 1, 65535));
    l.parallel = std::clamp(ini.readInteger(Tcp, Parallel, l.parallel), 1, LinkSettings::DefaultParallel);
    l.connectTimeoutMs = std::clamp(ini.readInteger(Tcp, ConnectTimeout, l.connectTimeoutMs),
                                    LinkSettings::MinConnectTimeoutMs, LinkSettings::MaxConnectTimeoutMs);
    l.verifyTimeoutMs =
        std::clamp(ini.readInteger(Tcp, VerifyTimeout, l.verifyTimeoutMs), 0, LinkSettings::MaxVerifyTimeoutMs);
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
    if (const auto key = parseMasterKeyText(text))
        return *key;
    const QString rule = QStringLiteral("Der Master Key muss aus genau 32 Hex-Ziffern (0-9, A-F) bestehen");
    return Result<MasterKey>::failure(showGiven ? rule + QStringLiteral(": ") + text : rule + QLatin1Char('.'));
}
