#pragma once
// Index entry checks: the typed index fields of the current mode are taken into the document
// index, zero-filled to the host's widths and checked before the lookup.

// Go button (and Enter in the recorded-land book and page fields): restart, or check and look up.
void user_go();
// Refresh button: empty the window and working files, then check and look up again.
void user_refresh();
