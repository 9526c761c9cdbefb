// Event rules of the index fields of the main window: the Go rule of each frame, the two
// exclusive keys of the New York frame, select-all on focus and Enter in the book and page.
#include <QEvent>
#include <QKeyEvent>
#include <QTimer>

#include "capture/indexchecks.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vberror.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {
bool filled(const QLineEdit *field) { return !field->text().isEmpty(); }

// Selects a field's text when it gains the focus. The selection is made once the focusing
// event (a click places the caret) is over, so typing replaces the whole text.
class SelectOnFocus : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn) {
            auto *field = static_cast<QLineEdit *>(watched);
            QTimer::singleShot(0, field, [field] {
                if (field->hasFocus())
                    selectAllText(field);
            });
        }
        return false;
    }
};

// Enter in a field starts the Go command; the key goes on as usual.
class EnterStartsGo : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                user_go();
        }
        return false;
    }
};

// Gives a control the focus when it can take it; otherwise nothing happens.
void focusIfPossible(QWidget *control)
{
    if (control->isVisible() && control->isEnabled())
        control->setFocus(Qt::OtherFocusReason);
}
}

void FrmMain::indexGoRule(std::initializer_list<const QLineEdit *> required)
{
    bool on = true;
    for (const QLineEdit *field : required)
        on = on && filled(field);
    btnGoNew->setEnabled(on);
}

void FrmMain::eFileGoRule(const ComboBox *partner, const QLineEdit *batchId)
{
    btnGoNew->setEnabled(!partner->currentText().isEmpty() && filled(batchId));
}

void FrmMain::nyrgBookKey_Change(QLineEdit *field)
{
    if (filled(field)) {
        for (QLineEdit *other : {txtCTLNum_NYRG, txtMonth_NYRG, txtDay_NYRG, txtYear_NYRG})
            other->clear();
        g_blnNYCTLNum = false;
    }
    indexGoRule({txtBookCode_NYRG, txtBook_NYRG, txtPage_NYRG});
}

void FrmMain::nyrgControlKey_Change(QLineEdit *field)
{
    if (filled(field)) {
        g_blnNYCTLNum = true;
        for (QLineEdit *other : {txtBook_NYRG, txtPage_NYRG, txtBookCode_NYRG})
            other->clear();
    }
    indexGoRule({txtCTLNum_NYRG, txtDay_NYRG, txtMonth_NYRG, txtYear_NYRG});
}

void FrmMain::txtMonth_NYRG_Change()
{
    int line = 0;
    try {
        line = 1;
        nyrgControlKey_Change(txtMonth_NYRG);
        line = 2;
        if (txtMonth_NYRG->text().length() == 2 && txtMonth_NYRG->isEnabled() && txtDay_NYRG->isEnabled())
            focusIfPossible(txtDay_NYRG);
    } catch (const VbError &e) {
        MsgBox(QString::number(e.number) + QStringLiteral(": ") + e.description + QStringLiteral("\r\n")
               + QStringLiteral("txtMonth_NYRG_Change: ") + QString::number(line));
    } catch (const std::exception &e) {
        MsgBox(QStringLiteral("51: ") + QString::fromLocal8Bit(e.what()) + QStringLiteral("\r\n")
               + QStringLiteral("txtMonth_NYRG_Change: ") + QString::number(line));
    }
}

void FrmMain::txtDay_NYRG_Change()
{
    try {
        nyrgControlKey_Change(txtDay_NYRG);
        if (txtDay_NYRG->text().length() == 2)
            focusIfPossible(txtYear_NYRG);
    } catch (...) {
        // The day handler ignores every failure.
    }
}

void FrmMain::wireIndexFields()
{
    auto onChange = [this](QLineEdit *field, auto rule) {
        connect(field, &QLineEdit::textChanged, this, rule);
    };

    for (QLineEdit *f : {txtBook_MARG, txtPage_MARG})
        onChange(f, [this] { indexGoRule({txtBook_MARG, txtPage_MARG}); });
    onChange(txtDocNum_MALC, [this] { indexGoRule({txtDocNum_MALC}); });
    onChange(txtPlan1_MALCP, [this] { indexGoRule({txtPlan1_MALCP}); });
    onChange(txtCertNum_MACC, [this] { indexGoRule({txtCertNum_MACC}); });
    for (QLineEdit *f : {txtBook_MEBS, txtPage_MEBS, txtEndingPage_MEBS})
        onChange(f, [this] { indexGoRule({txtBook_MEBS, txtPage_MEBS, txtEndingPage_MEBS}); });
    for (QLineEdit *f : {txtRefCode_FHS, txtRefNum_FHS})
        onChange(f, [this] { indexGoRule({txtRefCode_FHS, txtRefNum_FHS}); });

    for (QLineEdit *f : {txtSubmitCdMARGElec, txtLocationCdMARGElec, txtTrandIDMARG, txtDocIdMARGElec})
        onChange(f, [this] { eFileGoRule(cboEFilePartnerMARG, txtTrandIDMARG); });
    connect(cboEFilePartnerMARG, &ComboBox::Click, this,
            [this] { eFileGoRule(cboEFilePartnerMARG, txtTrandIDMARG); });
    for (QLineEdit *f : {txtSubmitCdNYRGElec, txtLocationCdNYRGElec, txtTrandIDNYRG, txtDocIdNYRGElec})
        onChange(f, [this] { eFileGoRule(cboEFilePartnerNYRG, txtTrandIDNYRG); });
    connect(cboEFilePartnerNYRG, &ComboBox::Click, this,
            [this] { eFileGoRule(cboEFilePartnerNYRG, txtTrandIDNYRG); });

    for (QLineEdit *f : {txtBookCode_NYRG, txtBook_NYRG, txtPage_NYRG})
        onChange(f, [this, f] { nyrgBookKey_Change(f); });
    for (QLineEdit *f : {txtCTLNum_NYRG, txtYear_NYRG})
        onChange(f, [this, f] { nyrgControlKey_Change(f); });
    onChange(txtMonth_NYRG, [this] { txtMonth_NYRG_Change(); });
    onChange(txtDay_NYRG, [this] { txtDay_NYRG_Change(); });

    auto *select = new SelectOnFocus(this);
    for (QLineEdit *f : {txtBook_MARG, txtPage_MARG, txtDocNum_MALC, txtMonth_MALC, txtDay_MALC, txtYear_MALC,
                         txtDocNum_MACC, txtCertNum_MACC, txtBook_MEBS, txtPage_MEBS, txtEndingPage_MEBS,
                         txtBookCode_NYRG, txtBook_NYRG, txtPage_NYRG, txtCTLNum_NYRG, txtMonth_NYRG,
                         txtDay_NYRG, txtYear_NYRG, txtRefCode_FHS, txtSubmitCdMARGElec, txtLocationCdMARGElec,
                         txtTrandIDMARG, txtDocIdMARGElec, txtSubmitCdNYRGElec, txtLocationCdNYRGElec,
                         txtTrandIDNYRG, txtDocIdNYRGElec})
        f->installEventFilter(select);

    auto *enter = new EnterStartsGo(this);
    txtBook_MARG->installEventFilter(enter);
    txtPage_MARG->installEventFilter(enter);
}
