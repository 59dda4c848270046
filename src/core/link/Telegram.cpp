#include "Telegram.h"

namespace Telegram {

QByteArray ReadSetupRequest()
{
    return QByteArray::fromRawData("\x03\x00\x37\x00", 4);
}

QByteArray WriteSetupRequest()
{
    return QByteArray::fromRawData("\x03\x00\x41\x00", 4);
}

Result<QByteArray> BuildSetupTelegram(const GWSetupRecord& record, const KeyMaterial& p, const GatewayIdBytes& q,
                                      const MasterKey& masterKey)
{
    Result<TelegramCipher> cipher = TelegramCipher::DeriveTelegramKey(p, q, masterKey);
    if (!cipher)
        return Result<QByteArray>::failure(cipher.message());
    // Span: pad-count placeholder, marker AA 55, record (1119 bytes, padded to 1120).
    QByteArray span;
    span.reserve(GWSetupRecord::Size + 3 + 16);
    span.append(char(0x00)).append(char(0xAA)).append(char(0x55));
    span.append(record.toByteArray());
    const quint8 pad = cipher->EncryptTelegram(span);
    const int n = GWSetupRecord::Size + 6 + pad; // 1123
    QByteArray telegram;
    telegram.reserve(n);
    telegram.append(char(n >> 8)).append(char(n & 0xFF)).append(char(SetupType));
    telegram.append(span);
    return telegram;
}

static int lengthField(const QByteArray& received)
{
    return (quint8(received[0]) << 8) | quint8(received[1]);
}

FrameState answerState(const QByteArray& received)
{
    if (received.size() < 2)
        return FrameState::Incomplete;
    const int n = lengthField(received);
    if (n < HeaderSize || n > MaxAnswer)
        return FrameState::Bad;
    return received.size() >= n ? FrameState::Complete : FrameState::Incomplete;
}

Answer decodeAnswer(const QByteArray& received, const MasterKey& masterKey)
{
    Answer a;
    if (received.size() < HeaderSize)
        return a;
    a.length = lengthField(received);
    a.type = quint8(received[2]);
    for (int i = 0; i < 3; ++i)
        a.gatewayId.bytes[i] = quint8(received[3 + i]);
    for (int i = 0; i < 4; ++i)
        a.keyMaterial[i] = quint8(received[6 + i]);

    // A length field that cannot describe an answer, or a body without one whole block, carries
    // nothing to decode: such an answer is counted but not listed.
    if (a.length < HeaderSize + 16 || a.length > MaxAnswer)
        return a;
    if (received.size() < a.length) {
        a.kind = Answer::Kind::Incomplete; // cut off: what came cannot be trusted to be the gateway's setup
        return a;
    }
    Result<TelegramCipher> cipher = TelegramCipher::DeriveTelegramKey(a.keyMaterial, a.gatewayId.bytes, masterKey);
    if (!cipher) {
        a.kind = Answer::Kind::NoCipher;
        return a;
    }
    std::optional<QByteArray> body = cipher->DecryptTelegram(received.constData() + HeaderSize, a.length - HeaderSize);
    if (!body) {
        a.kind = Answer::Kind::WrongKey;
        return a;
    }
    a.body = std::move(*body);
    if (a.type == SetupType && a.body.size() >= 3 + GWSetupRecord::Size) {
        a.record = *GWSetupRecord::fromRaw(a.body.mid(3, GWSetupRecord::Size));
        a.kind = Answer::Kind::Setup;
    } else {
        a.kind = Answer::Kind::OtherType;
    }
    return a;
}

std::optional<AnswerHeader> writeAnswerHeader(const QByteArray& received)
{
    if (received.size() < HeaderSize)
        return std::nullopt;
    AnswerHeader h;
    for (int i = 0; i < 3; ++i)
        h.gatewayId.bytes[i] = quint8(received[3 + i]);
    for (int i = 0; i < 4; ++i)
        h.keyMaterial[i] = quint8(received[6 + i]);
    return h;
}

} // namespace Telegram
