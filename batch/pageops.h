#pragma once
// Page operations on the document an image control holds: byte alignment, resize through a
// fresh file, flipping the main window's pages, and emptying a control before it gets a
// working file of the temp folder.
#include <QString>

class QelEzImage;

// The temp folder: g_strTempPath, or the private temp folder while that is not set yet.
QString batchTempFolder();

// Saves the control's document to path (overwriting it) and closes the document. annotationOption:
// 0 burns the annotations into the pixels, 1 keeps them as items.
void saveAndCloseDocument(QelEzImage &control, const QString &path, int annotationOption);

// Pads every page from the first whose width is not a multiple of 8 to widths and heights
// that are; the control then shows temp "byteAlign.tif". Errors are reported, not raised.
void do_byteAlign(QelEzImage &control);
// Re-saves the document as temp "resize.tif" and shows it; false after a reported error.
bool do_resizeImage(QelEzImage &control);
// Turns every page of the main window's page view upside down.
void FlipDoc();
// Closes the control's document and deletes temp folder + fileName; g_intOldDocLength := 0.
void DeleteBarcodeTemp(const QString &fileName, QelEzImage &control);
// The barcode control's one working file, shared by the filter pass and barcode separation:
// the old file deleted, the control emptied and pointed at temp "bctemp.tif".
void resetBarcodeTemp(QelEzImage &barcode);
