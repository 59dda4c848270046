#pragma once

#include "session/GatewayRow.h"
#include "session/ScanHistory.h"

class QTableWidget;

// Titles and column widths of the grid.
void prepareGatewayGrid(QTableWidget* grid);

// Draws the gateway list into the grid: one row per gateway found (IP, GWID, firmware, read-back,
// change since the previous scan), then greyed the gateways of the previous scan not found now.
// One empty row stands in the grid while nothing is listed.
void drawGatewayGrid(QTableWidget* grid, const QList<GatewayRow>& rows, const QList<SeenGateway>& missing);
