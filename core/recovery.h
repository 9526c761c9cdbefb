#pragma once
// Scanned pages not stored when the program was ended from outside (a termination signal, the
// display going away): kept in a private per-user data folder (start-up clears the temp folder)
// and brought back after sign-on. Every kept document has its own pair of files, so a later one
// never replaces an earlier one; each stays until it is brought back or the operator discards it.
#include <QString>

// The per-user folder of the kept documents (mode 0700).
QString recoveryFolder();
// Keeps the page view's document with the index values that identify it, when it holds pages
// not stored: redactions burned into the pixels, the other annotations as items, files mode
// 0600. While a store runs, the document kept is the one the operator had when it began. True
// when a document was kept; raises when it could not be written.
bool saveRecoveryDocument();
// Brings back the oldest kept document not tried yet in this session: its lookup again as Start
// makes it, then its pages in both views as not stored; the kept files go. One that cannot be
// looked up, or whose document has changed on the host since, is named (folder and file) and
// kept unless the operator discards it; the next one is tried. One that cannot be loaded is set
// aside and named. Returns after the first one brought back.
void restoreRecoveryDocument();
