#pragma once
// The redaction editor: redaction annotations drawn on the working copy of the document, crop
// of one page or every page to a drawn region, and the save question on leaving.
#include <QString>
#include <QVariant>

#include "platform/forms/forms.h"

class QAction;
class QFrame;
class QMenu;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QelAnnotDocument;
class QelEzImage;

class FrmImageRedaction : public Form {
    Q_OBJECT
public:
    FrmImageRedaction();

    QelEzImage *QelEzImage2; // page view: all editing happens here
    QelEzImage *QelEzImage1; // page strip linked to it
    QFrame *fraButtons;
    QPushButton *btnAnnRedactControl; // "Redact"
    QPushButton *btnAnnSelectControl; // "Select"
    QPushButton *btnCrop;
    QStatusBar *StatusBar1;
    QMenuBar *menuBar;
    QMenu *mnuRedaction;
    QAction *mnuRedactionExit;
    QMenu *mnuEdit;
    QAction *mnuEditDelete;
    QMenu *mnuOptions;
    QAction *mnuOptionCropAll;
    QAction *mnuOptionSticky;

    QString ImageFile() const { return m_imageFile; }
    void setImageFile(const QString &path) { m_imageFile = path; }

    // documentType and reserved are not read. restricted: restricted permissions on page 1.
    void SetupRedaction(qint32 documentType, bool &restricted, const QVariant &reserved = {});
    // Byte 0 of the type becomes 255; any other byte stays.
    void InitPermRedact(QelAnnotDocument *doc, qint32 annotationType);
    // Re-seeds every page's permissions and installs a fresh ItemSecurity on each; true when
    // done, false after a reported error.
    bool redact_set_annotation_security();

    // Form state.
    bool cropAll() const { return m_cropAll; }
    bool regionFlag() const { return m_regionFlag; }
    bool restrictedFlag() const { return m_restricted; }

    // Handlers.
    void Form_Load() override;
    void Form_Resize() override;
    void Form_KeyDown(int &keyCode, int shift) override;
    void Form_QueryUnload(int &cancel, int unloadMode) override;
    void QelEzImage2_RegionChange(int kind);
    void QelEzImage2_DblClick();
    void QelEzImage2_AnnotationModeChange();
    void QelEzImage2_AnnotationQuerySave(qint32 &action, qint32 &format);
    void btnCrop_Click();
    void btnAnnRedactControl_Click();
    void btnAnnSelectControl_Click();
    void mnuOptionCropAll_Click();
    void mnuOptionSticky_Click();
    void mnuEditDelete_Click();
    void mnuRedactionExit_Click();

private:
    void InitializePermsRedaction(bool &restricted);
    void InitPermRedactRestrict(QelAnnotDocument *doc, qint32 annotationType);
    void resizeRedactElements();
    void removeAllRegions();

    QString m_imageFile;
    bool m_cropAll = false;
    bool m_regionFlag = false;
    bool m_restricted = false;
};

// The form's default instance (created on first use, fresh after an unload).
FrmImageRedaction &frmImageRedaction();

// The procedure for callers that hold the editor as a plain widget (page crop, annotation
// clean-up): false when the widget is not the redaction editor.
bool redact_set_annotation_security(QWidget *form);
