#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// How a simulated gateway misbehaves. Unless noted, a behaviour changes only the answer to a read
// request (03 00 37 00); the write exchange (03 00 41 00) then runs as with Normal.
enum class GatewayBehaviour
{
    Normal,        // 1130-byte type-20 answer in one write; 0x06 for a well-formed setup
    WrongKey,      // read and write exchanges use a master key other than the gateway's
    OtherType,     // type 0x15 with one encrypted block (3 marker bytes padded), N = 26
    Short,         // only the first 9 bytes of the answer
    Split,         // the first 600 bytes, the rest 200 ms later
    Silent,        // accepts, never answers anything, keeps the connection open
    Close,         // closes every connection as soon as it is accepted
    Nak,           // write: answers a well-formed setup with 0x15 and does not adopt it
    NoAck,         // write: answers a setup with nothing and keeps the connection open
    LateAck,       // write: answers a well-formed setup with 0x06 after 3500 ms
    ByteWise,      // one byte per write, 1 ms apart, each flushed
    Trickle,       // one byte per second, at most 15 bytes
    Flood,         // the answer followed by filler, 100 MB in all, as fast as the peer drains it
    ResetMidFrame, // half the answer, then a connection reset (RST)
    TrailingBytes, // the answer followed by 50 junk bytes in the same write
    TwoFrames,     // two complete answers in one write
    LengthField,   // the normal answer bytes with the length field replaced by SimulatedGateway::lengthField
    WriteShort,    // write: the answer to the write request is only 5 bytes long
    AckPlus,       // write: answers a well-formed setup with 06 15 15 15
};

struct BehaviourSetting
{
    GatewayBehaviour behaviour = GatewayBehaviour::Normal;
    int lengthField = 0; // LengthField only, 0..65535
};

// "normal", "wrongkey", ..., "len<N>" for LengthField (e.g. "len1129"), "writeshort", "ackplus".
QString behaviourText(GatewayBehaviour behaviour, int lengthField = 0);
// Inverse of behaviourText, case-insensitive; nullopt for an unknown name or a length outside 0..65535.
std::optional<BehaviourSetting> behaviourFromText(const QString& text);
// All names, LengthField as "len<N>", for help texts.
QStringList behaviourTexts();
// One line per behaviour, name and German description, for the help text.
QString behaviourHelp();
