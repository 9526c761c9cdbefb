#pragma once
// Reading the cover sheet's barcode from a page, and turning reader results into records.
#include <QString>

#include <vector>

class IP2Image;
class QelEzImage;

// One recognised barcode, in the reader's units (page pixels).
struct BarcodeRecord {
    float Left = 0;
    float Top = 0;
    float Right = 0;  // left + width
    float Bottom = 0; // top + height
    QString Text;     // after cleanBarcodeText
};

namespace IP2 {
// Fills records with one entry per result named "Barcode", in result order; true when any.
// Without any the array holds one empty record.
bool readBarcodeResults(const IP2Image &image, std::vector<BarcodeRecord> &records);
// Drops line feeds and writes each carriage return as the two characters "\n".
QString cleanBarcodeText(const QString &text);
} // namespace IP2

// Text of the barcode the reader lists last in the fixed zone of the current page; "" when
// none was read or the control is empty.
QString DetectBarcode(QelEzImage &control);
