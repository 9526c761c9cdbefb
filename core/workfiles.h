#pragma once
// The working files of the temp folder: every name the program writes there, and what it is.
// The lists of what to delete are derived from this one table.
#include <QStringList>

enum WorkFileKind {
    // In the list the workspace reset deletes first, in its order.
    WorkspaceFile = 1,
    // A copy the redaction editor, its crop or the print preview works on: it can hold the
    // document's pixels before a redaction is burned in.
    EditorCopy = 2,
    // Written and deleted by one road only (scan, view, store, barcode separation).
    RoadFile = 4,
};

// The names of the files of any of those kinds, in the table's order.
QStringList workFileNames(int kinds);
