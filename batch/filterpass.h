#pragma once
// The image-filter pass over newly scanned pages and the blank-page test, run inside a small
// modal progress window over the main window.
#include <QLoggingCategory>
#include <QString>

#include <memory>

#include "platform/forms/forms.h"

// The pass's log and the batch road's: "quorla.batch".
Q_DECLARE_LOGGING_CATEGORY(lcFilters)

class FilterChain;
class IP2Image;
class QelEzImage;
class QLabel;
class QProgressBar;

namespace IP2 {
// True when the processed image carries a result "Blank" whose value is 1.
bool isBlankResult(const IP2Image &image);
}

// The barcode image control the passes work in (hidden; created on first use).
QelEzImage &ezBarcode();

// Runs the chain over pages first .. first + count - 1 (count -1: to the last page), deletes the
// blank ones at the end and clears g_blnByteAligned for a page width not a multiple of 8. Returns
// the pages deleted as blank, as the delete call had them ("2,4"; empty when none).
QString doImageProcess(QelEzImage &control, std::shared_ptr<FilterChain> chain, int firstPage,
                       int pageCount);
// True when the control's current page is blank (always false while detection is off).
bool DetectBlank(QelEzImage &control, int flag);
// Shows the progress window, which runs the pass, unless there is nothing to do.
void process_filters(QelEzImage &control, std::shared_ptr<FilterChain> chain, int firstPage,
                     int pageCount, int flag);

class FrmProcessFilters : public Form {
    Q_OBJECT
public:
    FrmProcessFilters();

    QProgressBar *ProgressBar1;
    QLabel *Label1;

    void filterInit(QelEzImage &control, std::shared_ptr<FilterChain> chain, int firstPage,
                    int pageCount, int flag);
    void Form_Activate() override;

private:
    QelEzImage *m_control = nullptr;
    std::shared_ptr<FilterChain> m_chain;
    int m_firstPage = 1;
    int m_pageCount = -1;
    int m_flag = 0;
    // The pass yields between pages: a request to end waits for it instead of closing the window
    // under it.
    Road m_pass{*this};
};

FrmProcessFilters &frmProcessFilters();
