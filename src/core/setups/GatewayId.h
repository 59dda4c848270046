#pragma once

#include <QHashFunctions>
#include <QString>

#include <array>
#include <optional>

// A gateway's 3-byte identifier b0 b1 b2, in the order the gateway sends it (telegram bytes 3..5).
// The list shows it as "0A.1B.2C"; setup file names join the pairs with "_".
struct GatewayId
{
    std::array<quint8, 3> bytes{};

    QString text() const;         // "0A.1B.2C"
    QString fileNamePart() const; // "0A_1B_2C"
    // Accepts "0A.1B.2C" (any single separator, or none: "0A1B2C"), hex digits in either case.
    static std::optional<GatewayId> fromText(const QString& text);

    friend bool operator==(const GatewayId&, const GatewayId&) = default;
};

inline size_t qHash(const GatewayId& id, size_t seed = 0) noexcept
{
    return qHash((id.bytes[0] << 16) | (id.bytes[1] << 8) | id.bytes[2], seed);
}
