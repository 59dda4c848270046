// Answer decoding from raw bytes, and the setup telegram built from a record made of the input.
#include "FuzzCheck.h"
#include "link/Telegram.h"

#include <cstdlib>
#include <cstring>

namespace {

MasterKey key()
{
    MasterKey k{};
    const char* hex = "7C3E9A15D2084BF6E1A05C93D76F2B48";
    for (int i = 0; i < 16; ++i)
        k[i] = quint8(QByteArray(hex + 2 * i, 2).toUInt(nullptr, 16));
    return k;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const MasterKey masterKey = key();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const Telegram::FrameState state = Telegram::answerState(bytes);
    if (bytes.size() >= 2) {
        const int n = (quint8(bytes[0]) << 8) | quint8(bytes[1]);
        const bool sane = n >= Telegram::HeaderSize && n <= Telegram::MaxAnswer;
        check((state == Telegram::FrameState::Bad) == !sane, "answerState Bad iff the length field is impossible");
        if (sane)
            check((state == Telegram::FrameState::Complete) == (bytes.size() >= n),
                  "answerState Complete iff N bytes are here");
    } else {
        check(state == Telegram::FrameState::Incomplete, "fewer than 2 bytes are incomplete");
    }

    const Telegram::Answer a = Telegram::decodeAnswer(bytes, masterKey);
    check(a.body.size() <= Telegram::MaxBody, "body within MaxBody");
    check(a.body.size() % 16 == 0, "body of whole blocks");
    check(a.body.size() <= qMax<qsizetype>(0, bytes.size() - Telegram::HeaderSize),
          "body not beyond the bytes received");
    if (a.kind == Telegram::Answer::Kind::Setup) {
        check(a.type == Telegram::SetupType, "a setup is type 20");
        check(a.length >= Telegram::MinSetupAnswer, "a setup answer holds a whole record");
        check(a.record.toByteArray() == a.body.mid(3, GWSetupRecord::Size), "record taken from the body");
    }
    if (a.kind != Telegram::Answer::Kind::NotDecodable)
        check(a.length >= Telegram::HeaderSize + 16 && a.length <= Telegram::MaxAnswer, "decoded only within 26..2106");
    if (a.kind == Telegram::Answer::Kind::Incomplete)
        check(bytes.size() < a.length && a.body.isEmpty(), "a cut answer is not decrypted");
    else if (a.kind != Telegram::Answer::Kind::NotDecodable)
        check(bytes.size() >= a.length, "a whole answer is decoded");

    // Round trip: record from the input, identifier and key material from its first bytes.
    QByteArray raw = bytes.left(GWSetupRecord::Size);
    raw.append(QByteArray(GWSetupRecord::Size - raw.size(), '\0'));
    const std::optional<GWSetupRecord> fromRaw = GWSetupRecord::fromRaw(raw);
    check(fromRaw.has_value(), "a record from 1116 bytes");
    const GWSetupRecord record = *fromRaw;
    KeyMaterial p{};
    GatewayIdBytes q{};
    for (int i = 0; i < 3; ++i)
        q[i] = quint8(raw[i]);
    for (int i = 0; i < 4; ++i)
        p[i] = quint8(raw[3 + i]);
    const Result<QByteArray> built = Telegram::BuildSetupTelegram(record, p, q, masterKey);
    check(built.ok(), "AES is there");
    const QByteArray telegram = built.value();
    check(telegram.size() == Telegram::SetupTelegramSize, "setup telegram is 1123 bytes");
    check(telegram.startsWith(QByteArray::fromHex("046314")), "setup telegram header 04 63 14");
    // The same encrypted span as a gateway's answer of N = 1130 decodes to the record again.
    QByteArray answer = QByteArray::fromHex("046a14");
    for (quint8 b : q)
        answer.append(char(b));
    for (quint8 b : p)
        answer.append(char(b));
    answer.append(telegram.mid(3));
    check(answer.size() == Telegram::MinSetupAnswer, "answer of 1130 bytes");
    const Telegram::Answer back = Telegram::decodeAnswer(answer, masterKey);
    check(back.kind == Telegram::Answer::Kind::Setup, "round trip decodes as a setup");
    check(back.record == record, "round trip keeps the record");
    check(back.body.size() == 1120 && quint8(back.body[0]) == 1 && quint8(back.body[1119]) == 0x2F,
          "pad count 1, pad 2F");
    return 0;
}
