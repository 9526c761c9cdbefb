#include "batch/barcodesep.h"

#include <algorithm>
#include <optional>

#include <QDate>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "batch/barcodes.h"
#include "batch/filterpass.h"
#include "batch/frm1stBarcode.h"
#include "batch/frmBarcodeLog.h"
#include "batch/frmBarcodeScan.h"
#include "batch/frmbcPageMismatch.h"
#include "batch/pageops.h"
#include "capture/store.h"
#include "capture/storework.h"
#include "core/errors.h"
#include "core/recovery.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "host/im650r.h"
#include "platform/ado/ado.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString TAB = QStringLiteral("\t");

bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// month/day/year of the index globals.
QString mdy() { return g_Month + QStringLiteral("/") + g_Day + QStringLiteral("/") + g_Year; }

void setIndexGlobals(const BarcodeDocument &doc)
{
    g_CTLNum = doc.CtlNum;
    g_Month = doc.Month;
    g_Day = doc.Day;
    g_Year = doc.Year;
}

void setStatus(const QString &text)
{
    frmBarcodeScan().lblBarcodeScan->setText(text);
}

// Pages of the stack (first, last) that were not stored because something failed, and the
// document their barcode named (none: not known).
struct StackRange {
    int first;
    int last;
    std::optional<BarcodeDocument> document;
};
using StackRanges = QList<StackRange>;

int pagesIn(const StackRanges &ranges)
{
    int pages = 0;
    for (const StackRange &r : ranges)
        pages += r.last - r.first + 1;
    return pages;
}

// The documents from position i of the list to the end of the stack, each its own range.
void appendRest(StackRanges &ranges, const BarcodeDocuments &documents, size_t i, int stackPages)
{
    for (size_t j = i; j < documents.size(); ++j) {
        const int last = j + 1 < documents.size() ? documents[j + 1].FirstPage - 1 : stackPages;
        if (last >= documents[j].FirstPage)
            ranges.append({documents[j].FirstPage, last, documents[j]});
    }
}

// Puts those pages back into both views, in stack order, as a document still to be stored.
void giveBackUnstored(QelEzImage &barcode, const StackRanges &ranges)
{
    if (ranges.isEmpty())
        return;
    FrmMain &main = frmMain();
    DeleteTemp();
    for (const StackRange &r : ranges)
        CopyPages(barcode, *main.ezTreeView, r.first, r.last);
    main.ezTreeView->setVisible(true);
    main.ezPageView->setVisible(true);
    main.lblPageNum->setVisible(true);
    setPromptStore();
}

// The program ends: each document not stored is kept for the next start under what its barcode
// named; those that could not be kept stay in ranges, to go back to the views for the ending to
// keep or report. Without an end asked, all stay.
void keepWhenEnding(QelEzImage &barcode, StackRanges &ranges)
{
    while (quitRequested() && !ranges.isEmpty()) {
        const StackRange &r = ranges.first();
        setIndexGlobals(r.document.value_or(BarcodeDocument{}));
        const QString name =
            r.document ? mdy() + QStringLiteral(" Control ") + g_CTLNum : barcodeStackName();
        QelEzImage document;
        CopyPages(barcode, document, r.first, r.last);
        try {
            keepRecoveryPages(document, name);
        } catch (...) {
            return;
        }
        ranges.removeFirst();
    }
}

QString notStoredLine(int pages, const StackRanges &left)
{
    return QStringLiteral("Pages not stored: ") + QString::number(pages)
           + (left.isEmpty() ? QStringLiteral(" (kept for the next start)") : QStringLiteral(" (back in the page view)"))
           + CRLF;
}

} // namespace

bool parseDocumentBarcode(const QString &text, qint16 page, BarcodeDocument &document)
{
    if (text.size() != 13)
        return false;
    const QString year = text.mid(0, 4);
    const QString month = text.mid(4, 2);
    const QString day = text.mid(6, 2);
    // Month first, as every date here is written; a text that is no calendar date starts nothing.
    if (!allDigits(year) || !allDigits(month) || !allDigits(day)
        || !QDate(year.toInt(), month.toInt(), day.toInt()).isValid())
        return false;
    document.Barcode = text;
    document.FirstPage = page;
    document.CtlNum = text.mid(8, 5);
    document.Month = month;
    document.Day = day;
    document.Year = year;
    return true;
}

void CopyPages(QelEzImage &source, QelEzImage &target, int firstPage, int lastPage)
{
    Trap trap;
    try {
        trap(1);
        if (lastPage == -1)
            lastPage = source.pageCount();
        for (int page = firstPage; page <= lastPage; ++page) {
            trap(2);
            source.setPage(page);
            DoEvents();
            trap(3);
            const QImage image = source.pageImage();
            const int rotation = source.rotation();
            target.appendPage(image);
            target.setRotation(rotation);
        }
        trap(4);
        if (source.pageCount() > 0)
            source.setPage(1);
        if (target.pageCount() > 0)
            target.setPage(1);
        DoEvents();
    } catch (...) {
        reportCurrentError(QStringLiteral("CopyPages"), trap);
    }
}

void insertBCDoc(const BarcodeDocument &record, BarcodeDocuments &documents, int position)
{
    Trap trap;
    try {
        trap(1);
        if (position < 0 || position > int(documents.size()))
            raiseVbError(vbErr::SubscriptOutOfRange);
        documents.insert(documents.begin() + position, record);
    } catch (...) {
        reportCurrentError(QStringLiteral("insertBCDoc"), trap);
    }
}

void processBarcodes()
{
    FrmMain &main = frmMain();
    FrmBarcodeScan &progress = frmBarcodeScan();
    Road::Run run(progress.road);
    if (!run)
        return;
    QelEzImage &barcode = ezBarcode();
    AdoConnection conn;
    QString log;
    // Stores that failed, and on a failure here the first page not yet dealt with (0: the stack
    // is still in the views).
    StackRanges unstored;
    int restFrom = 0;
    BarcodeDocuments documents(1);
    Trap trap;
    try {
        trap(1);
        openHostConnection(conn);

        trap(2);
        log = QStringLiteral("Begin Barcode Process at ") + Now() + CRLF;
        QString errors;
        setStatus(QStringLiteral("Begin Barcode Process."));

        trap(3);
        resetBarcodeTemp(barcode);

        // The stack is kept in memory so that emptying the viewers below loses nothing.
        trap(4);
        const QString memName = QStringLiteral("mem:\\\\") + QStringLiteral("temp2.tif");
        saveAndCloseDocument(*main.ezPageView, memName, 1);
        main.ezPageView->setImageFile(memName);

        trap(5);
        CopyPages(*main.ezTreeView, barcode, 1, -1);
        DeleteTemp();
        restFrom = 1;
        setStatus(QStringLiteral("Pages copied for barcode processing."));

        trap(6);
        const int stackPages = barcode.pageCount();
        for (int page = 1; page <= stackPages; ++page) {
            setStatus(QStringLiteral("Processing Barcodes."));
            progress.ProgressBar1->setMaximum(stackPages);
            barcode.setPage(page);
            DoEvents();
            const QString text = DetectBarcode(barcode);
            BarcodeDocument doc;
            if (text.size() == 13) {
                if (parseDocumentBarcode(text, qint16(page), doc))
                    documents.push_back(doc);
            } else if (page == 1) {
                trap(7);
                const BarcodeDocument answer = getFirstPage();
                if (answer.CtlNum.isEmpty()) {
                    log += QStringLiteral("Process aborted by user") + CRLF;
                    g_strBarcodeLog = log;
                    CopyPages(barcode, *main.ezTreeView, 1, -1);
                    progress.Unload();
                    frmBarcodeLog().showLog(log, nullptr, QString());
                    return;
                }
                insertBCDoc(answer, documents, 1);
                trap(6);
            }
            progress.ProgressBar1->setValue(page);
        }

        trap(8);
        auto upper = [&documents] { return int(documents.size()) - 1; };
        const int n = upper();
        setStatus(QStringLiteral("Documents processed") + QStringLiteral(" Doc count: ") + QString::number(n));
        log += QStringLiteral("Document Count: ") + QString::number(n) + CRLF;
        progress.ProgressBar1->setValue(0);
        if (n < 1)
            MsgBox(QStringLiteral("Doc count: ") + QString::number(n) + CRLF
                       + QStringLiteral("Please contact Korvane with this message."),
                   vb::vbOKOnly, QStringLiteral("Error"));
        else
            progress.ProgressBar1->setMaximum(n);

        trap(9);
        bool stopped = false;
        for (int i = 1; i <= upper(); ++i) {
            const BarcodeDocument record = documents[size_t(i)];
            // Asked to end (the program closes): nothing more is stored, the rest stays.
            if (quitRequested()) {
                appendRest(unstored, documents, size_t(i), barcode.pageCount());
                stopped = true;
                break;
            }
            restFrom = record.FirstPage;
            setIndexGlobals(record);
            const QString ctl = g_CTLNum;
            setStatus(QStringLiteral("Checking validity of ") + g_Year + QStringLiteral(" ") + g_Month
                      + QStringLiteral(" ") + g_Day + QStringLiteral(" ") + ctl + QStringLiteral(": ")
                      + QString::number(i) + QStringLiteral(" of ") + QString::number(upper()));

            trap(10);
            if (!IM650R(conn, QStringLiteral("A"), QString(), QString(), QString())) {
                if (hostCallFailed()) {
                    // No answer is no "not found": this document and the rest of the stack stay.
                    const QString why = hostReplyLost() ? QStringLiteral(": the records host did not answer its lookup.")
                                                        : QStringLiteral(": the records host refused its lookup.");
                    const QString line = QStringLiteral("Document ") + mdy() + QStringLiteral(" ") + ctl + why + CRLF;
                    errors += line;
                    log += line;
                    appendRest(unstored, documents, size_t(i), barcode.pageCount());
                    stopped = true;
                    break;
                }
                const QString line = QStringLiteral("Document ") + mdy() + QStringLiteral(" ") + ctl
                                     + QStringLiteral(" not found in database.") + CRLF;
                errors += line;
                log += line;
                continue;
            }

            trap(11);
            bool store = true;
            const int first = record.FirstPage;
            const int last = i == upper() ? barcode.pageCount() : documents[size_t(i + 1)].FirstPage - 1;
            int count = last - first + 1;
            CopyPages(barcode, *main.ezTreeView, first, last);

            const double expected = Val(g_NumPages);
            auto notStored = [&](int pages) {
                return QStringLiteral("Document ") + mdy() + QStringLiteral(" ") + ctl
                       + QStringLiteral(" NOT STORED due to page mismatch. ") + CRLF + TAB
                       + QStringLiteral("Expected Pages: ") + g_NumPages + CRLF + TAB
                       + QStringLiteral("Scanned Pages: ") + QString::number(pages) + CRLF;
            };
            auto storedWithMismatch = [&](int pages) {
                return QStringLiteral("Document ") + mdy() + QStringLiteral(" ") + ctl
                       + QStringLiteral(" stored with page mismatch. ") + CRLF + TAB
                       + QStringLiteral("Expected Pages: ") + g_NumPages + CRLF + TAB
                       + QStringLiteral("Stored Pages: ") + QString::number(pages) + CRLF;
            };

            trap(12);
            if (count > expected && expected != 0) {
                BarcodeDocument asked = record;
                const BarcodeDocument answer = checkBcPageMismatch(asked);
                if (answer.CtlNum == u"no store") {
                    const QString block = notStored(count);
                    errors += block;
                    log += block;
                    store = false;
                    DeleteTemp();
                } else if (answer.CtlNum.isEmpty()) {
                    const QString block = storedWithMismatch(count);
                    errors += block;
                    log += block;
                } else {
                    insertBCDoc(answer, documents, i + 1);
                    progress.ProgressBar1->setMaximum(upper());
                    setIndexGlobals(record);
                    log += QStringLiteral("Piggy-back of ") + mdy() + QStringLiteral(" ") + ctl
                           + QStringLiteral(" and ") + answer.Month + QStringLiteral("/") + answer.Day
                           + QStringLiteral("/") + answer.Year + QStringLiteral(" ") + answer.CtlNum
                           + QStringLiteral(" corrected.") + CRLF + QStringLiteral("Updated Document Count:")
                           + QString::number(upper()) + CRLF;
                    // The pages from the missed document on left the tree; what stays is stored.
                    count = answer.FirstPage - first;
                    if (count < 1) {
                        const QString line = QStringLiteral("Document ") + mdy() + QStringLiteral(" ") + ctl
                                             + QStringLiteral(" NOT STORED: the correction left it no pages.") + CRLF;
                        errors += line;
                        log += line;
                        store = false;
                        DeleteTemp();
                    }
                }
            } else if (expected > count) {
                trap(13);
                const QString prompt =
                    QStringLiteral("The number of pages scanned for ") + mdy() + QStringLiteral(" ") + ctl
                    + QStringLiteral(" is less than expected.") + CRLF + CRLF + QStringLiteral("Scanned Pages: ")
                    + QString::number(count) + CRLF + QStringLiteral("Expected Pages: ") + g_NumPages + CRLF + CRLF
                    + QStringLiteral("If you store this document the database will be updated to reflect the "
                                     "number of pages scanned.")
                    + CRLF + QStringLiteral("If you do not store this document, it will need to be rescanned.")
                    + CRLF + CRLF + QStringLiteral("Do you wish to continue to store ") + mdy()
                    + QStringLiteral(" ") + ctl + QStringLiteral(" with ") + QString::number(count)
                    + QStringLiteral(" pages?");
                if (MsgBox(prompt, vb::vbYesNo, QStringLiteral("Page Mismatch Error"), vb::vbNo) == vb::vbYes) {
                    const QString block = storedWithMismatch(count);
                    errors += block;
                    log += block;
                } else {
                    const QString block = notStored(count);
                    errors += block;
                    log += block;
                    store = false;
                    DeleteTemp();
                }
            }

            if (store) {
                trap(14);
                main.ezPageView->setPage(main.ezTreeView->page());
                DoEvents();
                setStatus(QStringLiteral("Storing ") + g_Year + QStringLiteral(" ") + g_Month + QStringLiteral(" ")
                          + g_Day + QStringLiteral(" ") + ctl + QStringLiteral(": ") + QString::number(i)
                          + QStringLiteral(" of ") + QString::number(upper()));
                trap(15);
                takeStoreFoundHeld();
                if (do_store(false)) {
                    log += mdy() + QStringLiteral(" ") + ctl
                           + (takeStoreFoundHeld() ? QStringLiteral(" already stored: the records host holds it as "
                                                                    "scanned.")
                                                   : QStringLiteral(" stored successfully."))
                           + CRLF + TAB + QStringLiteral("Stored Pages: ") + QString::number(count) + CRLF;
                } else {
                    const QString line = mdy() + QStringLiteral(" ") + ctl + notStoredLogText() + CRLF;
                    errors += line;
                    log += line;
                    unstored.append({first, first + count - 1, record});
                }
                trap(16);
                progress.repaint();
                DoEvents();
                DeleteTemp();
                progress.ProgressBar1->setValue(i);
            }
        }

        trap(17);
        restFrom = 0;
        if (const int pages = pagesIn(unstored); pages > 0) {
            keepWhenEnding(barcode, unstored);
            errors += notStoredLine(pages, unstored);
            log += notStoredLine(pages, unstored);
        }
        log += (stopped ? QStringLiteral("Barcode Process stopped at ") : QStringLiteral("Barcode Process completed at "))
               + Now() + CRLF;
        if (!errors.isEmpty())
            log = QStringLiteral("This batch has errors: ") + CRLF + errors + CRLF + CRLF + log;

        trap(18);
        conn.close();
        g_strBarcodeLog = log;
        frmBarcodeLog().showLog(log, nullptr, QString());
        new_bkPg(false, false);
        giveBackUnstored(barcode, unstored);
        // The next document kept when the program was ended comes back in its turn.
        if (unstored.isEmpty() && !quitRequested())
            restoreRecoveryDocument();
    } catch (...) {
        reportCurrentError(QStringLiteral("processBarcodes"), trap);
        // What was not stored yet goes back into the views rather than staying in the hidden control.
        if (restFrom > 0 && restFrom <= barcode.pageCount()) {
            const auto from = std::find_if(documents.cbegin() + 1, documents.cend(),
                                           [restFrom](const BarcodeDocument &d) { return d.FirstPage == restFrom; });
            if (from != documents.cend())
                appendRest(unstored, documents, size_t(from - documents.cbegin()), barcode.pageCount());
            else
                unstored.append({restFrom, barcode.pageCount(), std::nullopt});
        }
        if (const int pages = pagesIn(unstored); pages > 0) {
            keepWhenEnding(barcode, unstored);
            log += notStoredLine(pages, unstored);
            g_strBarcodeLog = log;
            giveBackUnstored(barcode, unstored);
            frmBarcodeLog().showLog(log, nullptr, QString());
        }
    }
}

// ---- the typed answer of both correction dialogs --------------------------------------------------

BarcodeDocument typedBarcodeAnswer(QLineEdit *ctlNum, QLineEdit *month, QLineEdit *day, QLineEdit *year)
{
    BarcodeDocument answer;
    answer.CtlNum = padZeros(CLng(ctlNum->text()), 5);
    answer.Month = padZeros(CLng(month->text()), 2);
    answer.Day = padZeros(CLng(day->text()), 2);
    answer.Year = padZeros(CLng(year->text()), 4);
    return answer;
}

bool checkTypedBarcodeAnswer(QLineEdit *ctlNum, QLineEdit *month, QLineEdit *day, QLineEdit *year)
{
    if (!IsNumeric(year->text()) || !IsNumeric(month->text()) || !IsNumeric(day->text())
        || !IsNumeric(ctlNum->text())) {
        MsgBox(QStringLiteral("Control number, month, day, and year must be numeric values."), vb::vbOKOnly);
        return false;
    }
    Trap trap;
    try {
        trap(1);
        const BarcodeDocument typed = typedBarcodeAnswer(ctlNum, month, day, year);
        setIndexGlobals(typed);
        trap(2);
        AdoConnection conn;
        openHostConnection(conn);
        trap(3);
        const bool found = IM650R(conn, QStringLiteral("A"), QString(), QString(), QString());
        conn.close();
        return found;
    } catch (...) {
        // The host could not be asked: reported, and the dialog stays open.
        reportCurrentError(QStringLiteral("checkBarcodeAnswer"), trap);
        return false;
    }
}

QHBoxLayout *typedDateRow(QLineEdit *ctlNum, QLineEdit *month, QLineEdit *day, QLineEdit *year)
{
    ctlNum->setFixedWidth(60);
    month->setFixedWidth(28);
    day->setFixedWidth(28);
    year->setFixedWidth(44);
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    for (QLineEdit *box : {month, day, year})
        row->addWidget(box);
    row->addStretch();
    return row;
}

void wireTypedDateFields(QLineEdit *ctlNum, QLineEdit *month, QLineEdit *day, QLineEdit *year)
{
    QObject::connect(month, &QLineEdit::textChanged, month, [month, day] {
        if (month->text().size() == 2)
            day->setFocus();
    });
    QObject::connect(day, &QLineEdit::textChanged, day, [day, year] {
        if (day->text().size() == 2)
            year->setFocus();
    });
    // Selecting the whole text on focus.
    struct SelectOnFocus : QObject {
        using QObject::QObject;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::FocusIn)
                if (auto *box = qobject_cast<QLineEdit *>(watched))
                    QMetaObject::invokeMethod(box, [box] { selectAllText(box); }, Qt::QueuedConnection);
            return false;
        }
    };
    for (QLineEdit *box : {ctlNum, month, day, year})
        box->installEventFilter(new SelectOnFocus(box));
}
