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

// Closes the working document of the main window's views and deletes "temp.tif" of the temp
// folder; g_intOldDocLength becomes 0. Errors are reported, not raised.
void DeleteTemp();

// Deletes the working copies of the redaction editor, its crop and the print preview (all but
// `keep`, the file a view still shows).
void DeleteEditorCopies(const QString &keep = QString());

// Deletes every working file of the temp folder: the scan's and the store's working files and
// the editor's copies. Run by the reset and when the program ends.
void deleteWorkingFiles();

// Forgets the last customer's document when the customer changes: the document index values
// and every index box of every frame are emptied (the reset that follows fills nothing in).
void forgetCustomerDocument();
