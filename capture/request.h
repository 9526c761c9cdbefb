#pragma once
// The request road: turns the current index data into a shown document through one host
// connection, the mode's lookup and the document view.
#include <QString>

// action: "A" look up, "N" next, "P" previous, "R" e-file Get Batch request, "S" after a store.
// True when the lookup succeeded and the main window is ready for the next step.
bool run_program(const QString &RunAction);
// True when the host lookup of the last run_program answered with the document, whatever failed
// after it (after a store, the host has taken the call its action passes on).
bool lastLookupFound();
