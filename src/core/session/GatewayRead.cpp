#include "GatewayRead.h"

#include "base/EnumNames.h"

GatewayRead GatewayRead::decode(const ReadExchange::Outcome& outcome, const MasterKey& masterKey)
{
    GatewayRead r;
    r.host = outcome.host;
    r.ending = outcome.ending;
    if (outcome.ending != ReadExchange::Ending::Answered)
        return r;
    const Telegram::Answer a = Telegram::decodeAnswer(outcome.bytes, masterKey);
    r.answer = a.kind;
    r.id = a.gatewayId;
    r.type = a.type;
    if (a.kind == Telegram::Answer::Kind::Setup)
        r.record = a.record;
    return r;
}

GatewayRead::Kind GatewayRead::kind() const
{
    using E = ReadExchange::Ending;
    switch (ending) {
    case E::Silent:
        return Kind::Silent;
    case E::Closed:
        return Kind::Closed;
    case E::Refused:
        return Kind::Refused;
    case E::NoConnection:
        return Kind::Timeout;
    case E::Answered:
        break;
    }
    using A = Telegram::Answer::Kind;
    switch (answer) {
    case A::Setup:
    case A::NoCipher:
        return Kind::Gateway;
    case A::WrongKey:
        return Kind::OtherKey;
    case A::OtherType:
        return Kind::OtherType;
    case A::Incomplete:
    case A::NotDecodable:
        return Kind::Incomplete;
    }
    return Kind::Incomplete;
}

GatewayRow GatewayRead::row() const
{
    GatewayRow row;
    row.address = host;
    row.id = id;
    using A = Telegram::Answer::Kind;
    switch (answer) {
    case A::Setup:
        row.state = GatewayRow::State::SetupStored;
        row.firmware = record->firmwareVersion();
        break;
    case A::WrongKey:
        row.state = GatewayRow::State::OtherKey;
        break;
    case A::Incomplete:
        row.state = GatewayRow::State::Incomplete;
        break;
    case A::OtherType:
    case A::NoCipher:
    case A::NotDecodable:
        row.state = GatewayRow::State::OtherType;
        break;
    }
    return row;
}

Status GatewayRead::sendable(const GatewayId& expected) const
{
    const QString ip = host.toString();
    const auto refused = [](const QString& why) {
        return Status::failure(why + QStringLiteral(" Es wurde nichts gesendet."));
    };
    using A = Telegram::Answer::Kind;
    if (!listed())
        return refused(QStringLiteral("Von %1 kam kein Setup (keine gültige Antwort).").arg(ip));
    if (id != expected)
        return refused(QStringLiteral("An der Adresse %1 meldet sich das Gateway %2 statt %3.")
                           .arg(ip, id.text(), expected.text()));
    switch (answer) {
    case A::Setup:
        return {};
    case A::WrongKey:
        return refused(QStringLiteral("Das Gateway %1 an %2 verwendet einen anderen Master Key.").arg(id.text(), ip));
    case A::Incomplete:
        return refused(QStringLiteral("Die Antwort des Gateways %1 an %2 war unvollständig.").arg(id.text(), ip));
    case A::OtherType:
        return refused(QStringLiteral("Das Gateway %1 an %2 hat kein Setup gemeldet (Telegrammtyp %3).")
                           .arg(id.text(), ip)
                           .arg(type));
    case A::NoCipher:
        return refused(QStringLiteral("Die AES-128-Verschlüsselung steht nicht zur Verfügung."));
    case A::NotDecodable:
        break;
    }
    return refused(QStringLiteral("Von %1 kam kein Setup (keine gültige Antwort).").arg(ip));
}

namespace {

// The counts' words in the JSON report and the command line's sum-up.
constexpr EnumNames<GatewayRead::Kind, 8> KindNames{{
    {GatewayRead::Kind::Gateway, u"gateway", {}},
    {GatewayRead::Kind::OtherKey, u"other-key", {}},
    {GatewayRead::Kind::OtherType, u"other-type", {}},
    {GatewayRead::Kind::Incomplete, u"incomplete", {}},
    {GatewayRead::Kind::Silent, u"silent", {}},
    {GatewayRead::Kind::Closed, u"closed", {}},
    {GatewayRead::Kind::Refused, u"refused", {}},
    {GatewayRead::Kind::Timeout, u"timeout", {}},
}};
static_assert(namesInOrder(KindNames));

} // namespace

QString kindKey(GatewayRead::Kind kind)
{
    return wordOf(KindNames, kind);
}
