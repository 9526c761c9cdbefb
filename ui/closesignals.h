#pragma once

// SIGTERM and SIGINT close the main window through its ordinary close road (QueryUnload, then
// Unload). The handler only writes a byte; the event loop reads it and closes the window. When
// no main window is loaded the event loop is asked to end.
void installCloseOnSignals();
