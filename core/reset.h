#pragma once
// Puts the main window back to entering the index of the next document for the current mode.
#include <QString>

// resetUnindexed: untick the shown "Scanning Unindexed Documents" box; clearEFile: empty the
// e-file entry fields.
void new_bkPg(bool resetUnindexed, bool clearEFile);

// How many resets have run in this process (each call of new_bkPg that got past its start).
int resetCount();

// The keyboard help appended to every instruction (starts with two line breaks).
QString keyHelpText();
