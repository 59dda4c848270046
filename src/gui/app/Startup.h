#pragma once

#include "TTelvaro.h"

class QApplication;
class TFormGWsetup;

// Start-up of the windows: the main window, then the setup dialog (hidden), wired to each other.
struct Windows
{
    TTelvaro* main = nullptr;
    TFormGWsetup* dialog = nullptr;
};
Windows createWindows(const TTelvaro::Options& options);
void destroyWindows(Windows& windows);

// Moves and sizes window as the settings say, onto a screen when the position is off every screen.
void placeWindow(QWidget* window, const WindowPlacement& placement);

// Loads Qt's German translations for the standard buttons and sets the "Obsidian" look.
void prepareApplication(QApplication& app);
