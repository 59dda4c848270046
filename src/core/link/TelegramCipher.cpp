#include "TelegramCipher.h"

#ifdef Q_OS_WIN
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#else
#include <openssl/evp.h>
#endif

namespace {

QString aesUnavailable()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Die AES-128-Verschlüsselung steht nicht zur Verfügung (Windows CNG).");
#else
    return QStringLiteral("Die AES-128-Verschlüsselung steht nicht zur Verfügung (OpenSSL).");
#endif
}

} // namespace

#ifdef Q_OS_WIN

// The system's AES (Cryptography API: Next Generation), ECB over one block, no padding.
struct AesBlockCipher::Contexts
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    ~Contexts()
    {
        if (key)
            BCryptDestroyKey(key);
        if (algorithm)
            BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

AesBlockCipher::AesBlockCipher() : m_ctx(std::make_unique<Contexts>())
{}

Result<std::shared_ptr<const AesBlockCipher>> AesBlockCipher::create(const Block& key)
{
    std::shared_ptr<AesBlockCipher> aes(new (std::nothrow) AesBlockCipher());
    Contexts* c = aes ? aes->m_ctx.get() : nullptr;
    const auto ok = [](NTSTATUS status) { return status >= 0; };
    if (!c || !ok(BCryptOpenAlgorithmProvider(&c->algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0)) ||
        !ok(BCryptSetProperty(c->algorithm, BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                              sizeof(BCRYPT_CHAIN_MODE_ECB), 0)) ||
        !ok(BCryptGenerateSymmetricKey(c->algorithm, &c->key, nullptr, 0, const_cast<PUCHAR>(key.data()),
                                       ULONG(key.size()), 0)))
        return Result<std::shared_ptr<const AesBlockCipher>>::failure(aesUnavailable());
    return std::shared_ptr<const AesBlockCipher>(std::move(aes));
}

AesBlockCipher::~AesBlockCipher() = default;

Block AesBlockCipher::encrypt(const Block& in) const
{
    Block out{};
    ULONG len = 0;
    BCryptEncrypt(m_ctx->key, const_cast<PUCHAR>(in.data()), ULONG(in.size()), nullptr, nullptr, 0, out.data(),
                  ULONG(out.size()), &len, 0);
    return out;
}

Block AesBlockCipher::decrypt(const Block& in) const
{
    Block out{};
    ULONG len = 0;
    BCryptDecrypt(m_ctx->key, const_cast<PUCHAR>(in.data()), ULONG(in.size()), nullptr, nullptr, 0, out.data(),
                  ULONG(out.size()), &len, 0);
    return out;
}

#else

#include <openssl/evp.h>

struct AesBlockCipher::Contexts
{
    EVP_CIPHER_CTX* enc = nullptr;
    EVP_CIPHER_CTX* dec = nullptr;
    ~Contexts()
    {
        EVP_CIPHER_CTX_free(enc);
        EVP_CIPHER_CTX_free(dec);
    }
};

AesBlockCipher::AesBlockCipher() : m_ctx(std::make_unique<Contexts>())
{}

Result<std::shared_ptr<const AesBlockCipher>> AesBlockCipher::create(const Block& key)
{
    std::shared_ptr<AesBlockCipher> aes(new (std::nothrow) AesBlockCipher());
    Contexts* c = aes ? aes->m_ctx.get() : nullptr;
    if (c) {
        c->enc = EVP_CIPHER_CTX_new();
        c->dec = EVP_CIPHER_CTX_new();
    }
    if (!c || !c->enc || !c->dec || EVP_EncryptInit_ex(c->enc, EVP_aes_128_ecb(), nullptr, key.data(), nullptr) != 1 ||
        EVP_DecryptInit_ex(c->dec, EVP_aes_128_ecb(), nullptr, key.data(), nullptr) != 1)
        return Result<std::shared_ptr<const AesBlockCipher>>::failure(aesUnavailable());
    EVP_CIPHER_CTX_set_padding(c->enc, 0);
    EVP_CIPHER_CTX_set_padding(c->dec, 0);
    return std::shared_ptr<const AesBlockCipher>(std::move(aes));
}

AesBlockCipher::~AesBlockCipher() = default;

Block AesBlockCipher::encrypt(const Block& in) const
{
    Block out{};
    int len = 0;
    EVP_EncryptUpdate(m_ctx->enc, out.data(), &len, in.data(), int(in.size()));
    return out;
}

Block AesBlockCipher::decrypt(const Block& in) const
{
    Block out{};
    int len = 0;
    EVP_DecryptUpdate(m_ctx->dec, out.data(), &len, in.data(), int(in.size()));
    return out;
}

#endif

TelegramCipher::TelegramCipher(const Block& key, const Block& iv, std::shared_ptr<const AesBlockCipher> aes)
    : m_key(key), m_chain(iv), m_aes(std::move(aes))
{}

Result<TelegramCipher> TelegramCipher::fromKeyAndIv(const Block& key, const Block& iv)
{
    auto aes = AesBlockCipher::create(key);
    if (!aes)
        return Result<TelegramCipher>::failure(aes.message());
    return TelegramCipher(key, iv, std::move(aes.value()));
}

Result<TelegramCipher> TelegramCipher::DeriveTelegramKey(const KeyMaterial& p, const GatewayIdBytes& q,
                                                         const MasterKey& m)
{
    const quint32 d = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    // "d >> n" keeps the low 8 bits of the shifted value.
    const auto s = [d](int n) { return quint8((d >> n) & 0xFF); };
    const Block iv = {p[2], p[3], p[2], p[3], s(7), s(11), q[0], q[2], p[2], p[2], p[2], q[0], q[0], p[2], q[1], q[0]};
    Block key = {p[2], q[0], q[2], q[1], s(7), s(1), s(2), s(11), p[3], s(1), s(5), s(13), s(6), p[3], p[3], s(3)};
    for (int i = 0; i < 16; ++i)
        key[i] ^= m[i];
    key[5] ^= p[2];
    return fromKeyAndIv(key, iv);
}

quint8 TelegramCipher::EncryptTelegram(QByteArray& span)
{
    const qsizetype n = span.size();
    const quint8 pad = quint8(16 - (n % 16));
    span.append(QByteArray(pad, char(0x2F)));
    span[0] = char(pad);
    encryptBlocks(span);
    return pad;
}

void TelegramCipher::encryptBlocks(QByteArray& span)
{
    for (qsizetype off = 0; off + 16 <= span.size(); off += 16) {
        Block block;
        for (int i = 0; i < 16; ++i)
            block[i] = quint8(span[off + i]) ^ m_chain[i];
        m_chain = m_aes->encrypt(block);
        for (int i = 0; i < 16; ++i)
            span[off + i] = char(m_chain[i]);
    }
}

QByteArray TelegramCipher::decryptBlocks(const char* source, qsizetype n)
{
    const qsizetype blocks = n > 0 ? n / 16 : 0;
    QByteArray plain(blocks * 16, Qt::Uninitialized);
    for (qsizetype b = 0; b < blocks; ++b) {
        Block in;
        for (int i = 0; i < 16; ++i)
            in[i] = quint8(source[b * 16 + i]);
        const Block out = m_aes->decrypt(in);
        for (int i = 0; i < 16; ++i)
            plain[b * 16 + i] = char(out[i] ^ m_chain[i]);
        m_chain = in;
    }
    return plain;
}

std::optional<QByteArray> TelegramCipher::DecryptTelegram(const char* source, qsizetype n)
{
    QByteArray plain = decryptBlocks(source, n);
    // Too short to carry the marker: nothing decrypted means no proof of a shared key.
    if (plain.size() < 3 || quint8(plain[1]) != 0xAA || quint8(plain[2]) != 0x55)
        return std::nullopt;
    return plain;
}
