// Every caption, label and button text of every form fits its control at the shipped font.
#include <gtest/gtest.h>

#include <functional>
#include <QLineEdit>
#include <QLabel>
#include <QFontMetrics>

#include "annotate/frmImagePrintPreview.h"
#include "annotate/frmImageRedaction.h"
#include "batch/filterpass.h"
#include "batch/frm1stBarcode.h"
#include "batch/frmBarcodeLog.h"
#include "batch/frmBarcodeScan.h"
#include "batch/frmBatch.h"
#include "batch/frmBatchByteAlign.h"
#include "batch/frmBatchProgress.h"
#include "batch/frmBatchRotate.h"
#include "batch/frmBatchRotateProgress.h"
#include "batch/frmbcPageMismatch.h"
#include "capture/frmHandFeed.h"
#include "capture/frmOverhead.h"
#include "capture/frmRescan.h"
#include "capture/frmScannerSettings.h"
#include "capture/frmScanningArea.h"
#include "capture/frmStore.h"
#include "capture/frmTrim.h"
#include "core/mode.h"
#include "core/state.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "support/textfit.h"
#include "ui/frmAbout.h"
#include "ui/frmConfig.h"
#include "ui/frmLogin.h"
#include "ui/frmMain.h"
#include "ui/frmPreferences.h"
#include "ui/frmShutdown.h"

namespace {

std::string joined(const QStringList &lines) { return lines.join(QLatin1Char('\n')).toStdString(); }

// Each date box of a window stands under its word of the "month   day      year" hint and is wide
// enough for its digits.
std::string misplacedDateBoxes(QWidget *window, QLineEdit *month, QLineEdit *day, QLineEdit *year)
{
    textsThatDoNotFit(window); // lays the window out
    const QString hintText = QStringLiteral("month   day      year");
    QLabel *hint = nullptr;
    for (QLabel *l : window->findChildren<QLabel *>())
        if (l->text() == hintText && l->isVisibleTo(window))
            hint = l;
    if (!hint)
        return "no date hint";
    const QFontMetrics fm(hint->font());
    const int left = hint->mapTo(window, hint->contentsRect().topLeft()).x();
    const struct { const char *word; QLineEdit *box; int digits; } boxes[] = {
        {"month", month, 2}, {"day", day, 2}, {"year", year, 4}};
    QStringList out;
    for (const auto &b : boxes) {
        const int wordX = left + fm.horizontalAdvance(hintText.left(hintText.indexOf(QLatin1String(b.word))));
        const int boxX = b.box->mapTo(window, QPoint(0, 0)).x();
        if (wordX < boxX - 6 || wordX > boxX + b.box->width() / 2)
            out << QStringLiteral("%1: the word at %2, its box at %3..%4")
                       .arg(QLatin1String(b.word)).arg(wordX).arg(boxX).arg(boxX + b.box->width());
        if (b.box->width() < fm.horizontalAdvance(QString(b.digits, u'0')) + 8)
            out << QStringLiteral("%1: box %2 wide").arg(QLatin1String(b.word)).arg(b.box->width());
    }
    return joined(out);
}

} // namespace

TEST(TextFit, EveryDialogShowsItsTextsWhole)
{
    MsgBoxScript boxes;
    const QList<std::function<Form &()>> forms = {
        [] () -> Form & { return frmLogin(); },        [] () -> Form & { return frmConfig(); },
        [] () -> Form & { return frmPreferences(); },  [] () -> Form & { return frmAbout(); },
        [] () -> Form & { return frmShutdown(); },     [] () -> Form & { return frmHandFeed(); },
        [] () -> Form & { return frmOverhead(); },     [] () -> Form & { return frmRescan(); },
        [] () -> Form & { return frmScanningArea(); }, [] () -> Form & { return frmStore(); },
        [] () -> Form & { return frmTrim(); },         [] () -> Form & { return frm1stBarcode(); },
        [] () -> Form & { return frmBarcodeLog(); },   [] () -> Form & { return frmBarcodeScan(); },
        [] () -> Form & { return frmBatch(); },        [] () -> Form & { return frmBatchByteAlign(); },
        [] () -> Form & { return frmBatchProgress(); }, [] () -> Form & { return frmBatchRotate(); },
        [] () -> Form & { return frmBatchRotateProgress(); }, [] () -> Form & { return frmbcPageMismatch(); },
        [] () -> Form & { return frmProcessFilters(); }, [] () -> Form & { return frmImageRedaction(); },
        [] () -> Form & { return frmImagePrintPreview(); },
    };
    for (const auto &open : forms) {
        Form &form = open();
        SCOPED_TRACE(form.objectName().toStdString());
        EXPECT_EQ(joined(textsThatDoNotFit(&form)), std::string());
        form.Unload();
    }
    // The batch progress with the longest status a run gives.
    FrmBatchProgress &progress = frmBatchProgress();
    progress.lblStatus->setText(QStringLiteral("Document 001010-0028: Page number could not be retrieved from "
                                               "Database.  Batch scan failed at 001010-0028"));
    EXPECT_EQ(joined(textsThatDoNotFit(&progress)), std::string());
    progress.Unload();
    FrmScannerSettings settings;
    EXPECT_EQ(joined(textsThatDoNotFit(&settings)), std::string());
}

TEST(TextFit, TheMainWindowShowsItsTextsWholeInEveryMode)
{
    MsgBoxScript boxes;
    FrmMain &f = frmMain();
    for (qint16 mode = 0; mode <= 12; ++mode) {
        for (qint32 type : {0, 1}) {
            SCOPED_TRACE(mode * 10 + type);
            gdtCurrentDocType = type;
            set_g_dbMode(mode);
            EXPECT_EQ(joined(textsThatDoNotFit(&f)), std::string());
        }
    }
    gdtCurrentDocType = 0;
    // The thumbnails button in both its captions.
    for (const char *caption : {"Sh&ow Thumbnails", "Hide Thumbna&ils"}) {
        f.btnShowTree->setText(QString::fromLatin1(caption));
        f.btnShowTree->setVisible(true);
        EXPECT_EQ(joined(textsThatDoNotFit(&f)), std::string());
    }
    set_g_dbMode(MODE_MARG);
}

TEST(TextFit, DateBoxesStandUnderTheirHintWords)
{
    MsgBoxScript boxes;
    FrmMain &f = frmMain();
    gdtCurrentDocType = 0;
    set_g_dbMode(MODE_NYRG);
    EXPECT_EQ(misplacedDateBoxes(&f, f.txtMonth_NYRG, f.txtDay_NYRG, f.txtYear_NYRG), std::string());
    set_g_dbMode(MODE_MARG);
    Frm1stBarcode &first = frm1stBarcode();
    EXPECT_EQ(misplacedDateBoxes(&first, first.txtMonth_NYRG, first.txtDay_NYRG, first.txtYear_NYRG), std::string());
    first.Unload();
    FrmbcPageMismatch &mismatch = frmbcPageMismatch();
    EXPECT_EQ(misplacedDateBoxes(&mismatch, mismatch.txtMonth_NYRG, mismatch.txtDay_NYRG, mismatch.txtYear_NYRG),
              std::string());
    mismatch.Unload();
}
