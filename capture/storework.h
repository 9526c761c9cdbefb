#pragma once
// Working steps the paper and e-filed stores share: parked annotation files, files on the
// share, the annotation merge wait and the windows a store repaints.
#include <QString>

#include "core/errors.h"

class QelAnnotDocument;

// "Quorla.ann" followed by the page number.
QString parkedAnnotationName(int page);
// Deletes the parked annotation file of every page 1..pages from the temp folder.
void deleteParkedAnnotations(int pages);
// Deletes folder + name (a host path) when it exists; nothing for an empty name.
void deleteOnShare(const QString &folder, const QString &name);
// Copies source over destination (a local path). Raises when the copy cannot be made, so a
// store never goes on to register a file that is not there.
void copyToShare(const QString &source, const QString &destination);
// Removes whatever items a refusing security handler left on the set; its properties stay.
void emptyAnnotationSet(QelAnnotDocument &set);
// True when a loaded form of that design name is shown (a form not loaded is not loaded for it).
bool isFormVisible(const QString &name);
// Starts the main window's annotation merge (600 ms a page) and yields until it is done.
void runAnnotationMerge();
// Repaints the window in front of the store: batch progress, batch rotate progress, barcode
// separation or the store window.
void refreshFrontWindow();
// Repaints the store window when it is loaded.
void refreshStoreWindow();
// For use inside a catch block: a disconnected object ends the program after a critical box;
// anything else goes to the error report under procedure.
void reportStoreFailure(const QString &procedure, const Trap &trap);
