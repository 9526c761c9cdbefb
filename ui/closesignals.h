#pragma once

// Every signal that asks a process to end (a closed terminal, a dropped remote session, a
// shutdown, Ctrl-C, Ctrl-\, a resource limit ...) ends the program through the main window's
// close road (QueryUnload, then Unload) without waiting for an operator: unstored pages are kept
// for the next start first (core/recovery.h). A signal the parent set to be ignored (nohup, a
// background job) stays ignored. The handler only writes a byte; the event loop reads it and
// asks the forms to quit: open boxes and modal windows are answered as Cancel, running roads
// abort or finish, then the main window is closed. When no main window is loaded the event loop
// is asked to end.
void installCloseOnSignals();

// When the X server goes away (the desktop session ends) the windowing layer ends the process at
// once: unstored pages are kept and the shutdown work (sign-off, preferences, scanner settings)
// is done before that, and the program ends with status 0 instead of crashing.
void installCloseOnDisplayLoss();
