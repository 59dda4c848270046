#pragma once

#include "link/ScanEngine.h"

#include <QString>

#include <array>

// Why a scan of segment at port listed nothing, as one German status line naming the most likely
// cause; counts are indexed by GatewayRead::Kind. Empty when the counts show a listed gateway
// (Gateway, OtherKey, OtherType) or no address was tried. Incomplete answers count as unlisted: the
// caller asks only when the list is empty.
//   "Keine Antwort an Port 30: alle 255 Adressen ohne Verbindung – liegt 10.1.1 in einem lokalen Netz?"
//   "Keine Antwort an Port 30: 255 Adressen lehnen die Verbindung ab – ist der Port richtig?"
//   "3 Geräte an Port 30 sind keine Gateways (2 ohne Antwort, 1 schließt die Verbindung)"
//   "2 Geräte an Port 30 antworten unvollständig"
QString explainEmptyScan(const std::array<int, 8>& counts, const Segment& segment, quint16 port);
