#include "batch/filterpass.h"

#include <QApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QVBoxLayout>

#include "batch/pageops.h"
#include "core/errors.h"
#include "core/state.h"
#include "platform/analysis/ip2.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

Q_LOGGING_CATEGORY(lcFilters, "quorla.batch", QtInfoMsg)

bool IP2::isBlankResult(const IP2Image &image)
{
    const IP2Results &results = image.results();
    const int count = results.count();
    if (count < 1)
        return false;
    for (int i = 1; i <= count; ++i) {
        const IP2Result &item = results.item(i);
        if (item.name() != QLatin1String("Blank"))
            continue;
        const QVariant value = item.value();
        if (value.typeId() == QMetaType::Bool)
            continue; // True is -1, never 1
        bool ok = false;
        if (value.toDouble(&ok) == 1.0 && ok)
            return true;
    }
    return false;
}

QelEzImage &ezBarcode()
{
    // Lives as long as the process; never shown.
    static QelEzImage *control = [] {
        auto *c = new QelEzImage(QelEzImage::Kind::PageView);
        c->setObjectName(QStringLiteral("ezBarcode"));
        return c;
    }();
    return *control;
}

bool DetectBlank(QelEzImage &control, int flag)
{
    (void)flag;
    Trap trap;
    try {
        trap(1);
        if (!g_blnDetectBlank)
            return false;
        trap(2);
        auto detector = std::make_shared<IP2BlankDetector>();
        detector->setSensitivity(g_intBlankSensitivity);
        trap(3);
        auto margins = std::make_shared<IP2MarginFilter>();
        const QString margin = g_dbMode == MODE_NYBR ? QStringLiteral("1/10in")
                                                     : QStringLiteral("1/30in");
        margins->setSecondMeasure(margin);
        margins->setFirstMeasure(margin);
        margins->setThirdMeasure(QStringLiteral("0in"));
        trap(4);
        FilterChain chain;
        chain.add(std::make_shared<IP2PrefilterA>(), 1);
        chain.add(std::make_shared<IP2PrefilterB>(), 2);
        chain.add(margins, 3);
        chain.add(detector, 4);
        trap(5);
        if (control.hasImage())
            return IP2::isBlankResult(chain.apply(control.pageImage()));
    } catch (...) {
        reportCurrentError(QStringLiteral("DetectBlank"), trap);
    }
    return false;
}

QString doImageProcess(QelEzImage &control, std::shared_ptr<FilterChain> chain, int firstPage,
                       int pageCount)
{
    FrmProcessFilters &form = frmProcessFilters();
    bool waiting = false;
    QString deleted;
    Trap trap;
    try {
        trap(1);
        int count = pageCount == -1 ? control.pageCount() : pageCount;
        trap(2);
        if (!g_FilterSettings)
            g_FilterSettings = std::make_shared<FilterChain>();
        if (!chain)
            chain = g_FilterSettings;
        if ((g_FilterSettings->count() == 0 && !g_blnDetectBlank) || count < 1)
            return deleted;
        trap(3);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        waiting = true;
        form.ProgressBar1->setMaximum(count);
        form.ProgressBar1->setValue(0);
        trap(4);
        QelEzImage &barcode = ezBarcode();
        resetBarcodeTemp(barcode);

        trap(5);
        QString list;
        for (int page = firstPage; page <= firstPage + count - 1; ++page) {
            control.setPage(page);
            DoEvents();
            control.setPageImage(chain->apply(control.pageImage()).image());
            if (DetectBlank(control, 0))
                list += QString::number(page) + QLatin1Char(',');
            form.ProgressBar1->setValue(form.ProgressBar1->value() + 1);
            form.repaint();
            DoEvents();
            if (control.imageWidth() % 8 != 0)
                g_blnByteAligned = false;
        }
        trap(6);
        const qsizetype removed = list.count(u',');
        if (list.size() > 1)
            list.chop(1);
        trap(7);
        control.deletePages(list);
        control.setPage(1);
        if (removed > 0) {
            const bool one = removed == 1;
            const QString line = QStringLiteral("%1 %2 removed: %3 %4")
                                     .arg(QString::number(removed), one ? QStringLiteral("blank page") : QStringLiteral("blank pages"),
                                          one ? QStringLiteral("page") : QStringLiteral("pages"),
                                          QString(list).replace(u',', QStringLiteral(", ")));
            frmMain().lblStatus->setText(control.pageCount() == 0 ? line + QStringLiteral("; no page is left to store") : line);
            qCInfo(lcFilters).noquote() << line;
        }
        deleted = list;
    } catch (...) {
        reportCurrentError(QStringLiteral("doImageProcess"), trap);
    }
    if (waiting)
        QApplication::restoreOverrideCursor();
    return deleted;
}

FrmProcessFilters::FrmProcessFilters() : Form(QStringLiteral("frmProcessFilters"))
{
    setWindowFlag(Qt::Dialog);
    auto *layout = new QVBoxLayout(this);
    Label1 = new QLabel(QStringLiteral("Processing Images..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
}

void FrmProcessFilters::filterInit(QelEzImage &control, std::shared_ptr<FilterChain> chain,
                                   int firstPage, int pageCount, int flag)
{
    if ((!chain || chain->count() == 0) && !g_blnDetectBlank)
        return;
    m_control = &control;
    m_chain = std::move(chain);
    m_firstPage = firstPage;
    m_pageCount = pageCount;
    m_flag = flag;
    Show(vb::vbModal, &frmMain());
}

void FrmProcessFilters::Form_Activate()
{
    // Runs once per showing: a later activation finds nothing kept.
    QelEzImage *control = m_control;
    m_control = nullptr;
    if (!control)
        return;
    Road::Run run(m_pass);
    doImageProcess(*control, m_chain, m_firstPage, m_pageCount);
    m_chain.reset();
    Unload();
}

FrmProcessFilters &frmProcessFilters() { return defaultInstance<FrmProcessFilters>(); }

void process_filters(QelEzImage &control, std::shared_ptr<FilterChain> chain, int firstPage,
                     int pageCount, int flag)
{
    frmProcessFilters().filterInit(control, std::move(chain), firstPage, pageCount, flag);
}
