#pragma once
#include <QSqlDatabase>
#include <QString>

// The New York recording day whose documents the demo's barcode stacks carry (seeded by
// hostsim-seed --demo, not scanned yet).
namespace demoPaper {
inline const char *const kBarcodeYear = "2026";
inline const char *const kBarcodeMonth = "03";
inline const char *const kBarcodeDay = "02";
}

// Renders the demo's paper into `folder` from the documents of a seeded emulator database: one
// subfolder per stack, each sheet a grey 200 dpi TIFF ("NN.tif", its back "NN-back.tif"):
//   office       ten deed pages of unscanned Massachusetts documents, plain backs
//   backs        four deed pages whose backs are blank with dust, blank with show-through, or
//                carry a handwritten note
//   ny-barcode   the barcode day's first four documents, each behind its barcode cover sheet
//   ny-mismatch  the next two, the second cover sheet without its barcode
//   book         six pages of a bound book, for the overhead scanner
// Returns false with a message on a write failure.
bool writeDemoPaper(QSqlDatabase db, const QString &folder, QString *error);
