#pragma once
// The Scan command: new pages into the main window's document, the rescan question when it
// already has pages, and the clean-up of the new pages (upside-down flip, filter pass).
#include <QString>

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
