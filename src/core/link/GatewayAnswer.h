#pragma once

#include "Telegram.h"

#include <QString>

#include <optional>

// What one answer of a scan means for the list and the setup files.
struct HandledAnswer
{
    Telegram::Answer::Kind kind = Telegram::Answer::Kind::NotDecodable;
    QString gwid;                        // "0A.1B.2C"; empty when the answer could not be decoded (then not listed)
    QString firmware;                    // "1.4.12" for a setup, "" for another type, "???" when it did not decrypt
    std::optional<GWSetupRecord> record; // the setup received
    QString storeError;                  // the setup file could not be written (the row is listed all the same)

    bool listed() const { return !gwid.isEmpty(); }
};

// Decodes a scan answer and, for a received setup, stores it as the gateway's setup file in
// setupsFolder (nothing is stored when the folder is empty).
HandledAnswer HandleGatewayAnswer(const QByteArray& bytes, const MasterKey& masterKey, const QString& setupsFolder);
