#pragma once

// SIGTERM and SIGINT end the program through the main window's close road (QueryUnload, then
// Unload) without waiting for an operator: unstored pages are kept for the next start first
// (core/recovery.h). The handler only writes a byte; the event loop reads it and asks the forms
// to quit: open boxes and modal windows are answered as Cancel, running roads abort or finish,
// then the main window is closed. When no main window is loaded the event loop is asked to end.
void installCloseOnSignals();
