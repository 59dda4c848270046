#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <memory>

using Block = std::array<quint8, 16>;
using MasterKey = std::array<quint8, 16>;
using KeyMaterial = std::array<quint8, 4>;
using GatewayIdBytes = std::array<quint8, 3>;

// AES-128 single-block encryption and decryption from OpenSSL (ECB, no padding), owned RAII.
// CBC chaining and padding are ours (TelegramCipher).
class AesBlockCipher final
{
public:
    explicit AesBlockCipher(const Block& key);
    ~AesBlockCipher();
    AesBlockCipher(const AesBlockCipher&) = delete;
    AesBlockCipher& operator=(const AesBlockCipher&) = delete;

    Block encrypt(const Block& in) const;
    Block decrypt(const Block& in) const;

private:
    struct Contexts;
    std::unique_ptr<Contexts> m_ctx;
};

// Key and chain of one exchange. Every exchange derives its own, so exchanges can run side by side.
class TelegramCipher final
{
public:
    // DeriveTelegramKey: key and IV from the gateway's key material P0..P3 (telegram bytes 6..9),
    // its identifier Q0..Q2 (bytes 3..5) and the shared master key.
    static TelegramCipher DeriveTelegramKey(const KeyMaterial& p, const GatewayIdBytes& q, const MasterKey& m);

    // A chain with a given key and IV (known-answer tests of the CBC chaining).
    static TelegramCipher fromKeyAndIv(const Block& key, const Block& iv) { return TelegramCipher(key, iv); }

    const Block& key() const { return m_key; }
    const Block& chain() const { return m_chain; }

    // EncryptTelegram: span[0] is overwritten by the pad count p (1..16), p bytes 0x2F are appended
    // (so a span of a whole number of blocks gets a full pad block), and the n + p bytes are encrypted
    // in place (CBC). Returns p. Not PKCS#7.
    quint8 EncryptTelegram(QByteArray& span);
    // DecryptTelegram: decrypts size div 16 whole blocks (trailing bytes ignored) and returns them in
    // plain; true when plain byte 1 is 0xAA and byte 2 is 0x55 (the two sides share the master key).
    // Plain CBC over whole blocks in place (size must be a multiple of 16); continues the chain.
    void encryptBlocks(QByteArray& blocks);
    bool DecryptTelegram(const QByteArray& source, QByteArray& plain);
    bool DecryptTelegram(const char* source, qsizetype n, QByteArray& plain);

private:
    TelegramCipher(const Block& key, const Block& iv);
    Block m_key{};
    Block m_chain{};
    std::shared_ptr<AesBlockCipher> m_aes;
};
