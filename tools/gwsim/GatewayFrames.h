#pragma once

#include "link/TelegramCipher.h"
#include "setups/GWSetupRecord.h"
#include "setups/GatewayId.h"

#include <QByteArray>

#include <optional>

// Frames as a gateway writes and reads them. Header numbers are big-endian.
namespace GatewayFrames {

constexpr quint8 OtherAnswerType = 0x15;
constexpr quint8 Nak = 0x15;

// N (2), type, id (3), key material (4), then EncryptTelegram over [placeholder, AA, 55, payload].
// An empty payload gives one block and N = 26; a record gives 1120 bytes and N = 1130.
QByteArray answer(quint8 type, const GatewayId& id, const KeyMaterial& material, const MasterKey& masterKey,
                  const QByteArray& payload);

// Checks a setup telegram from the tool against the key derived from what the gateway sent: at least
// 1123 bytes, length field 1123, type 0x14, decrypted pad count 1, AA 55 and pad byte 0x2F. The
// record is returned only when all of that holds.
std::optional<GWSetupRecord> readSetupTelegram(const QByteArray& telegram, const GatewayId& id,
                                               const KeyMaterial& material, const MasterKey& masterKey);

} // namespace GatewayFrames
