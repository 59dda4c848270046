#include "GatewayRow.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr EnumNames<ScanChange, 5> ChangeNames{{
    {ScanChange::New, u"new", u"neu"},
    {ScanChange::Unchanged, u"unchanged", u"unverändert"},
    {ScanChange::Moved, u"moved", u"umgezogen"},
    {ScanChange::Firmware, u"firmware", u"Firmware geändert"},
    {ScanChange::Setup, u"setup", u"Setup geändert"},
}};
static_assert(namesInOrder(ChangeNames));

} // namespace

QString GatewayRow::ipText() const
{
    return address.toString();
}

QString GatewayRow::versionText() const
{
    if (hasSetup())
        return QStringLiteral("%1.%2.%3").arg(firmware[0]).arg(firmware[1]).arg(firmware[2]);
    return state == State::OtherKey ? QStringLiteral("???") : QString();
}

QString GatewayRow::firmwareText() const
{
    switch (state) {
    case State::SetupStored:
        return storing ? versionText() + QStringLiteral(" (wird gespeichert)") : versionText();
    case State::SetupNotStored:
        return versionText() + QStringLiteral(" (nicht gespeichert)");
    case State::OtherKey:
        return versionText();
    case State::OtherType:
        return QString();
    case State::Incomplete:
        return QStringLiteral("(unvollständig)");
    case State::DuplicateId:
        return QStringLiteral("GWID doppelt");
    }
    return QString();
}

QString GatewayRow::stateText() const
{
    if (storing)
        return u"wird gespeichert"_s;
    return textOf(StateNames, state);
}

QString GatewayRow::verificationText() const
{
    switch (verification) {
    case Verification::None:
        return QString();
    case Verification::Running:
        return QStringLiteral("…");
    case Verification::Verified:
        return QStringLiteral("ja");
    case Verification::Differs:
        return QStringLiteral("abweichend");
    case Verification::NoAnswer:
        return QStringLiteral("keine Antwort");
    }
    return QString();
}

QString GatewayRow::whyNotOpened() const
{
    if (storing)
        return QStringLiteral("Das Setup von %1 (%2) wird gerade gespeichert. Bitte gleich noch einmal öffnen.")
            .arg(gwidText(), ipText());
    switch (state) {
    case State::OtherKey:
        return QStringLiteral("Keine gültigen Daten empfangen da der Master Key nicht stimmt!");
    case State::SetupNotStored:
        return QStringLiteral("Das Setup von %1 (%2) konnte nicht gespeichert werden: %3\nDie Setup-Datei zeigt "
                              "nicht den Stand des Gateways und wird darum nicht geöffnet.")
            .arg(gwidText(), ipText(), stored.message());
    case State::Incomplete:
        return QStringLiteral("Die Antwort des Gateways %1 an %2 war unvollständig; es wurde kein Setup empfangen.")
            .arg(gwidText(), ipText());
    case State::DuplicateId:
        return duplicateIdMessage(id, sameIdText());
    case State::SetupStored:
    case State::OtherType:
        break;
    }
    return QString();
}

QString GatewayRow::sameIdText() const
{
    QList<QHostAddress> all = sameIdAt;
    all << address;
    std::sort(all.begin(), all.end(),
              [](const QHostAddress& a, const QHostAddress& b) { return a.toIPv4Address() < b.toIPv4Address(); });
    QStringList texts;
    for (const QHostAddress& a : all)
        texts << a.toString();
    return texts.join(QStringLiteral(", "));
}

QString duplicateIdMessage(const GatewayId& id, const QString& addresses)
{
    return QStringLiteral("Die GWID %1 meldet sich im selben Scan an mehreren Adressen (%2). Keines der Setups "
                          "wurde gespeichert, keinem Gateway wird etwas gesendet, bis nur noch eines diese GWID "
                          "meldet.")
        .arg(id.text(), addresses);
}

QString changeKey(ScanChange change)
{
    return wordOf(ChangeNames, change);
}

QString changeText(ScanChange change)
{
    return textOf(ChangeNames, change);
}
