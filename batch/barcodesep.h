#pragma once
// Barcode separation: a scanned stack cut into documents by the barcodes on their first pages,
// each document checked against the records host and stored.
#include <QString>

#include <functional>
#include <vector>

class QHBoxLayout;
class QLineEdit;
class QelEzImage;

// One document found in the stack.
struct BarcodeDocument {
    QString Barcode;      // the 13-character barcode; empty for a typed-in document
    qint16 FirstPage = 0; // page of the stack where the document starts, from 1
    QString CtlNum;       // 5 digits; from the correction dialogs also "no store" or ""
    QString Month;        // 2 digits
    QString Day;          // 2 digits
    QString Year;         // 4 digits
};

// Element 0 stands for no document; documents are elements 1 .. size() - 1, in stack order.
using BarcodeDocuments = std::vector<BarcodeDocument>;

// The document a barcode starts: a 13-character text whose first 8 characters are a valid
// year, month and day. False for any other text.
bool parseDocumentBarcode(const QString &text, qint16 page, BarcodeDocument &document);

// Copies pages first .. last (last -1: to the source's last page) with their rotation behind
// the target's pages; page 1 current in both at the end. Errors are reported.
void CopyPages(QelEzImage &source, QelEzImage &target, int firstPage, int lastPage);
// Puts record at position, moving the records from there one place up. Errors are reported.
void insertBCDoc(const BarcodeDocument &record, BarcodeDocuments &documents, int position);

// Splits the main window's stack into documents and stores each; the log ends in
// g_strBarcodeLog and the log window.
void processBarcodes();

// Checks a typed date and control number: all numeric, then looked up on the host into the
// index globals. True when the host knows the document. Shared by both correction dialogs.
bool checkTypedBarcodeAnswer(QLineEdit *ctlNum, QLineEdit *month, QLineEdit *day,
                             QLineEdit *year);
// The answer record from the typed fields (padded), FirstPage and Barcode left as given.
BarcodeDocument typedBarcodeAnswer(QLineEdit *ctlNum, QLineEdit *month, QLineEdit *day,
                                   QLineEdit *year);
// Focus moves of the typed fields: month and day move on at two characters; focus selects all.
void wireTypedDateFields(QLineEdit *ctlNum, QLineEdit *month, QLineEdit *day, QLineEdit *year);
// The typed control number and date boxes sized as the main window's (the hint
// "month   day      year" over the date row lines up with them): the date boxes side by side.
QHBoxLayout *typedDateRow(QLineEdit *ctlNum, QLineEdit *month, QLineEdit *day, QLineEdit *year);
