#include "annotate/frmImageRedaction.h"

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>

#include <memory>

#include "annotate/security.h"
#include "batch/crop.h"
#include "core/errors.h"
#include "core/layout.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/forms/builders.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"

namespace {

const QString kTitle = QStringLiteral("The Korvane Scan Tool");
constexpr qint32 kTypes[] = {QelAnnotType::Redaction, QelAnnotType::Text, QelAnnotType::Rectangle};

} // namespace

FrmImageRedaction::FrmImageRedaction() : Form(QStringLiteral("frmImageRedaction"))
{
    setCaption(QStringLiteral("Korvane Scan Tool - Image Redaction Processing"));
    QWidget *client = addMenuBar(*this, menuBar);

    mnuRedaction = addControl(menuBar->addMenu(QStringLiteral("&Redaction")), QStringLiteral("mnuRedaction"));
    mnuRedactionExit = addControl(mnuRedaction->addAction(QStringLiteral("E&xit")), QStringLiteral("mnuRedactionExit"));
    mnuEdit = addControl(menuBar->addMenu(QStringLiteral("&Edit")), QStringLiteral("mnuEdit"));
    mnuEditDelete = addControl(mnuEdit->addAction(QStringLiteral("&Delete Selected Annotation")),
                               QStringLiteral("mnuEditDelete"));
    mnuOptions = addControl(menuBar->addMenu(QStringLiteral("&Options")), QStringLiteral("mnuOptions"));
    mnuOptionCropAll = addControl(mnuOptions->addAction(QStringLiteral("Crop All Pages")),
                                  QStringLiteral("mnuOptionCropAll"));
    mnuOptionCropAll->setCheckable(true);
    mnuOptionSticky = addControl(mnuOptions->addAction(QStringLiteral("&Sticky Annotation Mode")),
                                 QStringLiteral("mnuOptionSticky"));
    mnuOptionSticky->setCheckable(true);

    fraButtons = addControl(new QFrame(client), QStringLiteral("fraButtons"));
    fraButtons->setFrameShape(QFrame::StyledPanel);
    fraButtons->setGeometry(6, 4, 600, 34);
    btnAnnRedactControl = addControl(new QPushButton(QStringLiteral("Redact"), fraButtons),
                                     QStringLiteral("btnAnnRedactControl"));
    btnAnnRedactControl->setGeometry(6, 4, 80, 26);
    btnAnnSelectControl = addControl(new QPushButton(QStringLiteral("Select"), fraButtons),
                                     QStringLiteral("btnAnnSelectControl"));
    btnAnnSelectControl->setGeometry(92, 4, 80, 26);
    btnCrop = addControl(new QPushButton(QStringLiteral("Crop"), fraButtons), QStringLiteral("btnCrop"));
    btnCrop->setGeometry(178, 4, 80, 26);
    btnCrop->setEnabled(false);

    QelEzImage1 = addControl(new QelEzImage(QelEzImage::Kind::Thumbnails, client), QStringLiteral("QelEzImage1"));
    QelEzImage1->setGeometry(6, 44, 140, 400);
    QelEzImage2 = addControl(new QelEzImage(QelEzImage::Kind::PageView, client), QStringLiteral("QelEzImage2"));
    QelEzImage2->setGeometry(152, 44, 460, 400);
    StatusBar1 = addControl(new QStatusBar(client), QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, 450, 620, 22);

    setKeyPreview(true);

    connect(mnuRedactionExit, &QAction::triggered, this, [this] { mnuRedactionExit_Click(); });
    connect(mnuEditDelete, &QAction::triggered, this, [this] { mnuEditDelete_Click(); });
    // Both check items change their mark only through their handlers.
    connect(mnuOptionCropAll, &QAction::triggered, this, [this](bool checked) {
        mnuOptionCropAll->setChecked(!checked);
        mnuOptionCropAll_Click();
    });
    connect(mnuOptionSticky, &QAction::triggered, this, [this](bool checked) {
        mnuOptionSticky->setChecked(!checked);
        mnuOptionSticky_Click();
    });
    connect(btnCrop, &QPushButton::clicked, this, [this] { btnCrop_Click(); });
    connect(btnAnnRedactControl, &QPushButton::clicked, this, [this] { btnAnnRedactControl_Click(); });
    connect(btnAnnSelectControl, &QPushButton::clicked, this, [this] { btnAnnSelectControl_Click(); });
    connect(QelEzImage2, &QelEzImage::dblClick, this, [this] { QelEzImage2_DblClick(); });
    connect(QelEzImage2, &QelEzImage::annotationModeChange, this, [this] { QelEzImage2_AnnotationModeChange(); });
    connect(QelEzImage2, &QelEzImage::annotationQuerySave, this,
            [this](int &action, int &format) { QelEzImage2_AnnotationQuerySave(action, format); });
    // The page view adds a dragged region after its mouse-up; a region more than before is a
    // created one.
    connect(QelEzImage2, &QelEzImage::mouseUp, this, [this](int, int, int, int) {
        const int before = QelEzImage2->regionCount();
        QMetaObject::invokeMethod(this, [this, before] {
            if (QelEzImage2->regionCount() > before)
                QelEzImage2_RegionChange(1);
        }, Qt::QueuedConnection);
    });
}

FrmImageRedaction &frmImageRedaction() { return defaultInstance<FrmImageRedaction>(); }

bool redact_set_annotation_security(QWidget *form)
{
    auto *editor = qobject_cast<FrmImageRedaction *>(form);
    return editor && editor->redact_set_annotation_security();
}

// ---- permissions and security ------------------------------------------------------------------

void FrmImageRedaction::InitPermRedact(QelAnnotDocument *doc, qint32 annotationType)
{
    Trap trap;
    try {
        trap(1);
        AnnotPerms::seedPerm(doc, annotationType, AnnotPermBit::All);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::InitPermRedact"), trap);
    }
}

void FrmImageRedaction::InitPermRedactRestrict(QelAnnotDocument *doc, qint32 annotationType)
{
    Trap trap;
    try {
        trap(1);
        AnnotPerms::seedPerm(doc, annotationType, AnnotPermBit::ChangeProperty70);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::InitPermRedactRestrict"), trap);
    }
}

void FrmImageRedaction::InitializePermsRedaction(bool &restricted)
{
    Trap trap;
    try {
        for (qint32 type : kTypes) {
            trap(type);
            QelAnnotDocument *doc = QelEzImage2->annotationSet();
            if (restricted)
                InitPermRedactRestrict(doc, type);
            else
                InitPermRedact(doc, type);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::InitializePermsRedaction"), trap);
    }
}

void FrmImageRedaction::SetupRedaction(qint32 documentType, bool &restricted, const QVariant &reserved)
{
    (void)documentType;
    (void)reserved;
    Trap trap;
    try {
        trap(1);
        QelEzImage2->setImageFile(m_imageFile);
        trap(2);
        const int pages = QelEzImage2->pageCount();
        // The pages walked are not painted; page 1, current at the end, is.
        const QelEzPageWalk walk(*QelEzImage2);
        for (int page = 1; page <= pages; ++page)
            QelEzImage2->setPage(page);
        trap(3);
        QelEzImage2->setCropAllPages(false);
        QelEzImage1->setCropAllPages(false);
        QelEzImage1->setImageHandle(QelEzImage2->imageHandle());
        trap(4);
        // Seeding permissions must not leave a set looking edited.
        const AnnotDocValue value(*QelEzImage2);
        trap(5);
        for (int page = 1; page <= pages; ++page) {
            m_restricted = restricted && page == 1;
            QelEzImage2->setPage(page);
            InitializePermsRedaction(m_restricted);
            value.handBack();
            requirePageSet(*QelEzImage2)->adoptSecurity(std::make_unique<ItemSecurityRedact>());
        }
        trap(6);
        QelEzImage2->setPage(1);
        trap(7);
        QelEzImage::itemTemplate(QelAnnotType::Redaction)->setFillColor(quint32(g_RedactionDefaultFillColor));
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::SetupRedaction"), trap);
    }
}

bool FrmImageRedaction::redact_set_annotation_security()
{
    Trap trap;
    auto step = [&trap](int line, auto &&fn) { runStep(trap, line, fn); };
    try {
        int pages = 0;
        step(1, [&] { pages = QelEzImage2->pageCount(); });
        const QelEzPageWalk walk(*QelEzImage2);
        for (int page = 1; page <= pages; ++page) {
            step(2, [&] { QelEzImage2->setPage(page); });
            const AnnotDocValue value(*QelEzImage2);
            step(4, [&] { InitializePermsRedaction(m_restricted); });
            step(5, [&] { value.handBack(); });
            step(6, [&] { requirePageSet(*QelEzImage2)->adoptSecurity(std::make_unique<ItemSecurity>()); });
        }
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("redact_set_annotation_security"), trap);
        return false;
    }
}

// ---- regions and crop --------------------------------------------------------------------------

void FrmImageRedaction::QelEzImage2_RegionChange(int kind)
{
    Trap trap;
    try {
        trap(1);
        if (kind == 1) {
            btnCrop->setEnabled(true);
            m_regionFlag = true;
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::QelEzImage2_RegionChange"), trap);
    }
}

void FrmImageRedaction::removeAllRegions()
{
    const int count = QelEzImage2->regionCount();
    for (int i = 0; i < count; ++i)
        QelEzImage2->removeRegion(QelEzImage2->region(0));
}

void FrmImageRedaction::btnCrop_Click()
{
    Trap trap;
    try {
        trap(1);
        const int answer = MsgBox(QStringLiteral("Are you sure you want to Crop this image?  Any annotations "
                                                 "outside the cropped area will be lost."),
                                  vb::vbYesNo, kTitle + QStringLiteral(" - Image Crop"));
        if (answer != vb::vbYes)
            return;
        trap(2);
        if (QelEzImage2->regionCount() < 1)
            raiseVbError(vbErr::ObjectVariableNotSet);
        const QRect region = QelEzImage2->currentRegion();
        const qint16 page = qint16(QelEzImage2->page());
        trap(3);
        // A crop that failed has been reported; the document is not taken as cropped.
        if (!do_cropImage(*this, *QelEzImage2, region.left(), region.top(), region.width(),
                          region.height(), page, m_cropAll))
            return;
        trap(4);
        removeAllRegions();
        trap(5);
        gsRedactCropped = QStringLiteral("Y");
        btnCrop->setEnabled(false);
        m_regionFlag = false;
        // The cropped copy counts as changed, so the page view raises its save question when
        // the operator leaves.
        requirePageSet(*QelEzImage2)->setModified(true);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::btnCrop_Click"), trap);
    }
}

void FrmImageRedaction::QelEzImage2_DblClick()
{
    Trap trap;
    try {
        trap(1);
        if (QelEzImage2->regionCount() >= 1)
            btnCrop_Click();
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::QelEzImage2_DblClick"), trap);
    }
}

void FrmImageRedaction::Form_KeyDown(int &keyCode, int shift)
{
    (void)shift;
    if (keyCode != vb::vbKeyDelete || QelEzImage2->regionCount() < 1)
        return;
    removeAllRegions();
    btnCrop->setEnabled(false);
}

void FrmImageRedaction::mnuOptionCropAll_Click()
{
    Trap trap;
    try {
        trap(1);
        const bool on = !mnuOptionCropAll->isChecked();
        m_cropAll = on;
        mnuOptionCropAll->setChecked(on);
        trap(2);
        QelEzImage2->setCropAllPages(on);
        QelEzImage1->setCropAllPages(on);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::mnuOptionCropAll_Click"), trap);
    }
}

// ---- annotation tools --------------------------------------------------------------------------

void FrmImageRedaction::btnAnnRedactControl_Click()
{
    QelEzImage2->setAnnotationTool(0);
    QelEzImage2->annotationToolObject().setTemplate(QelEzImage::itemTemplate(QelAnnotType::Redaction));
}

void FrmImageRedaction::btnAnnSelectControl_Click()
{
    Trap trap;
    try {
        trap(1);
        QelEzImage2->annotationToolObject().setTemplate(nullptr);
        QelEzImage2->setAnnotationTool(1);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::btnAnnSelectControl_Click"), trap);
    }
}

void FrmImageRedaction::mnuOptionSticky_Click()
{
    Trap trap;
    try {
        trap(1);
        QelEzAnnotTool &tool = QelEzImage2->annotationToolObject();
        tool.setSticky(!tool.sticky());
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::mnuOptionSticky_Click()"), trap);
    }
}

void FrmImageRedaction::QelEzImage2_AnnotationModeChange()
{
    Trap trap;
    try {
        trap(1);
        mnuOptionSticky->setChecked(QelEzImage2->annotationToolObject().sticky());
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::QelEzImage2_AnnotationModeChange"), trap);
    }
}

void FrmImageRedaction::mnuEditDelete_Click()
{
    try {
        QelEzImage2->annotationToolObject().deleteSelected();
    } catch (...) {
    }
}

// ---- save query and leaving --------------------------------------------------------------------

void FrmImageRedaction::QelEzImage2_AnnotationQuerySave(qint32 &action, qint32 &format)
{
    Trap trap;
    try {
        const QString title = kTitle + QStringLiteral(" - Image Redaction Annotation Save");
        trap(1);
        if (format == 1) {
            MsgBox(QStringLiteral("We are unable to save Redaction Annotations for Non-TIFF Image files.  "
                                  "Press OK to cancel Redaction processing and contact your system "
                                  "administrator."),
                   vb::vbOKOnly, title);
            action = 0;
            return;
        }
        trap(2);
        int answer = vb::vbYes;
        if (!m_regionFlag)
            answer = MsgBox(QStringLiteral("Annotations have been added, changed, or deleted.  Would you "
                                           "like to save these changes?"),
                            vb::vbYesNo, title);
        trap(3);
        // Declined: the document is as it was before the editor, stored or not.
        if (answer == vb::vbNo) {
            gsRedactCropped = QStringLiteral("N");
            action = 3;
            return;
        }
        trap(4);
        gsRedactCropped = QStringLiteral("Y");
        QelEzImage2->setPage(1);
        format = 3;
        action = 2;
        g_blnPromptStore = true;
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::QelEzImage2_AnnotationQuerySave"), trap);
    }
}

void FrmImageRedaction::mnuRedactionExit_Click()
{
    // Every step runs; a failing one is passed over.
    auto step = [](const std::function<void()> &fn) {
        try {
            fn();
        } catch (...) {
        }
    };
    const AnnotDocValue value(*QelEzImage2);
    int pages = 0;
    step([&] { pages = QelEzImage2->pageCount(); });
    {
        const QelEzPageWalk walk(*QelEzImage2);
        for (int page = 1; page <= pages; ++page) {
            step([&] { QelEzImage2->setPage(page); });
            step([&] {
                bool unrestricted = false;
                InitializePermsRedaction(unrestricted);
            });
            step([&] { value.handBack(); });
            step([&] { requirePageSet(*QelEzImage2)->adoptSecurity(std::make_unique<ItemSecurityRedact>()); });
        }
        step([&] {
            if (pages > 0)
                QelEzImage2->setPage(1);
        });
    }
    step([&] { QelEzImage2->clearImage(); });
    step([] { DoEvents(); });
    step([&] { Hide(); });
}

void FrmImageRedaction::Form_QueryUnload(int &cancel, int unloadMode)
{
    (void)cancel;
    (void)unloadMode;
    Trap trap;
    try {
        trap(1);
        mnuRedactionExit_Click();
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::Form_QueryUnload"), trap);
    }
}

// ---- layout ------------------------------------------------------------------------------------

void FrmImageRedaction::Form_Load()
{
    Trap trap;
    try {
        trap(1);
        saveControlLayout(*this);
        trap(2);
        resize(Screen::Width() / 2 / Screen::TwipsPerPixelX(), Screen::Height() / 2 / Screen::TwipsPerPixelY());
        resizeControls(*this);
        trap(3);
        resizeRedactElements();
        trap(4);
        m_cropAll = false;
        mnuOptionCropAll->setChecked(false);
        m_regionFlag = false;
    } catch (...) {
        reportCurrentError(QStringLiteral("frmRedaction::Form_Load"), trap);
    }
}

void FrmImageRedaction::Form_Resize() { resizeRedactElements(); }

void FrmImageRedaction::resizeRedactElements()
{
    Trap trap;
    try {
        auto clamp = [](double v) { return v < 0 ? 0.0 : v; };
        const int w = ScaleWidth();
        const int h = ScaleHeight();
        trap(1);
        ctl::setTop(StatusBar1, clamp(h - ctl::height(StatusBar1)));
        ctl::setWidth(StatusBar1, w);
        const int bar = ctl::height(StatusBar1);
        trap(2);
        ctl::setWidth(fraButtons, clamp(w - 200));
        trap(3);
        ctl::setHeight(QelEzImage2, clamp(h - (ctl::top(QelEzImage2) + bar)));
        trap(4);
        ctl::setWidth(QelEzImage2, clamp(w - (ctl::width(QelEzImage1) + 195)));
        trap(5);
        ctl::setHeight(QelEzImage1, clamp(h - (ctl::top(QelEzImage1) + bar)));
        trap(6);
        QelEzImage1->setImageHandle(QelEzImage2->imageHandle());
    } catch (const VbError &e) {
        if (e.number != vbErr::ObjectVariableNotSet)
            throwError(QStringLiteral("resizeRedactElements"), trap, e);
    } catch (...) {
        reportCurrentError(QStringLiteral("resizeRedactElements"), trap);
    }
}
