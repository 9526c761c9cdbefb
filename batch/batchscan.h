#pragma once
// Batch scan: scans and stores a run of consecutive documents in the host's order.
#include <QString>

// Fills frmBatch: the stored log, the mode's input frame prefilled from the current document.
void load_batch();
// Focus on the number of documents when the current document has an instrument number.
void activate_batch();
// The run, inside the activation of frmBatchProgress.
void do_BatchScan();
// Stores the log under "Strings"/"strOutputText" and shows it in frmBatch.
void setBatchOutput(const QString &text);
// Sets g_BlnAbortBatch.
void set_batch_abort();
// The overwrite question for an already scanned document in the prompt mode.
bool prompt_overwrite();
// Scans pages pages into the main window; false on abort or a scanning error.
bool scan_batch_document(qint16 pages);

// Whole number of an index text without leading zeros ("000012" -> "12"), as the batch
// dialogs show it in their fields, keys and status lines.
QString whole(const QString &text);
// The key naming the current document in status and log lines, per database mode.
QString batchDocumentKey();
