#pragma once

class QApplication;

// "Obsidian": the program's own dark look, a Fusion palette. False when it cannot be set.
bool applyObsidianStyle(QApplication& app);
