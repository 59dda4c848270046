#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <memory>
#include <optional>

using Block = std::array<quint8, 16>;
using MasterKey = std::array<quint8, 16>;
using KeyMaterial = std::array<quint8, 4>;
using GatewayIdBytes = std::array<quint8, 3>;

// AES-128 single-block encryption and decryption (ECB, no padding), owned RAII: OpenSSL on Linux,
// the system's CNG (bcrypt) on Windows.
// CBC chaining and padding are ours (TelegramCipher).
class AesBlockCipher final
{
public:
    // Fails when the cipher library cannot set up the key (no AES-128, or no memory).
    static Result<std::shared_ptr<const AesBlockCipher>> create(const Block& key);
    ~AesBlockCipher();
    AesBlockCipher(const AesBlockCipher&) = delete;
    AesBlockCipher& operator=(const AesBlockCipher&) = delete;

    Block encrypt(const Block& in) const;
    Block decrypt(const Block& in) const;

private:
    AesBlockCipher();
    struct Contexts;
    std::unique_ptr<Contexts> m_ctx;
};

// Key and chain of one exchange. Every exchange derives its own, so exchanges can run side by side.
class TelegramCipher final
{
public:
    // DeriveTelegramKey: key and IV from the gateway's key material P0..P3 (telegram bytes 6..9),
    // its identifier Q0..Q2 (bytes 3..5) and the shared master key.
    static Result<TelegramCipher> DeriveTelegramKey(const KeyMaterial& p, const GatewayIdBytes& q, const MasterKey& m);

    // A chain with a given key and IV (known-answer tests of the CBC chaining).
    static Result<TelegramCipher> fromKeyAndIv(const Block& key, const Block& iv);

    const Block& key() const { return m_key; }
    const Block& chain() const { return m_chain; }

    // EncryptTelegram: span[0] is overwritten by the pad count p (1..16), p bytes 0x2F are appended
    // (so a span of a whole number of blocks gets a full pad block), and the n + p bytes are encrypted
    // in place (CBC). Returns p. Not PKCS#7.
    quint8 EncryptTelegram(QByteArray& span);
    // Plain CBC over whole blocks in place (size must be a multiple of 16); continues the chain.
    void encryptBlocks(QByteArray& blocks);
    // Plain CBC decryption of the n div 16 whole blocks at source; continues the chain.
    QByteArray decryptBlocks(const char* source, qsizetype n);
    // DecryptTelegram: decrypts n div 16 whole blocks (trailing bytes ignored). The plain blocks come
    // back only when plain byte 1 is 0xAA and byte 2 is 0x55, i.e. both sides share the master key.
    std::optional<QByteArray> DecryptTelegram(const char* source, qsizetype n);
    std::optional<QByteArray> DecryptTelegram(const QByteArray& source)
    {
        return DecryptTelegram(source.constData(), source.size());
    }

private:
    TelegramCipher(const Block& key, const Block& iv, std::shared_ptr<const AesBlockCipher> aes);
    Block m_key{};
    Block m_chain{};
    std::shared_ptr<const AesBlockCipher> m_aes;
};
