#pragma once

#include "ReceivedSetup.h"
#include "SimulatedGateway.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

// The JSON lines telvaro-gwsim writes to its log, one object per line, each with an "event" key:
//   setup           a setup telegram received (address, gwid, wellFormed, record as hex)
//   restart         a restart begins (address, gwid, durationMs, masterKeyChanged, fixedAddress or null)
//   move            the gateway listens on a new address (address, previousAddress, gwid)
//   addressNotTaken the record's fixed address was not taken (address, gwid, fixedAddress, reason)
//   restarted       the restart is over (address, gwid, masterKey as hex)
//   restartFailed   the gateway could not listen again (address, gwid, reason)
namespace SimulatorLog {

QByteArray setupLine(const ReceivedSetup& setup);
// gateway as it stands when the restart begins: its key in use, the record that it adopted.
QByteArray restartLine(const SimulatedGateway& gateway, int durationMs);
QByteArray moveLine(const SimulatedGateway& gateway, const QHostAddress& previousAddress);
QByteArray addressNotTakenLine(const SimulatedGateway& gateway, const QHostAddress& fixedAddress,
                               const QString& reason);
QByteArray restartedLine(const SimulatedGateway& gateway);
QByteArray restartFailedLine(const SimulatedGateway& gateway, const QString& reason);

} // namespace SimulatorLog
