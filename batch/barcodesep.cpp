#include "batch/barcodesep.h"

bool parseDocumentBarcode(const QString &, qint16, BarcodeDocument &) { return false; }
void CopyPages(QelEzImage &, QelEzImage &, int, int) {}
void insertBCDoc(const BarcodeDocument &, BarcodeDocuments &, int) {}
void processBarcodes() {}
bool checkTypedBarcodeAnswer(QLineEdit *, QLineEdit *, QLineEdit *, QLineEdit *) { return false; }
BarcodeDocument typedBarcodeAnswer(QLineEdit *, QLineEdit *, QLineEdit *, QLineEdit *) { return {}; }
void wireTypedDateFields(QLineEdit *, QLineEdit *, QLineEdit *, QLineEdit *) {}
