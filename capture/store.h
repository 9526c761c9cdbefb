#pragma once
// Storing the current document: how the store is shown (barcode separation, direct store in a
// batch scan, or the modal store window) and the choice between the paper and e-filed store.
#include <QVariant>

// The Store command. Returns the store's Boolean result, or an empty QVariant (tested as
// False) in the barcode-scan mode and after a reported error.
QVariant do_save();

// Stores the current document: the paper store for document type 0, else the e-filed store.
// False after a reported error.
bool do_store(bool advance);
