#pragma once
#include <QtGlobal>

// Compares the scanned page count with the host's for a book: 1 go on with the store, 2 do
// not store, 0 after a reported error.
qint16 bookScanPageCheck();
