#include "GatewayRow.h"

QString GatewayRow::ipText() const
{
    return address.toString();
}

QString GatewayRow::firmwareText() const
{
    const QString version = QStringLiteral("%1.%2.%3").arg(firmware[0]).arg(firmware[1]).arg(firmware[2]);
    switch (state) {
    case State::SetupStored:
        return version;
    case State::SetupNotStored:
        return version + QStringLiteral(" (nicht gespeichert)");
    case State::OtherKey:
        return QStringLiteral("???");
    case State::OtherType:
        return QString();
    case State::Incomplete:
        return QStringLiteral("(unvollständig)");
    }
    return QString();
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
    case State::SetupStored:
    case State::OtherType:
        break;
    }
    return QString();
}
