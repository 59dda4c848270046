#pragma once

// On Windows the window program (GUI subsystem) has no console of its own: started from a console
// with a command (scan, send, diff, apply, --version, --help), it writes into that console. Output
// redirected to a file or pipe stays where it was sent. Elsewhere this does nothing.
void attachParentConsole();

// The last step of main, once the application object is gone: on Windows the process ends here with
// code, its output flushed, without the clean-up of the loaded libraries (under Wine a Qt program
// now and then hung in that step, one thread left, after all its work was done and every file
// closed). Elsewhere it returns code.
int endProcess(int code);
