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

// Loads Qt's German translations for the standard buttons and sets the "Obsidian" look.
void prepareApplication(QApplication& app);
