#pragma once

#include "base/EnumNames.h"
#include "base/Result.h"
#include "setups/GatewayId.h"

#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QString>

#include <array>
#include <optional>

enum class ScanChange
{
    New,
    Unchanged,
    Moved,
    Firmware,
    Setup
};

// "new", "unchanged", "moved", "firmware", "setup" (the JSON report's words).
QString changeKey(ScanChange change);
// "neu", "unverändert", "umgezogen", "Firmware geändert", "Setup geändert" (the list's cells).
QString changeText(ScanChange change);

// What the list knows of one gateway. Texts for the user are made from it only when drawn.
struct GatewayRow
{
    enum class State
    {
        SetupStored,    // its setup was read, decrypted and stored as its setup file
        SetupNotStored, // read and decrypted, but the setup file could not be written (stored says why)
        OtherKey,       // the answer did not decrypt: the gateway uses another master key
        OtherType,      // decrypted, but it carried no setup
        Incomplete,     // the answer was cut off after its header
        DuplicateId,    // another address of the same scan reports this gateway ID: nothing stored
    };
    // The word the JSON report and the scan history use, and the list's text.
    static constexpr EnumNames<State, 6> StateNames{{
        {State::SetupStored, u"stored", u"gespeichert"},
        {State::SetupNotStored, u"not-stored", u"nicht gespeichert"},
        {State::OtherKey, u"other-key", u"anderer Master Key"},
        {State::OtherType, u"other-type", u"anderer Telegrammtyp"},
        {State::Incomplete, u"incomplete", u"unvollständig"},
        {State::DuplicateId, u"duplicate-id", u"GWID doppelt"},
    }};
    enum class Verification
    {
        None,
        Running,
        Verified,
        Differs,
        NoAnswer
    };

    QHostAddress address;
    GatewayId id;
    State state = State::OtherType;
    std::array<quint8, 3> firmware{}; // SetupStored, SetupNotStored
    Status stored;                    // SetupNotStored: why the file could not be written
    bool storing = false;             // SetupStored: its file is being written; durable once false
    Verification verification = Verification::None;
    std::optional<ScanChange> change; // since the previous scan of the segment, when one was recorded
    QHostAddress movedFrom;           // ScanChange::Moved: where it was
    QList<QHostAddress> sameIdAt;     // DuplicateId: the other addresses that report this gateway ID

    bool hasSetup() const { return state == State::SetupStored || state == State::SetupNotStored; }

    // Cell texts: "127.0.0.21", "0A.1B.2C", the firmware "1.4.12" ("1.4.12 (nicht gespeichert)" when
    // the file could not be written, "???" for another master key, "(unvollständig)" for a cut answer,
    // empty for another telegram type), and the read-back "ja", "abweichend", "keine Antwort".
    QString ipText() const;
    QString gwidText() const { return id.text(); }
    QString firmwareText() const;
    // The firmware alone: "1.4.12" for a setup, "???" for another master key, else empty.
    QString versionText() const;
    QString verificationText() const;
    QString stateText() const; // "gespeichert", "nicht gespeichert", "anderer Master Key", "GWID doppelt", ...
    // DuplicateId: "127.0.0.21, 127.0.0.22", every address that reports this gateway ID, in order.
    QString sameIdText() const;
    QString changeText() const { return change ? ::changeText(*change) : QString(); }
    // Why the setup of this gateway is not opened for editing (German), or empty when it is.
    QString whyNotOpened() const;
};
static_assert(namesInOrder(GatewayRow::StateNames));

// Why nothing of gateway id is stored or sent: addresses ("127.0.0.21, 127.0.0.22") all report it.
QString duplicateIdMessage(const GatewayId& id, const QString& addresses);

Q_DECLARE_METATYPE(GatewayRow)
