#include "GatewayFrames.h"

#include "link/Telegram.h"

namespace GatewayFrames {

QByteArray answer(quint8 type, const GatewayId& id, const KeyMaterial& material, const MasterKey& masterKey,
                  const QByteArray& payload)
{
    Result<TelegramCipher> cipher = TelegramCipher::DeriveTelegramKey(material, id.bytes, masterKey);
    if (!cipher)
        return QByteArray(); // no AES here: the simulated gateway answers nothing
    QByteArray span;
    span.reserve(3 + payload.size() + 16);
    span.append(char(0x00)).append(char(0xAA)).append(char(0x55)).append(payload);
    cipher->EncryptTelegram(span);
    const int n = Telegram::HeaderSize + int(span.size());
    QByteArray frame;
    frame.reserve(n);
    frame.append(char(n >> 8)).append(char(n & 0xFF)).append(char(type));
    for (quint8 b : id.bytes)
        frame.append(char(b));
    for (quint8 b : material)
        frame.append(char(b));
    frame.append(span);
    return frame;
}

std::optional<GWSetupRecord> readSetupTelegram(const QByteArray& telegram, const GatewayId& id,
                                               const KeyMaterial& material, const MasterKey& masterKey)
{
    constexpr int size = Telegram::SetupTelegramSize; // 1123: 3 clear bytes, 70 blocks
    if (telegram.size() < size)
        return std::nullopt;
    const int n = (quint8(telegram[0]) << 8) | quint8(telegram[1]);
    if (n != size || quint8(telegram[2]) != Telegram::SetupType)
        return std::nullopt;
    Result<TelegramCipher> cipher = TelegramCipher::DeriveTelegramKey(material, id.bytes, masterKey);
    if (!cipher)
        return std::nullopt;
    const std::optional<QByteArray> plain = cipher->DecryptTelegram(telegram.constData() + 3, size - 3);
    if (!plain || plain->size() != size - 3 || quint8(plain->at(0)) != 1 || quint8(plain->at(size - 4)) != 0x2F)
        return std::nullopt;
    return GWSetupRecord::fromRaw(plain->mid(3, GWSetupRecord::Size));
}

} // namespace GatewayFrames
