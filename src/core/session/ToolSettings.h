#pragma once

#include "base/Result.h"
#include "link/ExchangeTimings.h"
#include "link/TelegramCipher.h"
#include "setups/FieldRules.h"

#include <QString>

// Where the main window opens; the installer may set it by hand, the tool never writes it.
struct WindowPlacement
{
    int top = 10;
    int left = 10;
    int width = 500;
    int height = 550;
};

// How the tool talks to gateways: section [TCP] of the settings file, read by the window and the
// command line alike. Numbers outside their range (FieldRules) are brought into it.
struct LinkSettings
{
    static constexpr quint16 DefaultPort = 30;
    static constexpr int DefaultParallel = FieldRules::ParallelRange.max; // every address of a segment at once
    static constexpr int DefaultConnectTimeoutMs = 1000;
    static constexpr int DefaultVerifyTimeoutMs = 10000;

    QString masterKeyText; // as the file holds it (MASTERKEY), checked only when used
    quint16 port = DefaultPort;
    int parallel = DefaultParallel;
    int connectTimeoutMs = DefaultConnectTimeoutMs;
    int verifyTimeoutMs = DefaultVerifyTimeoutMs; // 0: no read-back after a transfer

    LinkSettings();
    // The waits of an exchange with these settings' connect time-out and read-back window.
    ExchangeTimings timings() const;
    // The master key text as the key the session uses; the failure names the rule, and the text given
    // when showGiven (the window has it in view in its own field).
    static Result<MasterKey> masterKeyFromText(const QString& text, bool showGiven = false);
};

struct ToolSettings
{
    WindowPlacement window;
    LinkSettings link;
};

namespace SettingsKeys {
inline const QString Window = QStringLiteral("WINDOW");
inline const QString Tcp = QStringLiteral("TCP");
inline const QString MasterKey = QStringLiteral("MASTERKEY");
inline const QString Port = QStringLiteral("PORT");
inline const QString Parallel = QStringLiteral("PARALLEL");
inline const QString ConnectTimeout = QStringLiteral("CONNECTTIMEOUT");
inline const QString VerifyTimeout = QStringLiteral("VERIFYTIMEOUT");
} // namespace SettingsKeys

// Reads the settings file. A missing file or key gives the defaults; a file that exists but cannot be
// read is a failure (its key must then not be overwritten on closing).
Result<ToolSettings> loadToolSettings(const QString& path);

// Writes MASTERKEY in [TCP] exactly as given, keeping every other line of the file; creates the
// file (and its folder) when missing.
Status storeMasterKeyText(const QString& path, const QString& text);
