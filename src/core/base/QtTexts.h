#pragma once

class QCoreApplication;

// Loads Qt's own German texts (qtbase_de from Qt's translations folder) into app, so that what Qt
// itself says to the user (QCommandLineParser's refusals and headings) is German like the rest.
// Without the translation Qt's English texts remain; nothing else changes.
void installQtGermanTexts(QCoreApplication& app);
