#pragma once
// Scanned pages not stored when the program was ended from outside (a termination signal, the
// display going away): kept in a private per-user data folder (start-up clears the temp folder)
// and brought back after sign-on. Every kept document has its own pair of files, so a later one
// never replaces an earlier one; each stays until it is brought back or the operator discards it.
#include <QPointer>
#include <QString>
#include <QStringList>

class QelEzImage;

// The per-user folder of the kept documents (mode 0700).
QString recoveryFolder();
// Where documents are kept when the per-user folder cannot be written: a folder in the private
// working folder (start-up leaves it alone). Both are looked in at the next start.
QString fallbackRecoveryFolder();

// While a road holds the document outside the main views (the redaction editor, the print
// preview), the view or the file that holds it; the innermost one counts.
class HeldDocument {
public:
    explicit HeldDocument(QelEzImage &view);
    explicit HeldDocument(const QString &file);
    ~HeldDocument();
    HeldDocument(const HeldDocument &) = delete;
    HeldDocument &operator=(const HeldDocument &) = delete;

private:
    friend bool saveRecoveryDocument();
    QPointer<QelEzImage> m_view;
    QString m_file;
};
// True while a road holds the document outside the main views.
bool documentHeld();
// Keeps the document in hand with the index values that identify it, when it holds pages not
// stored (a scan under way brings such pages in): redactions burned into the pixels, the other
// annotations as items, files mode 0600. While a store runs, the document kept is the one the
// operator had when it began; while a road holds it outside the views, what the road holds
// (the editor's unsaved changes included). The per-user folder is tried first, then the
// fallback; nothing half-written is left in either. True when a document was kept; raises
// (naming both folders) when it could not be written anywhere.
bool saveRecoveryDocument();
// The name of barcode pages whose documents are not known yet (their barcodes name them at Store).
QString barcodeStackName();
// Keeps pages (a control of their own) as a document named name, with the index values in force,
// for the next start; raises as saveRecoveryDocument does.
void keepRecoveryPages(QelEzImage &pages, const QString &name);
// Says text at the next start (once): what a run ended by the program's end left undone.
void noteEndedRun(const QString &text);
// Says what a run ended by the program's end left undone, then brings back the oldest kept document not tried yet in this session: its lookup again as Start
// makes it, then its pages in both views as not stored; the kept files go. One that cannot be
// looked up, or whose document has changed on the host since, is named (folder and file) and
// kept unless the operator discards it; the next one is tried. One that cannot be loaded is set
// aside and named. Returns after the first one brought back.
void restoreRecoveryDocument();
