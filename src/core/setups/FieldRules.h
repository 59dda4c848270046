#pragma once

#include "GWSetupRecord.h"
#include "radioids/RadioIdText.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// What each field of a gateway setup accepts, one function per rule. The dialog's checks, the
// setup file conversion, the key filters of the windows and the simulator's command line all ask
// here, so a value one of them takes is never refused by another.
namespace FieldRules {

// The whole numbers a field or setting accepts, both ends included.
struct Range
{
    int min;
    int max;

    constexpr bool contains(qint64 value) const { return value >= min && value <= max; }
    constexpr int clamped(int value) const { return value < min ? min : (value > max ? max : value); }
    // "1 bis 65535", as the messages name a range.
    QString text() const;
};

// The limits of the tool's settings and of the setup fields; every check and every message takes
// them from here.
inline constexpr Range PortRange{1, 65535};
inline constexpr Range ParallelRange{1, 255};            // connections at once while scanning
inline constexpr Range ConnectTimeoutMsRange{50, 60000}; // waiting for a gateway to accept
inline constexpr Range VerifyTimeoutMsRange{0, 600000};  // reading a setup back, 0: not at all
inline constexpr Range ByteRange{0, 255};                // an address part, a medium code
inline constexpr int MaxRadioIds = GWSetupRecord::RadioIdSlots;
inline constexpr int MasterKeyDigits = 2 * GWSetupRecord::MasterKeySize;

// "%1/32": how many of the master key's digits a field holds.
QString masterKeyCountText(qsizetype digits);

// 0-9, A-F, a-f.
bool isHexDigit(QChar c);
// The value 0..15 of a hex digit (either case), nullopt for any other character.
std::optional<int> hexDigitValue(QChar c);
bool isDecimalDigit(QChar c);

// 1 to as many decimal digits as range.max has, inside range: no sign, no blank, no other script's
// digits. The one reading of a whole number, for fields and options alike.
std::optional<int> number(QStringView text, Range range);

// Exactly two hex digits (either case): one byte of a gateway ID.
std::optional<quint8> hexPair(QStringView text);

// Exactly 32 hex digits (either case): the 16 bytes of a master key, first pair first.
std::optional<std::array<quint8, GWSetupRecord::MasterKeySize>> masterKey(QStringView text);

// The server name as the record's 32-byte field holds it and a setup file carries it back
// unchanged: at most 32 characters of Windows-1252, none of them a zero byte or a line break.
std::optional<QByteArray> serverNameBytes(QStringView text);
// The two ways a server name fails: characters the field cannot hold, or too many of them.
bool serverNameHasForeignCharacters(QStringView text);

// A manufacturer code as the record holds it: exactly three Windows-1252 characters, none of them a
// zero byte or a line break, taken as they stand (no case change).
std::optional<QByteArray> manufacturerCodeBytes(QStringView text);
// What a user enters as a manufacturer code: three letters A to Z, either case.
bool isManufacturerCodeText(QStringView text);

// A medium code: 1 to 3 decimal digits, 0..255 (ByteRange).
std::optional<quint8> mediumCode(QStringView text);

// A radio ID: 1 to 8 decimal digits, 1..99999999 (parseRadioId, the radio-ID list's own rule).
inline std::optional<quint32> radioId(const QString& text)
{
    return parseRadioId(text);
}

// A TCP port: 1 to 5 decimal digits, 1..65535 (PortRange).
std::optional<quint16> port(QStringView text);

// One part of a dotted IPv4 address: 1 to 3 decimal digits, 0..255 ("008" is 8, never octal).
std::optional<quint8> addressPart(QStringView text);
// A dotted IPv4 address: exactly four parts separated by three dots. No sign, no blank, no empty
// part, no fifth part. The one address rule of the dialog, the setup files and the command lines.
std::optional<GWSetupRecord::Address> address(QStringView text);

// A gateway's host address on a segment: a dotted address (the rule above) whose last part is 1 to
// 254; a scan never tries .0 or .255, so no gateway is listed there.
std::optional<GWSetupRecord::Address> hostAddress(QStringView text);

// Where a fixed address lies in the network its own subnet mask makes: the network's address (all
// host bits 0), its broadcast address (all host bits 1), or a host address. A /31 or /32 mask has
// neither of the first two.
enum class AddressRole
{
    Host,
    Network,
    Broadcast
};
AddressRole addressRole(const GWSetupRecord::Address& address, const GWSetupRecord::Address& mask);
// Why a gateway cannot take the fixed address with that mask (German, naming both), or empty.
QString fixedAddressProblem(const GWSetupRecord::Address& address, const GWSetupRecord::Address& mask);
// The same for a whole setup: empty unless DHCP is off and its fixed address is such an address.
QString fixedAddressProblem(const GWSetupRecord& record);

} // namespace FieldRules
