#pragma once

#include "TelegramCipher.h"
#include "setups/GWSetupRecord.h"

#include <QByteArray>

#include <optional>

// Telegram layout. Header numbers are big-endian:
//   0..1  N, total length including these two bytes
//   2     type: 20 (0x14) carries a setup record
//   3..5  gateway identifier Q0..Q2 (clear)
//   6..9  key material P0..P3 (clear; answers only)
//   10..  body, (N - 10) div 16 AES-128-CBC blocks
// Decrypted body: pad count, 0xAA, 0x55, for type 20 the 1116-byte record, pad bytes.
namespace Telegram {

constexpr quint8 SetupType = 0x14;
constexpr int HeaderSize = 10;
constexpr int MaxBody = 2096;                   // 131 blocks
constexpr int MaxAnswer = HeaderSize + MaxBody; // 2106
constexpr int SetupTelegramSize = 1123;
constexpr int MinSetupAnswer = HeaderSize + 1120; // 1130
constexpr quint8 Ack = 0x06;

QByteArray ReadSetupRequest();  // 03 00 37 00
QByteArray WriteSetupRequest(); // 03 00 41 00

// The 1123-byte setup telegram: 04 63 14, then encrypted [p, AA, 55, record, 2F] under the key derived
// from the answer to WriteSetupRequest.
Result<QByteArray> BuildSetupTelegram(const GWSetupRecord& record, const KeyMaterial& p, const GatewayIdBytes& q,
                                      const MasterKey& masterKey);

enum class FrameState
{
    Incomplete, // fewer bytes than the length field asks for (or fewer than 10)
    Complete,   // at least N bytes are here (bytes beyond N belong to no frame and are ignored)
    Bad,        // the length field cannot describe an answer (N < 10 or N > 2106)
};
// Decides from the bytes so far whether an answer is complete; never reads beyond them.
FrameState answerState(const QByteArray& received);

struct Answer
{
    enum class Kind
    {
        NotDecodable, // fewer than 10 bytes, a length field outside 26..2106: no gateway to list
        Incomplete,   // the header came, but fewer bytes than the length field announces
        WrongKey,     // the body did not decrypt (master keys differ, or body damaged)
        Setup,        // type 20 with a whole record
        OtherType,    // decrypted, but no record for us (type other than 20, or a type-20 body too short)
        NoCipher,     // AES could not be set up here; nothing was decrypted
    };
    Kind kind = Kind::NotDecodable;
    int length = 0; // N
    quint8 type = 0;
    GatewayId gatewayId;
    KeyMaterial keyMaterial{};
    QByteArray body;      // decrypted body, at most MaxBody bytes
    GWSetupRecord record; // Kind::Setup only

    bool listed() const { return kind != Kind::NotDecodable; }
};

// Decodes the bytes received for a read exchange. Pure; the body taken is bounded by the bytes
// received and by MaxBody, whatever the length field says.
Answer decodeAnswer(const QByteArray& received, const MasterKey& masterKey);

// Header of an answer to WriteSetupRequest: identifier and key material (needs at least 10 bytes).
struct AnswerHeader
{
    GatewayId gatewayId;
    KeyMaterial keyMaterial{};
};
std::optional<AnswerHeader> writeAnswerHeader(const QByteArray& received);

} // namespace Telegram
