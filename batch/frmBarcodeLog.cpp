#include "batch/frmBarcodeLog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/frmMain.h"

FrmBarcodeLog::FrmBarcodeLog() : Form(QStringLiteral("frmBarcodeLog"))
{
    setWindowFlag(Qt::Dialog);
    setCaption(QStringLiteral("Barcode Scan Log"));
    auto *layout = new QVBoxLayout(this);
    txtLog = addControl(new QPlainTextEdit(this), QStringLiteral("txtLog"));
    txtLog->setReadOnly(true);
    btnClose = addControl(new QPushButton(QStringLiteral("Close"), this), QStringLiteral("btnClose"));
    setCancelButton(btnClose);
    layout->addWidget(txtLog, 1);
    layout->addWidget(btnClose, 0, Qt::AlignRight);
    resize(560, 420);
    connect(btnClose, &QPushButton::clicked, this, [this] { btnClose_Click(); });
}

FrmBarcodeLog &frmBarcodeLog() { return defaultInstance<FrmBarcodeLog>(); }

void FrmBarcodeLog::showLog(const QString &text, Form *owner, const QString &caption)
{
    if (!caption.isEmpty())
        setCaption(caption);
    txtLog->setPlainText(text);
    Show(vb::vbModal, owner ? owner : &frmMain());
}

void FrmBarcodeLog::btnClose_Click() { Unload(); }
