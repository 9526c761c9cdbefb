#include "annotate/frmImagePrintPreview.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>

#include "annotate/security.h"
#include "core/errors.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/imagingerror.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"

FrmImagePrintPreview::FrmImagePrintPreview() : Form(QStringLiteral("frmImagePrintPreview"))
{
    setCaption(QStringLiteral("Korvane Scan Tool - Image Print Preview"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    menuBar = new QMenuBar(this);
    outer->setMenuBar(menuBar);

    mnuPrint = addControl(menuBar->addMenu(QStringLiteral("&Print")), QStringLiteral("mnuPrint"));
    mnuPrintPrintSetup = addControl(mnuPrint->addAction(QStringLiteral("Print &Setup...")),
                                    QStringLiteral("mnuPrintPrintSetup"));
    mnuPrintPrint = addControl(mnuPrint->addMenu(QStringLiteral("&Print")), QStringLiteral("mnuPrintPrint"));
    mnuPrintPagesFitPage = addControl(mnuPrintPrint->addAction(QStringLiteral("Fit Page")),
                                      QStringLiteral("mnuPrintPagesFitPage"));
    mnuPrintPagesActualSize = addControl(mnuPrintPrint->addAction(QStringLiteral("Actual Size")),
                                         QStringLiteral("mnuPrintPagesActualSize"));
    mnuPrintPagesActualPixels = addControl(mnuPrintPrint->addAction(QStringLiteral("Actual Pixels")),
                                           QStringLiteral("mnuPrintPagesActualPixels"));
    for (QAction *item : {mnuPrintPagesFitPage, mnuPrintPagesActualSize, mnuPrintPagesActualPixels})
        item->setCheckable(true);
    mnuSep1 = addControl(mnuPrint->addSeparator(), QStringLiteral("mnuSep1"));
    mnuPrintExit = addControl(mnuPrint->addAction(QStringLiteral("E&xit")), QStringLiteral("mnuPrintExit"));

    Toolbar1 = addControl(new QToolBar(this), QStringLiteral("Toolbar1"));
    QAction *setupButton = Toolbar1->addAction(QStringLiteral("Print Setup"));
    QAction *printButton = Toolbar1->addAction(QStringLiteral("Print"));
    outer->addWidget(Toolbar1);

    auto *views = new QWidget(this);
    auto *row = new QHBoxLayout(views);
    row->setContentsMargins(0, 0, 0, 0);
    QelEzImage1 = addControl(new QelEzImage(QelEzImage::Kind::Thumbnails, views), QStringLiteral("QelEzImage1"));
    QelEzImage1->setFixedWidth(140);
    QelEzImage2 = addControl(new QelEzImage(QelEzImage::Kind::PageView, views), QStringLiteral("QelEzImage2"));
    row->addWidget(QelEzImage1);
    row->addWidget(QelEzImage2, 1);
    outer->addWidget(views, 1);
    StatusBar1 = addControl(new QStatusBar(this), QStringLiteral("StatusBar1"));
    outer->addWidget(StatusBar1);
    resize(800, 600);

    connect(mnuPrintPrintSetup, &QAction::triggered, this, [this] { mnuPrintPrintSetup_Click(); });
    // Only "Fit Page" has a command; the other two items change nothing, not even their marks.
    connect(mnuPrintPagesFitPage, &QAction::triggered, this, [this](bool checked) {
        mnuPrintPagesFitPage->setChecked(!checked);
        mnuPrintPagesFitPage_Click();
    });
    connect(mnuPrintPagesActualSize, &QAction::triggered, this,
            [this](bool checked) { mnuPrintPagesActualSize->setChecked(!checked); });
    connect(mnuPrintPagesActualPixels, &QAction::triggered, this,
            [this](bool checked) { mnuPrintPagesActualPixels->setChecked(!checked); });
    connect(mnuPrintExit, &QAction::triggered, this, [this] { mnuPrintExit_Click(); });
    connect(setupButton, &QAction::triggered, this, [this] { Toolbar1_ButtonClick(1); });
    connect(printButton, &QAction::triggered, this, [this] { Toolbar1_ButtonClick(2); });
    connect(QelEzImage2, &QelEzImage::mouseDown, this,
            [this](int button, int shift, int x, int y) { QelEzImage2_MouseDown(button, shift, x, y); });
    connect(QelEzImage2, &QelEzImage::dblClick, this, [this] { QelEzImage2_DblClick(); });
}

FrmImagePrintPreview &frmImagePrintPreview() { return defaultInstance<FrmImagePrintPreview>(); }

void FrmImagePrintPreview::InitPermRedact(QelAnnotDocument *doc, qint32 annotationType)
{
    Trap trap;
    try {
        trap(1);
        AnnotPerms::seedPerm(doc, annotationType,
                             annotationType == QelAnnotType::Redaction ? AnnotPermBit::All
                                                                       : AnnotPermBit::ChangeProperty70);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmImagePrintPreview::InitPermRedact"), trap);
    }
}

void FrmImagePrintPreview::InitializePermsRedaction()
{
    Trap trap;
    try {
        for (qint32 type : {QelAnnotType::Redaction, QelAnnotType::Text}) {
            trap(type);
            InitPermRedact(QelEzImage2->annotationSet(), type);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("frmImagePrintPreview::InitializePermsRedaction"), trap);
    }
}

void FrmImagePrintPreview::SetupPrintPreview()
{
    Trap trap;
    try {
        trap(1);
        QelEzImage2->setImageFile(m_imageFile);
        trap(2);
        QelEzImage1->setImageHandle(QelEzImage2->imageHandle());
        trap(3);
        // Seeding permissions must not leave a set looking edited.
        const AnnotDocValue value(*QelEzImage2);
        trap(4);
        const int pages = QelEzImage2->pageCount();
        {
            const QelEzPageWalk walk(*QelEzImage2);
            for (int page = 1; page <= pages; ++page) {
                QelEzImage2->setPage(page);
                InitializePermsRedaction();
                value.handBack();
                requirePageSet(*QelEzImage2)->adoptSecurity(std::make_unique<ItemSecurityRedact>());
            }
            trap(5);
            if (pages > 0)
                QelEzImage2->setPage(1);
        }
        trap(6);
        switch (g_intDefaultPrintScale) {
        case 0:
        case 1:
        case 2:
            mnuPrintPagesFitPage->setChecked(g_intDefaultPrintScale == 0);
            mnuPrintPagesActualSize->setChecked(g_intDefaultPrintScale == 1);
            mnuPrintPagesActualPixels->setChecked(g_intDefaultPrintScale == 2);
            break;
        default:
            break;
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("frmImagePrintPreview::SetupPrintPreview"), trap);
    }
}

void printAtDefaultScale(QelEzImage &strip)
{
    strip.setPrintScale(g_intDefaultPrintScale);
    strip.print();
}

void FrmImagePrintPreview::mnuPrintPagesFitPage_Click()
{
    Trap trap;
    try {
        trap(1);
        printAtDefaultScale(*QelEzImage1);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmImagePrintPreview::mnuPrintPagesFitPage_Click"), trap);
    }
}

void FrmImagePrintPreview::mnuPrintPrintSetup_Click()
{
    Trap trap;
    try {
        trap(1);
        const qint32 result = QelEzImage1->printerSetup();
        DoEvents();
        trap(2);
        if (result == 0) {
            printAtDefaultScale(*QelEzImage1);
            trap(3);
            mnuPrintExit_Click();
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("frmImagePrintPreview::mnuPrintPrintSetup_Click"), trap);
    }
}

void FrmImagePrintPreview::Toolbar1_ButtonClick(int index)
{
    if (index == 1) {
        mnuPrintPrintSetup_Click();
    } else if (index == 2) {
        mnuPrintPagesFitPage_Click();
        mnuPrintExit_Click();
    }
}

void FrmImagePrintPreview::mnuPrintExit_Click()
{
    try {
        QelEzImage2->clearImage();
    } catch (...) {
    }
    try {
        DoEvents();
    } catch (...) {
    }
    try {
        Hide();
    } catch (...) {
    }
}

void FrmImagePrintPreview::Form_QueryUnload(int &cancel, int unloadMode)
{
    (void)cancel;
    (void)unloadMode;
    Trap trap;
    try {
        trap(1);
        mnuPrintExit_Click();
    } catch (...) {
        reportCurrentError(QStringLiteral("frmImagePrintPreview::Form_QueryUnload"), trap);
    }
}

void FrmImagePrintPreview::QelEzImage2_MouseDown(int button, int shift, int x, int y)
{
    (void)x;
    (void)y;
    g_MouseButtons[0] = (button & 1) != 0;
    g_MouseButtons[1] = (button & 4) != 0;
    g_MouseButtons[2] = (button & 2) != 0;
    g_MouseButtons[3] = (shift & 4) != 0;
    g_MouseButtons[4] = (shift & 1) != 0;
    g_MouseButtons[5] = (shift & 2) != 0;
}

void FrmImagePrintPreview::QelEzImage2_DblClick()
{
    if (!g_MouseButtons[0])
        return;
    // Selection mode, then every item of the page selected.
    try {
        QelEzImage2->setAnnotationTool(1);
    } catch (...) {
    }
    int count = 0;
    try {
        count = QelEzImage2->itemCount();
    } catch (...) {
    }
    for (int i = 0; i < count; ++i) {
        try {
            QelEzImage2->selectItem(QelEzImage2->item(i));
        } catch (...) {
        }
    }
}
