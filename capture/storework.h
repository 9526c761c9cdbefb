#pragma once
// Working steps the paper and e-filed stores share: parked annotation files, files on the
// share, the annotation merge wait and the windows a store repaints.
#include <QString>
#include <QStringList>

#include <optional>

#include "core/errors.h"
#include "host/hostcall.h"

class AdoConnection;
class QelAnnotDocument;
class QelEzImage;
class Form;

// "Quorla.ann" followed by the page number.
QString parkedAnnotationName(int page);
// Deletes the parked annotation file of every page 1..pages from the temp folder.
void deleteParkedAnnotations(int pages);
// Deletes folder + name (a host path) when it exists; nothing for an empty name.
void deleteOnShare(const QString &folder, const QString &name);
// Copies source over destination (a local path), whole or not at all. Raises when the copy
// cannot be made, so a store never goes on to register a file that is not there.
void copyToShare(const QString &source, const QString &destination);
// Copies source into folder (a host path) under the first free name from name on (see
// freeStoreName), created exclusively: a name taken meanwhile moves the search on. Returns the
// name used; raises when the copy cannot be made.
QString copyToShareFree(const QString &source, const QString &folder, const QString &name,
                        const QString &ending, qint32 &counter);
// Removes whatever items a refusing security handler left on the set; its properties stay.
void emptyAnnotationSet(QelAnnotDocument &set);
// Starts the main window's annotation merge (a page a timer tick) and yields until it is done;
// false when a tick failed (the tick has reported it).
bool runAnnotationMerge();
// Repaints the window in front of the store: batch progress, batch rotate progress, barcode
// separation or the store window.
void refreshFrontWindow();
// Repaints the store window when it is loaded.
void refreshStoreWindow();

// Saves the page view's whole document to file, its annotations as items; the view's own save
// settings stay as they were. Unchecked: a copy only to put back (see QelEzImage::save).
void saveDocumentCopy(QelEzImage &view, const QString &file, bool checked = true);

// The image a registration sends the host: the name registered, its size in bytes and pages,
// and the digest of its file's bytes.
struct SentImage {
    QString name;
    qint64 size = 0;
    int pages = 0;
    QByteArray digest;
};
SentImage sentImage(const QString &file, const QString &name, int pages);

// False, with the operator told, when the host's fields cannot carry the image's size (9 digits)
// or page count (4 digits).
bool fitsTheHost(qint64 size, int pages);

// The current document's registration whose store did not finish: its answer was lost, or a
// step after it (the e-file hand-over) did not go through. Known by the document's index values;
// a new start knows none except through a kept document.
std::optional<SentImage> openRegistration();
void keepOpenRegistration(const SentImage &image);
void closeOpenRegistration();
void forgetOpenRegistrations();

enum class HostHolds { Yes, No, Unknown };

// The image the records host holds for the current document: the lookup of the program that
// registers it (IM655R for a certificate, else IM650R), then, when it has one with `pages` pages
// (any count for -1), where it lies (IM091R). `held` is No without an image, Unknown when a call
// failed (it was reported); `file` (a local path) is set only when the image was looked for and
// its location names a place on the share. The
// document's index values stay as they were.
struct HeldImage {
    HostHolds held = HostHolds::Unknown;
    int pages = 0;
    QString file;
};
HeldImage heldImage(const HostSettings &s, int pages = -1);

// Whether the records host holds exactly this image for the current document: its pages, size
// and bytes.
HostHolds hostHoldsImage(const HostSettings &s, const SentImage &image);

// How far an e-filed document's store got on the host: its image not registered, registered but
// not handed over (the burned image is not the registered one), or both; `image` is the
// registered image (a local path).
enum class EFiledStore { Open, Registered, HandedOver, Unknown };
struct EFiledHolding {
    EFiledStore state = EFiledStore::Unknown;
    QString image;
};
EFiledHolding eFiledHolding(const HostSettings &s);

// The end of a batch or barcode log line for a document whose store did not succeed: failed, or
// may have been stored when the host's answer to its registration was lost.
QString notStoredLogText();

// The operator's words for an answer lost: a registration the host can be asked about (the next
// Store asks first), one it cannot (counted as done), and an earlier store found on the host.
void reportUnknownOutcome();
void reportAnswerLostCountedStored();
void reportAlreadyStored();
// True once after a store found the host already holding the document (nothing registered).
bool takeStoreFoundHeld();

// The document is on the host: leaving it asks nothing, and Store is off until it changes.
void leaveAsStored();

// While a store runs: its copy of the document as the operator had it when the store began;
// empty when no store runs.
QString documentCopyOfStoreUnderWay();

// Undoes a store that does not get to release() (a failure, a refusal, an error), on
// destruction: the document goes back into both views as the operator had it when the store
// began (the same pages with their annotations, the page that was current, Store enabled), held
// in a working file of the temp folder, and the files the store put on the share are removed
// again, so none is left unregistered; a file it replaced comes back.
class StoreRollback {
public:
    // Keeps a copy of the page view's document in the temp folder.
    StoreRollback(QelEzImage &view, QelEzImage &tree);
    ~StoreRollback();
    StoreRollback(const StoreRollback &) = delete;
    StoreRollback &operator=(const StoreRollback &) = delete;
    // A file the store has put on the share (a local path).
    void placed(const QString &shareFile) { m_placed << shareFile; }
    // Copies source beside a path on the share where the host may already have a file, to be
    // put in its place by swapStaged(); until then the host's file is untouched. Raises as
    // copyToShare.
    void stageOver(const QString &source, const QString &shareFile);
    // The staged copy takes the place of the host's file, which waits aside until the store is
    // over: released, it goes; else it comes back. Raises as copyToShare.
    void swapStaged();
    // The host may have registered what was placed (its answer was lost): those files stay on
    // the share, the document still comes back.
    void keepPlaced();
    // The store succeeded (it is registered): nothing is undone.
    void release();
    // The copy of the document as it was when the store began.
    const QString &copy() const { return m_file; }

private:
    // True when the document is back in the views.
    bool restore();
    QelEzImage &m_view;
    QelEzImage &m_tree;
    QString m_file;
    QString m_original; // the file the view showed
    int m_page = 1;
    int m_annotationLayer = 0;
    int m_annotationOption = 1;
    QString m_saveFileName;
    bool m_print = false; // Print and Redact as they were: emptying the view turns them off
    bool m_redact = false;
    QStringList m_placed;
    QList<QPair<QString, QString>> m_replaced; // the host's file and where it waits meanwhile
    QString m_staged, m_stagedFor;             // a copy beside the host's file, and that file
    bool m_released = false;
};
