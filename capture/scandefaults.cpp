#include "capture/scandefaults.h"

#include "capture/frmScannerSettings.h"
#include "core/errors.h"
#include "core/state.h"
#include "platform/imaging/qelezscanner.h"
#include "ui/frmMain.h"

namespace {

const QString kLegal = QStringLiteral("Legal - 8.5 x 14 in");
const QString kLetter = QStringLiteral("Letter Portrait - 8.5 x 11 in");
const QString kLargeBook = QStringLiteral("17 x 23.38 in Landscape");

QelEzScanner &tree() { return ezScanner(*frmMain().ezTreeView); }

void showFeederWidgets(FrmMain &f, bool feeder)
{
    f.lblScannerPaperSource->setText(feeder ? QStringLiteral("Scanner Source: ADF")
                                            : QStringLiteral("Scanner Source: FB"));
    f.lblPageSize->setVisible(!feeder);
    f.cboPageSize->setVisible(!feeder);
}

// The numbered settings of the book presets, in the order they are written.
struct BookSetting {
    int number, normal, large;
};
constexpr BookSetting kBook[] = {
    {1689, 1, 1}, {1316, 10, 8}, {1088, 1, 1}, {1282, -3, -3}, {1123, 1, 1}, {1056, 1, 1}, {1122, 1, 1},
};

} // namespace

void show_settings()
{
    Trap trap;
    try {
        trap(1);
        FrmScannerSettings::StartForm(*frmMain().ezPageView);
    } catch (...) {
        reportCurrentError(QStringLiteral("show_settings"), trap);
    }
}

void setDuplex()
{
    Trap trap;
    try {
        trap(1);
        QelEzScanner &t = tree();
        if (t.duplex() == 1 && g_intDefaultPaperSource == 2) {
            trap(2);
            g_intDefaultPaperSource = 0;
            t.setPaperSource(0);
            showFeederWidgets(frmMain(), true);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("setDuplex"), trap);
    }
}

void reset_defaults()
{
    Trap trap;
    try {
        if (!g_blnScannerConnected)
            return;
        FrmMain &f = frmMain();
        QelEzScanner &t = tree();
        trap(1);
        t.defaultSettings();
        t.setResolution(200);
        trap(2);
        f.chkScanUD->setChecked(false);
        g_blnScanUD = false;
        trap(3);
        t.setBrightness(g_intBaseLineBrightness);
        t.setPaperSource(g_intDefaultPaperSource);
        trap(4);
        if (g_intDefaultPaperSource == 0) {
            showFeederWidgets(f, true);
            f.chkDuplex->setEnabled(true);
            t.setDuplex(g_blnDefaultDuplex ? 1 : 0);
            f.chkDuplex->setChecked(g_blnDefaultDuplex);
        } else {
            trap(5);
            showFeederWidgets(f, false);
            f.chkDuplex->setEnabled(false);
            t.setDuplex(0);
        }
        trap(6);
        t.setPageSize(kLegal);
        trap(7);
        autoDetectPageSize();
    } catch (...) {
        reportCurrentError(QStringLiteral("reset_defaults"), trap);
    }
}

void autoDetectPageSize()
{
    Trap trap;
    try {
        trap(1);
        QelEzScanner &t = tree();
        if (t.scannerSetting(5084) >= 0) {
            trap(2);
            t.setScannerSetting(5084, 1);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("autoDetectPageSize"), trap);
    }
}

void setBookSizeNormal()
{
    Trap trap;
    try {
        trap(1);
        QelEzScanner &t = tree();
        t.setPaperSource(2);
        t.setPageSize(kLetter);
        trap(2);
        for (int pass = 0; pass < 2; ++pass) {
            for (const BookSetting &s : kBook)
                t.setScannerSetting(s.number, s.normal);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("setBookSizeNormal"), trap);
    }
}

void setBookSizeLarge()
{
    Trap trap;
    try {
        trap(1);
        QelEzScanner &t = tree();
        t.setPaperSource(2);
        t.setPageSize(kLetter);
        // Twice: source, the first two settings, the large page size, the other five.
        for (int pass = 0; pass < 2; ++pass) {
            trap(2 + pass);
            if (pass == 1)
                t.setPaperSource(2);
            t.setScannerSetting(kBook[0].number, kBook[0].large);
            t.setScannerSetting(kBook[1].number, kBook[1].large);
            t.setPageSize(kLargeBook);
            for (int i = 2; i < int(std::size(kBook)); ++i)
                t.setScannerSetting(kBook[i].number, kBook[i].large);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("setBookSizeLarge"), trap);
    }
}
