#pragma once

// On Windows the window program (GUI subsystem) has no console of its own: started from a console
// with a command (scan, send, diff, apply, --version, --help), it writes into that console. Output
// redirected to a file or pipe stays where it was sent. Elsewhere this does nothing.
void attachParentConsole();
