#pragma once

#include "session/ToolSettings.h"

class QWidget;

// Moves and sizes window as the settings say, onto a screen when the position is off every screen.
void placeWindow(QWidget* window, const WindowPlacement& placement);
