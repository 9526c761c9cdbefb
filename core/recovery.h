#pragma once
// Scanned pages not stored when a termination signal ended the program: kept in the per-user
// data folder (start-up clears the temp folder) and brought back after the next sign-on.
#include <QString>

// The per-user folder of the recovery document.
QString recoveryFolder();
// Keeps the page view's document (annotations as items) with the index values that identify
// it, when it holds pages not stored. True when a document was kept.
bool saveRecoveryDocument();
// After sign-on: loads a kept document back into both views as not stored, says so once and
// deletes it; one that cannot be loaded is reported and moved aside.
void restoreRecoveryDocument();
