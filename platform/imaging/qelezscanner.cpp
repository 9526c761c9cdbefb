#include "platform/imaging/qelezscanner.h"

#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"

#include <QObject>

int QelEzScanner::scanPage() { return scan(false); }

int QelEzScanner::scanFeeder() { return scan(true); }

int QelEzScanner::scan(bool allSheets)
{
    const bool inserting = m_scanInsert != 0;
    int count = 0;
    const ScannerSession::PageSink sink = [&](const ScannedPage &page) {
        insertScannedPage(page, inserting ? count : -1);
        ++count;
    };
    ScannerSession &session = scannerSession();
    // The insert request and the batch mark belong to this scan only, also when it fails.
    m_documentDone = false;
    struct Done {
        int &insert;
        ~Done() { insert = 0; }
    } done{m_scanInsert};
    if (allSheets)
        session.scanFeeder(sink);
    else
        session.scanPage(sink);
    return count;
}

void insertScannedPageInto(QelEzImage &control, const ScannedPage &page, int position)
{
    if (position < 0) {
        control.appendPage(page.image);
    } else if (position == 0) {
        const int at = std::max(control.page() - 1, 0);
        control.document()->insertImage(at, page.image);
        control.setPage(at + 1);
        emit control.pagesLoaded();
    } else {
        control.insertPage(page.image);
    }
}

namespace {

// Scanner members for an image control that does not carry them itself.
class ScannerOfControl : public QObject, public QelEzScanner {
public:
    explicit ScannerOfControl(QelEzImage &control) : QObject(&control), m_control(control)
    {
        setObjectName(QStringLiteral("qelEzScanner"));
    }

protected:
    void insertScannedPage(const ScannedPage &page, int position) override
    {
        insertScannedPageInto(m_control, page, position);
    }

private:
    QelEzImage &m_control;
};

} // namespace

QelEzScanner &ezScanner(QelEzImage &control)
{
    if (auto *own = dynamic_cast<QelEzScanner *>(&control))
        return *own;
    for (QObject *child : control.children()) {
        if (auto *s = dynamic_cast<ScannerOfControl *>(child))
            return *s;
    }
    return *new ScannerOfControl(control);
}
