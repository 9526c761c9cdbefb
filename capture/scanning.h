#pragma once
// The Scan command: new pages into the main window's document, the rescan question when it
// already has pages, and the clean-up of the new pages (upside-down flip, filter pass).
#include <QString>

class FrmMain;
class QelEzImage;
struct VbError;

// The Scan command (main window's Scan button).
void do_scan();
// Rescan of a document that already has pages; called by do_scan. False when the operator
// cancelled or gave no answer: nothing was scanned and the document is as it was.
bool do_rescan();
// Stores the rescan answer ("OA", "I", "C") in g_strRescanAction.
void setRescanOption(const QString &answer);

// Hand-feed scanning: entry with the rescan question, and the hand-feed run itself.
void do_HandFeedScan();
void do_HandFeedScan2();

// Overhead book scanning: frmOverhead, modal over the main window.
void showOverhead();

// Scanner failures (any status of the device) keep the pages that came in and the lookup. The
// next scan of that document goes on behind them: at its end, or behind what a failed insert
// put in. Loading or clearing the document forgets the place.
void keepScanPosition(QelEzImage &tree, int after);
void forgetScanPosition();
// The page the next scan goes on behind, or -1 when the document has no such place.
int scanResumePoint(QelEzImage &tree);
// Sets the tree up to scan behind page `after` (appending when it is the last).
void prepareResumedScan(QelEzImage &tree, int after);
// Says which failure it was, then keeps the pages scanned since the document had `oldLength`
// pages (inserted at the cursor, or appended), flipped and put through the filter pass when
// asked, and keeps the place for the next scan.
void keepPagesAfterFailure(const VbError &failure, int oldLength, bool inserting, bool flip, bool filter);
// A scan road has ended: Rotate shows; Store, Print and Redact are on exactly when there are
// pages; the document counts as changed when it has pages.
void markScanned(FrmMain &f);
