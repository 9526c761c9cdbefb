#include "batch/batchscan.h"
void load_batch() {}
void activate_batch() {}
void do_BatchScan() {}
void setBatchOutput(const QString &) {}
void set_batch_abort() {}
bool prompt_overwrite() { return false; }
bool scan_batch_document(qint16) { return false; }
QString batchDocumentKey() { return {}; }
