#include "batch/bookcheck.h"
qint16 bookScanPageCheck() { return 0; }
