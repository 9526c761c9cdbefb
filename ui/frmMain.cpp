#include "ui/frmMain.h"

#include <QCloseEvent>

#include <QFile>
#include <QScopedValueRollback>
#include <QSignalBlocker>

#include "core/errors.h"
#include "core/state.h"
#include "platform/forms/builders.h"
#include "platform/system/system.h"
#include "ui/frmAbout.h"
#include "ui/frmPreferences.h"
#include "ui/frmShutdown.h"
#include "ui/mainprocs.h"

// The start-up, reset and mode procedures of the core.
#include "core/startup.h"
#include "core/reset.h"
#include "core/mode.h"
#include "core/recovery.h"

namespace {
// Design lengths are in twips; the window is laid out in pixels at 15 twips a pixel.
constexpr int ROW = 24;
constexpr int CAPTION_W = 128;
constexpr int FIELD_X = 134;
constexpr int FRAME_W = 292;
constexpr int FRAME_H = 236;

// A found value shown in place of its entry boxes: while the label is shown the boxes are
// hidden, so the value reads whole; the reset shows the boxes again.
class FieldValueLabel : public QLabel {
public:
    FieldValueLabel(QWidget *parent, QList<QLineEdit *> fields) : QLabel(parent), m_fields(std::move(fields)) {}
    void setVisible(bool visible) override
    {
        QLabel::setVisible(visible);
        if (visible)
            for (QLineEdit *f : m_fields)
                f->setVisible(false);
    }

private:
    QList<QLineEdit *> m_fields;
};
}

FrmMain &frmMain() { return defaultInstance<FrmMain>(); }

FrmMain::FrmMain() : Form(QStringLiteral("frmMain"))
{
    setCaption(QStringLiteral("Korvane Scanning Utilty"));
    addMenuBar(*this, menuBar);

    buildMenus();
    buildControls();
    wireHandlers();
    wireIndexFields();
    wireCommands();
    setKeyPreview(true);
    resize(1024, 740);
}

void FrmMain::buildMenus()
{
    auto heading = [this](QMenu *&menu, const QString &name, const QString &caption) {
        menu = addControl(menuBar->addMenu(caption), name);
    };
    auto entry = [this](QMenu *menu, QAction *&action, const QString &name, const QString &caption) {
        action = addControl(menu->addAction(caption), name);
    };

    heading(mnuFile, QStringLiteral("mnuFile"), QStringLiteral("&File"));
    entry(mnuFile, mnuStore, QStringLiteral("mnuStore"), QStringLiteral("&Store"));
    entry(mnuFile, mnuExit, QStringLiteral("mnuExit"), QStringLiteral("&Exit"));

    heading(mnuEdit, QStringLiteral("mnuEdit"), QStringLiteral("&Edit"));
    entry(mnuEdit, mnuUndo, QStringLiteral("mnuUndo"), QStringLiteral("&Undo Changes"));
    entry(mnuEdit, mnuRotate, QStringLiteral("mnuRotate"), QStringLiteral("&Rotate 90"));
    entry(mnuEdit, mnuDelete, QStringLiteral("mnuDelete"), QStringLiteral("&Delete Pages"));

    heading(mnuScanMenu, QStringLiteral("mnuScanMenu"), QStringLiteral("S&can"));
    entry(mnuScanMenu, mnuDoScan, QStringLiteral("mnuDoScan"), QStringLiteral("&Scan"));
    entry(mnuScanMenu, mnuHandFeed, QStringLiteral("mnuHandFeed"), QStringLiteral("&Hand-Feed Scan"));
    entry(mnuScanMenu, mnuBatchScan, QStringLiteral("mnuBatchScan"), QStringLiteral("&Batch Scan"));
    entry(mnuScanMenu, mnuOverhead, QStringLiteral("mnuOverhead"), QStringLiteral("Overhead Scan"));
    entry(mnuScanMenu, mnuBatchRotate, QStringLiteral("mnuBatchRotate"), QStringLiteral("Batch &Rotate"));
    entry(mnuScanMenu, mnuBatchByteAlign, QStringLiteral("mnuBatchByteAlign"),
          QStringLiteral("Batch B&yte Align"));
    mnuOverhead->setVisible(false);

    heading(mnuSettings, QStringLiteral("mnuSettings"), QStringLiteral("Sett&ings"));
    entry(mnuSettings, mnuConfig, QStringLiteral("mnuConfig"), QStringLiteral("&iSeries Setup"));
    entry(mnuSettings, mnuSelectScanner, QStringLiteral("mnuSelectScanner"),
          QStringLiteral("&Select Scanner"));
    entry(mnuSettings, mnuScannerSettings, QStringLiteral("mnuScannerSettings"),
          QStringLiteral("S&canner Settings"));
    entry(mnuSettings, mnuPreferences, QStringLiteral("mnuPreferences"), QStringLiteral("&Preferences"));
    entry(mnuSettings, mnuFilters, QStringLiteral("mnuFilters"),
          QStringLiteral("Configure Image &Filters"));

    heading(mnuDatabase, QStringLiteral("mnuDatabase"), QStringLiteral("&Database"));
    struct Db { QAction *&action; const char *name; const char *caption; };
    const Db entries[] = {
        {mnuMARG, "mnuMARG", "&Massachusetts Recorded Land Documents"},
        {mnuMALC, "mnuMALC", "Massachusetts &Land Court Documents"},
        {mnuMALCP, "mnuMALCP", "Massachusetts Land Court &Plans"},
        {mnuMACC, "mnuMACC", "Massachusetts Land Court &Certificates"},
        {mnuNYRG, "mnuNYRG", "&New York Recorded Land Documents"},
        {mnuNYCR, "mnuNYCR", "New York &Court Records"},
        {mnuNYMD, "mnuNYMD", "New York  M&isc Records"},
        {mnuMERG, "mnuMERG", "Maine &Recorded Land Documents"},
        {mnuMEBS, "mnuMEBS", "Maine Recorded Land Book &Scan"},
        {mnuFHS, "mnuFHS", "Vaverezoduv"},
        {mnuMARGBS, "mnuMARGBS", "Massachusetts Recorded Land Book &Scan"},
        {mnuNYBS, "mnuNYBS", "New York Recorded Land Book &Scan"},
        {mnuNYBR, "mnuNYBR", "New York Barcode Scan"},
    };
    for (const Db &d : entries) {
        entry(mnuDatabase, d.action, QString::fromLatin1(d.name), QString::fromLatin1(d.caption));
        d.action->setCheckable(true);
    }

    heading(mnuHelp, QStringLiteral("mnuHelp"), QStringLiteral("&Help"));
    entry(mnuHelp, mnuAbout, QStringLiteral("mnuAbout"), QStringLiteral("&About Korvane Scanning Utility"));
}

QList<QAction *> FrmMain::databaseEntries() const
{
    return {mnuMARG, mnuMALC, mnuMALCP, mnuMACC, mnuNYRG, mnuNYCR, mnuNYMD,
            mnuMERG, mnuMEBS, mnuFHS, mnuMARGBS, mnuNYBS, mnuNYBR};
}

void FrmMain::buildControls()
{
    QWidget *client = clientArea();

    auto label = [this](QWidget *parent, const QString &name, const QString &caption, int x, int y,
                        int w = CAPTION_W) {
        return addLabel(*this, parent, name, caption, x, y, w);
    };
    auto text = [this](QWidget *parent, const QString &name, int x, int y, int w, int max) {
        auto *e = addField(*this, parent, name, x, y, w);
        if (max > 0)
            e->setMaxLength(max);
        return e;
    };
    auto button = [this](QWidget *parent, const QString &name, const QString &caption, int x, int y,
                         int w = 90) {
        auto *b = addControl(new QPushButton(caption, parent), name);
        b->setGeometry(x, y, w, 23);
        b->setAutoDefault(false);
        return b;
    };
    auto check = [this](QWidget *parent, const QString &name, const QString &caption, int x, int y,
                        int w = 260) {
        auto *c = addControl(new QCheckBox(caption, parent), name);
        c->setGeometry(x, y, w, 20);
        return c;
    };
    auto frame = [this](QWidget *parent, const QString &name, const QString &caption, int x, int y,
                        int w = FRAME_W, int h = FRAME_H) {
        return addFrame(*this, parent, name, caption, QRect(x, y, w, h));
    };
    // One row of an index frame: caption label and field; returns the field.
    auto row = [&](QGroupBox *f, const QString &caption, const QString &field, int r, int w, int max) {
        label(f, QStringLiteral("lblCaption_") + field, caption, 8, 20 + r * ROW);
        return text(f, field, FIELD_X, 20 + r * ROW, w, max);
    };
    // A display label lying over a field (same place), hidden until a lookup fills it.
    // over the first field, as wide as the fields it stands for
    auto over = [this](QWidget *parent, const QString &name, const QList<QLineEdit *> &fields) -> QLabel * {
        auto *l = addControl(new FieldValueLabel(parent, fields), name);
        const QLineEdit *first = fields.first(), *last = fields.last();
        l->setGeometry(first->x(), first->y(), last->geometry().right() + 1 - first->x(), 20);
        l->setVisible(false);
        return l;
    };

    // Background and the two imaging areas.
    fraScan = addControl(new QFrame(client), QStringLiteral("fraScan"));
    fraScan->setGeometry(0, 0, 1024, 716);
    fraScan->lower();
    lblImage = label(client, QStringLiteral("lblImage"), QString(), 304, 0, 720);
    lblImage->resize(720, 716);
    ezTreeView = addControl(new QelEzImage(QelEzImage::Kind::Thumbnails, client),
                            QStringLiteral("ezTreeView"));
    ezPageView = addControl(new QelEzImage(QelEzImage::Kind::PageView, client),
                            QStringLiteral("ezPageView"));
    ezTreeView->setGeometry(304, 0, 150, 716);
    ezPageView->setGeometry(458, 0, 566, 716);
    fraNonTiff = frame(client, QStringLiteral("fraNonTiff"), QString(), 458, 0, 566, 120);
    fraNonTiff->setVisible(false);
    lblNonTiff = label(fraNonTiff, QStringLiteral("lblNonTiff"), QString(), 8, 16, 550);
    lblNonTiff->setWordWrap(true);
    lblNonTiff->resize(550, 96);

    // Left column.
    fraMain = addControl(new QFrame(client), QStringLiteral("fraMain"));
    fraMain->setGeometry(0, 0, 300, 652);
    lblDatabase = label(fraMain, QStringLiteral("lblDatabase"), QString(), 6, 2, 288);
    QFont bold = lblDatabase->font();
    bold.setBold(true);
    lblDatabase->setFont(bold);

    fraDefaultDocType = frame(fraMain, QStringLiteral("fraDefaultDocType"),
                              QStringLiteral("Document Source"), 4, 24, FRAME_W, 50);
    cboCurrentDocType = addControl(new ComboBox(fraDefaultDocType), QStringLiteral("cboCurrentDocType"));
    cboCurrentDocType->setGeometry(8, 20, 150, 22);

    const int fy = 78;
    // Recorded land.
    fraMARG = frame(fraMain, QStringLiteral("fraMARG"), QString(), 4, fy);
    txtBook_MARG = row(fraMARG, QStringLiteral("Book:"), QStringLiteral("txtBook_MARG"), 0, 80, 6);
    txtPage_MARG = row(fraMARG, QStringLiteral("Page:"), QStringLiteral("txtPage_MARG"), 1, 60, 4);
    lblBook_MARG = over(fraMARG, QStringLiteral("lblBook_MARG"), {txtBook_MARG});
    lblPage_MARG = over(fraMARG, QStringLiteral("lblPage_MARG"), {txtPage_MARG});
    label(fraMARG, QStringLiteral("lblCaption_lblDate_MARG"), QStringLiteral("Created:"), 8, 20 + 2 * ROW);
    lblDate_MARG = label(fraMARG, QStringLiteral("lblDate_MARG"), QString(), FIELD_X, 20 + 2 * ROW, 150);
    label(fraMARG, QStringLiteral("lblCaption_lblNumPages_MARG"), QStringLiteral("# of Pages Recorded:"), 8,
          20 + 3 * ROW);
    lblNumPages_MARG = label(fraMARG, QStringLiteral("lblNumPages_MARG"), QString(), FIELD_X, 20 + 3 * ROW, 150);
    label(fraMARG, QStringLiteral("lblCaption_lblInstNum_MARG"), QStringLiteral("Instrument #:"), 8, 20 + 4 * ROW);
    lblInstNum_MARG = label(fraMARG, QStringLiteral("lblInstNum_MARG"), QString(), FIELD_X, 20 + 4 * ROW, 150);
    label(fraMARG, QStringLiteral("lblCaption_lblDocType_MARG"), QStringLiteral("Doc Type:"), 8, 20 + 5 * ROW);
    lblDocType_MARG = label(fraMARG, QStringLiteral("lblDocType_MARG"), QString(), FIELD_X, 20 + 5 * ROW, 150);
    chkScanUnIndexedDocsMEMARG = check(fraMARG, QStringLiteral("chkScanUnIndexedDocsMEMARG"),
                                       QStringLiteral("Scanning Unindexed Documents"), 8, 20 + 7 * ROW);
    fraMERG = frame(fraMain, QStringLiteral("fraMERG"), QString(), 4, fy);

    // Land Court documents.
    fraMALC = frame(fraMain, QStringLiteral("fraMALC"), QString(), 4, fy);
    txtDocNum_MALC = row(fraMALC, QStringLiteral("Document #:"), QStringLiteral("txtDocNum_MALC"), 0, 80, 7);
    lblDocNum_MALC = over(fraMALC, QStringLiteral("lblDocNum_MALC"), {txtDocNum_MALC});
    label(fraMALC, QStringLiteral("lblCaption_txtMonth_MALC"), QStringLiteral("Recorded:"), 8, 20 + ROW);
    txtMonth_MALC = text(fraMALC, QStringLiteral("txtMonth_MALC"), FIELD_X, 20 + ROW, 28, 2);
    txtDay_MALC = text(fraMALC, QStringLiteral("txtDay_MALC"), FIELD_X + 32, 20 + ROW, 28, 2);
    txtYear_MALC = text(fraMALC, QStringLiteral("txtYear_MALC"), FIELD_X + 64, 20 + ROW, 44, 4);
    lblTempDate_MALC = label(fraMALC, QStringLiteral("lblTempDate_MALC"),
                             QStringLiteral("month   day      year"), FIELD_X, 20 + 2 * ROW, 150);
    lblDate_MALC = label(fraMALC, QStringLiteral("lblDate_MALC"), QString(), FIELD_X, 20 + ROW, 150);
    label(fraMALC, QStringLiteral("lblCaption_lblNumPages_MALC"), QStringLiteral("# of Pages:"), 8, 20 + 3 * ROW);
    lblNumPages_MALC = label(fraMALC, QStringLiteral("lblNumPages_MALC"), QString(), FIELD_X, 20 + 3 * ROW, 150);
    label(fraMALC, QStringLiteral("lblCaption_lblDocType_MALC"), QStringLiteral("Doc Type:"), 8, 20 + 4 * ROW);
    lblDocType_MALC = label(fraMALC, QStringLiteral("lblDocType_MALC"), QString(), FIELD_X, 20 + 4 * ROW, 150);
    chkScanUnIndexedDocsMALC = check(fraMALC, QStringLiteral("chkScanUnIndexedDocsMALC"),
                                     QStringLiteral("Scanning Unindexed Documents"), 8, 20 + 7 * ROW);

    // Land Court plans.
    fraMALCP = frame(fraMain, QStringLiteral("fraMALCP"), QString(), 4, fy);
    txtPlan1_MALCP = row(fraMALCP, QStringLiteral("Plan/Case #:"), QStringLiteral("txtPlan1_MALCP"), 0, 80, 6);
    txtPlan2_MALCP = row(fraMALCP, QStringLiteral("Plan Letter:"), QStringLiteral("txtPlan2_MALCP"), 1, 50, 3);
    txtPlan3_MALCP = row(fraMALCP, QStringLiteral("Plan Suffix:"), QStringLiteral("txtPlan3_MALCP"), 2, 40, 2);
    lblPlan1_MALCP = over(fraMALCP, QStringLiteral("lblPlan1_MALCP"), {txtPlan1_MALCP});
    lblPlan2_MALCP = over(fraMALCP, QStringLiteral("lblPlan2_MALCP"), {txtPlan2_MALCP});
    lblPlan3_MALCP = over(fraMALCP, QStringLiteral("lblPlan3_MALCP"), {txtPlan3_MALCP});
    label(fraMALCP, QStringLiteral("lblCaption_lblDate_MALCP"), QStringLiteral("Recorded:"), 8, 20 + 3 * ROW);
    lblDate_MALCP = label(fraMALCP, QStringLiteral("lblDate_MALCP"), QString(), FIELD_X, 20 + 3 * ROW, 150);
    label(fraMALCP, QStringLiteral("lblCaption_lblNumPages_MALCP"), QStringLiteral("# of Pages:"), 8, 20 + 4 * ROW);
    lblNumPages_MALCP = label(fraMALCP, QStringLiteral("lblNumPages_MALCP"), QString(), FIELD_X, 20 + 4 * ROW, 150);

    // Land Court certificates.
    fraMACC = frame(fraMain, QStringLiteral("fraMACC"), QString(), 4, fy);
    txtDocNum_MACC = row(fraMACC, QStringLiteral("Document #:"), QStringLiteral("txtDocNum_MACC"), 0, 80, 7);
    txtCertNum_MACC = row(fraMACC, QStringLiteral("Certificate #:"), QStringLiteral("txtCertNum_MACC"), 1, 150, 25);
    lblDocNum_MACC = over(fraMACC, QStringLiteral("lblDocNum_MACC"), {txtDocNum_MACC});
    lblCertNum_MACC = over(fraMACC, QStringLiteral("lblCertNum_MACC"), {txtCertNum_MACC});
    chkShowNext_MACC = check(fraMACC, QStringLiteral("chkShowNext_MACC"),
                             QStringLiteral("Advance to next deed after store"), 8, 20 + 3 * ROW);

    // Book scan.
    fraMEBS = frame(fraMain, QStringLiteral("fraMEBS"), QStringLiteral("Book Scan"), 4, fy);
    pic_NYBS = addControl(new QFrame(fraMEBS), QStringLiteral("pic_NYBS"));
    pic_NYBS->setProperty("vbType", QStringLiteral("PictureBox"));
    pic_NYBS->setGeometry(4, 18, FRAME_W - 8, ROW);
    lblBookCodeLabel = label(pic_NYBS, QStringLiteral("lblBookCodeLabel"), QStringLiteral("Book Code:"), 4, 2);
    txtBookCode_NYBS = text(pic_NYBS, QStringLiteral("txtBookCode_NYBS"), FIELD_X - 4, 1, 80, 6);
    lblBookCode_NYBS = over(pic_NYBS, QStringLiteral("lblBookCode_NYBS"), {txtBookCode_NYBS});
    txtBook_MEBS = row(fraMEBS, QStringLiteral("Book:"), QStringLiteral("txtBook_MEBS"), 1, 80, 0);
    txtPage_MEBS = row(fraMEBS, QStringLiteral("Starting Page:"), QStringLiteral("txtPage_MEBS"), 2, 80, 0);
    txtEndingPage_MEBS = row(fraMEBS, QStringLiteral("Ending Page:"), QStringLiteral("txtEndingPage_MEBS"), 3, 80, 0);
    lblBook_MEBS = over(fraMEBS, QStringLiteral("lblBook_MEBS"), {txtBook_MEBS});
    lblPage_MEBS = over(fraMEBS, QStringLiteral("lblPage_MEBS"), {txtPage_MEBS});
    lblEndingPage_MEBS = over(fraMEBS, QStringLiteral("lblEndingPage_MEBS"), {txtEndingPage_MEBS});
    Command1 = button(fraMEBS, QStringLiteral("Command1"), QStringLiteral("Set Scanning Area"), 8,
                      20 + 5 * ROW, 140);
    chkScanUnIndexedDocsMABS = check(fraMEBS, QStringLiteral("chkScanUnIndexedDocsMABS"),
                                     QStringLiteral("Scanning Unindexed Documents"), 8, 20 + 7 * ROW);

    // New York records.
    fraNYRG = frame(fraMain, QStringLiteral("fraNYRG"), QString(), 4, fy);
    txtBookCode_NYRG = row(fraNYRG, QStringLiteral("Book Code:"), QStringLiteral("txtBookCode_NYRG"), 0, 80, 6);
    label(fraNYRG, QStringLiteral("lblCaption_txtBook_NYRG"), QStringLiteral("Book-Page:"), 8, 20 + ROW);
    txtBook_NYRG = text(fraNYRG, QStringLiteral("txtBook_NYRG"), FIELD_X, 20 + ROW, 70, 6);
    txtPage_NYRG = text(fraNYRG, QStringLiteral("txtPage_NYRG"), FIELD_X + 74, 20 + ROW, 50, 4);
    lblControlNumLabel_NYRG = label(fraNYRG, QStringLiteral("lblControlNumLabel_NYRG"),
                                    QStringLiteral("OR Control #:"), 8, 20 + 2 * ROW);
    txtCTLNum_NYRG = text(fraNYRG, QStringLiteral("txtCTLNum_NYRG"), FIELD_X, 20 + 2 * ROW, 60, 5);
    label(fraNYRG, QStringLiteral("lblCaption_txtMonth_NYRG"), QStringLiteral("Recorded:"), 8, 20 + 3 * ROW);
    txtMonth_NYRG = text(fraNYRG, QStringLiteral("txtMonth_NYRG"), FIELD_X, 20 + 3 * ROW, 28, 2);
    txtDay_NYRG = text(fraNYRG, QStringLiteral("txtDay_NYRG"), FIELD_X + 32, 20 + 3 * ROW, 28, 2);
    txtYear_NYRG = text(fraNYRG, QStringLiteral("txtYear_NYRG"), FIELD_X + 64, 20 + 3 * ROW, 44, 4);
    lblTempDate_NYRG = label(fraNYRG, QStringLiteral("lblTempDate_NYRG"),
                             QStringLiteral("month   day      year"), FIELD_X, 20 + 4 * ROW, 150);
    lblBookCode_NYRG = over(fraNYRG, QStringLiteral("lblBookCode_NYRG"), {txtBookCode_NYRG});
    lblBook_NYRG = over(fraNYRG, QStringLiteral("lblBook_NYRG"), {txtBook_NYRG});
    lblPage_NYRG = over(fraNYRG, QStringLiteral("lblPage_NYRG"), {txtPage_NYRG});
    lblCTLnum_NYRG = over(fraNYRG, QStringLiteral("lblCTLnum_NYRG"), {txtCTLNum_NYRG});
    lblDate_NYRG = over(fraNYRG, QStringLiteral("lblDate_NYRG"), {txtMonth_NYRG, txtDay_NYRG, txtYear_NYRG});
    label(fraNYRG, QStringLiteral("lblCaption_lblNumPages_NYRG"), QStringLiteral("# of Pages Recorded:"), 8,
          20 + 5 * ROW);
    lblNumPages_NYRG = label(fraNYRG, QStringLiteral("lblNumPages_NYRG"), QString(), FIELD_X, 20 + 5 * ROW, 150);
    label(fraNYRG, QStringLiteral("lblCaption_lblDocType_NYRG"), QStringLiteral("Doc Type:"), 8, 20 + 6 * ROW);
    lblDocType_NYRG = label(fraNYRG, QStringLiteral("lblDocType_NYRG"), QString(), FIELD_X, 20 + 6 * ROW, 150);

    // Reference lookups.
    fraFHS = frame(fraMain, QStringLiteral("fraFHS"), QString(), 4, fy);
    txtRefCode_FHS = row(fraFHS, QStringLiteral("Reference Code:"), QStringLiteral("txtRefCode_FHS"), 0, 40, 2);
    txtRefNum_FHS = row(fraFHS, QStringLiteral("Reference #:"), QStringLiteral("txtRefNum_FHS"), 1, 110, 10);
    lblRefCode_FHS = over(fraFHS, QStringLiteral("lblRefCode_FHS"), {txtRefCode_FHS});
    lblRefNum_FHS = over(fraFHS, QStringLiteral("lblRefNum_FHS"), {txtRefNum_FHS});
    const QStringList fhsCaptions = {QStringLiteral("Control #:"), QStringLiteral("Recorded:"),
                                     QStringLiteral("# of Pages Recorded:"), QStringLiteral("Doc Type:")};
    QLabel **fhsLabels[] = {&lblCTLNum_FHS, &lblDate_FHS, &lblNumPages_FHS, &lblDocType_FHS};
    const char *fhsNames[] = {"lblCTLNum_FHS", "lblDate_FHS", "lblNumPages_FHS", "lblDocType_FHS"};
    for (int i = 0; i < 4; ++i) {
        const QString name = QString::fromLatin1(fhsNames[i]);
        label(fraFHS, QStringLiteral("lblCaption_") + name, fhsCaptions[i], 8, 20 + (i + 2) * ROW);
        *fhsLabels[i] = label(fraFHS, name, QString(), FIELD_X, 20 + (i + 2) * ROW, 150);
    }

    // Barcode scan.
    fraNYBR = frame(fraMain, QStringLiteral("fraNYBR"), QStringLiteral("Barcode Scan"), 4, fy);
    btnLog_NYBR = button(fraNYBR, QStringLiteral("btnLog_NYBR"), QStringLiteral("View Barcode Log"), 8, 24, 140);

    // The two e-file frames share one layout.
    auto buildEFile = [&](QGroupBox *&f, const QString &name, ComboBox *&partner, const QString &partnerName,
                          QLineEdit *&submit, const QString &submitName, QLineEdit *&location,
                          const QString &locationName, QLineEdit *&batch, const QString &batchName,
                          QLineEdit *&docId, const QString &docIdName) {
        f = frame(fraMain, name, QString(), 4, fy);
        label(f, QStringLiteral("lblCaption_") + partnerName, QStringLiteral("e-File Partner:"), 8, 20);
        partner = addControl(new ComboBox(f), partnerName);
        partner->setGeometry(FIELD_X, 20, 150, 22);
        submit = row(f, QStringLiteral("Submitter Account:"), submitName, 1, 110, 10);
        location = row(f, QStringLiteral("Submitter Location:"), locationName, 2, 110, 10);
        batch = row(f, QStringLiteral("Batch ID:"), batchName, 3, 80, 7);
        docId = row(f, QStringLiteral("Document ID:"), docIdName, 4, 110, 10);
    };
    buildEFile(fraMARGElectronic, QStringLiteral("fraMARGElectronic"), cboEFilePartnerMARG,
               QStringLiteral("cboEFilePartnerMARG"), txtSubmitCdMARGElec, QStringLiteral("txtSubmitCdMARGElec"),
               txtLocationCdMARGElec, QStringLiteral("txtLocationCdMARGElec"), txtTrandIDMARG,
               QStringLiteral("txtTrandIDMARG"), txtDocIdMARGElec, QStringLiteral("txtDocIdMARGElec"));
    int y = 20 + 5 * ROW;
    Label73 = label(fraMARGElectronic, QStringLiteral("Label73"), QStringLiteral("Book Info:"), 8, y);
    lblBookMAMERGElec = label(fraMARGElectronic, QStringLiteral("lblBookMAMERGElec"), QString(), FIELD_X, y, 150);
    y += ROW;
    Label74 = label(fraMARGElectronic, QStringLiteral("Label74"), QStringLiteral("Control Info:"), 8, y);
    lblCtlMAMERGElec = label(fraMARGElectronic, QStringLiteral("lblCtlMAMERGElec"), QString(), FIELD_X, y, 70);
    lblCtlDateMAMERGElec = label(fraMARGElectronic, QStringLiteral("lblCtlDateMAMERGElec"), QString(),
                                 FIELD_X + 74, y, 80);
    y += ROW;
    Label70 = label(fraMARGElectronic, QStringLiteral("Label70"), QStringLiteral("# of Pages Recorded:"), 8, y);
    lblNumPages_MAMERG_ELEC = label(fraMARGElectronic, QStringLiteral("lblNumPages_MAMERG_ELEC"), QString(),
                                    FIELD_X, y, 150);
    y += ROW;
    Label71 = label(fraMARGElectronic, QStringLiteral("Label71"), QStringLiteral("Doc Type:"), 8, y);
    lblDocType_MAMERG_ELEC = label(fraMARGElectronic, QStringLiteral("lblDocType_MAMERG_ELEC"), QString(),
                                   FIELD_X, y, 150);

    buildEFile(fraNYRGElectronic, QStringLiteral("fraNYRGElectronic"), cboEFilePartnerNYRG,
               QStringLiteral("cboEFilePartnerNYRG"), txtSubmitCdNYRGElec, QStringLiteral("txtSubmitCdNYRGElec"),
               txtLocationCdNYRGElec, QStringLiteral("txtLocationCdNYRGElec"), txtTrandIDNYRG,
               QStringLiteral("txtTrandIDNYRG"), txtDocIdNYRGElec, QStringLiteral("txtDocIdNYRGElec"));
    y = 20 + 5 * ROW;
    Label64 = label(fraNYRGElectronic, QStringLiteral("Label64"), QStringLiteral("Book Info:"), 8, y);
    lblBookCodeNYRGElec = label(fraNYRGElectronic, QStringLiteral("lblBookCodeNYRGElec"), QString(), FIELD_X, y, 70);
    lblBookNYRGElec = label(fraNYRGElectronic, QStringLiteral("lblBookNYRGElec"), QString(), FIELD_X + 74, y, 80);
    y += ROW;
    Label61 = label(fraNYRGElectronic, QStringLiteral("Label61"), QStringLiteral("Control Info:"), 8, y);
    lblCtlNYRGElec = label(fraNYRGElectronic, QStringLiteral("lblCtlNYRGElec"), QString(), FIELD_X, y, 70);
    lblCtlDateNYRGElec = label(fraNYRGElectronic, QStringLiteral("lblCtlDateNYRGElec"), QString(),
                               FIELD_X + 74, y, 80);
    y += ROW;
    Label72 = label(fraNYRGElectronic, QStringLiteral("Label72"), QStringLiteral("# of Pages Recorded:"), 8, y);
    lblNumPages_NYRG_ELEC = label(fraNYRGElectronic, QStringLiteral("lblNumPages_NYRG_ELEC"), QString(),
                                  FIELD_X, y, 150);
    y += ROW;
    Label66 = label(fraNYRGElectronic, QStringLiteral("Label66"), QStringLiteral("Doc Type:"), 8, y);
    lblDocType_NYRG_ELEC = label(fraNYRGElectronic, QStringLiteral("lblDocType_NYRG_ELEC"), QString(),
                                 FIELD_X, y, 150);

    for (QGroupBox *f : {fraMARG, fraMERG, fraMALC, fraMALCP, fraMACC, fraMEBS, fraNYRG, fraFHS, fraNYBR,
                         fraMARGElectronic, fraNYRGElectronic})
        f->setVisible(false);

    // Scanning and viewing commands.
    y = fy + FRAME_H + 6;
    btnRotate = button(fraMain, QStringLiteral("btnRotate"), QStringLiteral("&Rotate 90"), 6, y);
    cboRotateOpt = addControl(new ComboBox(fraMain), QStringLiteral("cboRotateOpt"));
    cboRotateOpt->setGeometry(102, y, 120, 22);
    cboRotateOpt->addItem(QStringLiteral("Rotate Page"));
    cboRotateOpt->addItem(QStringLiteral("Rotate All"));
    y += 28;
    btnPrint = button(fraMain, QStringLiteral("btnPrint"), QStringLiteral("&Print"), 6, y);
    chkUseDefaultPrinter = check(fraMain, QStringLiteral("chkUseDefaultPrinter"),
                                 QStringLiteral("Use Default Printer"), 102, y, 190);
    y += 28;
    btnRedact = button(fraMain, QStringLiteral("btnRedact"), QStringLiteral("Re&dact"), 6, y);
    chkRedaction = check(fraMain, QStringLiteral("chkRedaction"), QStringLiteral("Redaction"), 102, y, 190);
    y += 28;
    cmdSettings = button(fraMain, QStringLiteral("cmdSettings"), QStringLiteral("Settings..."), 6, y);
    chkDuplex = check(fraMain, QStringLiteral("chkDuplex"), QStringLiteral("&Duplex"), 102, y, 80);
    y += 24;
    chkScanUD = check(fraMain, QStringLiteral("chkScanUD"), QStringLiteral("Scan &Upside Down"), 6, y, 150);
    y += 24;
    chkAutoNextPage = check(fraMain, QStringLiteral("chkAutoNextPage"), QStringLiteral("Auto Next Page"), 6, y, 130);
    lblPageNum = label(fraMain, QStringLiteral("lblPageNum"), QStringLiteral("Page X/X"), 190, y, 100);
    y += 24;
    lblScannerPaperSource = label(fraMain, QStringLiteral("lblScannerPaperSource"),
                                  QStringLiteral("Scanner Source:"), 6, y, 150);
    lblPageSize = label(fraMain, QStringLiteral("lblPageSize"), QStringLiteral("Page Size:"), 160, y, 60);
    cboPageSize = addControl(new QelEzScanSetting(fraMain), QStringLiteral("cboPageSize"));
    cboPageSize->setGeometry(222, y, 72, 22);
    y += 28;

    // Status text, scrollable.
    fraStatus = frame(fraMain, QStringLiteral("fraStatus"), QString(), 4, y, FRAME_W, 652 - y - 4);
    fraScroll = addControl(new QFrame(fraStatus), QStringLiteral("fraScroll"));
    fraScroll->setGeometry(6, 8, FRAME_W - 30, fraStatus->height() - 16);
    lblStatus = addControl(new AutoSizeLabel(fraScroll), QStringLiteral("lblStatus"));
    lblStatus->setGeometry(0, 0, FRAME_W - 30, 20);
    ScrStatus = addControl(new QScrollBar(Qt::Vertical, fraStatus), QStringLiteral("ScrStatus"));
    ScrStatus->setGeometry(FRAME_W - 22, 8, 16, fraScroll->height());
    ScrStatus->setVisible(false);

    // Two rows of command buttons under the column.
    const int upper = 716 - 56, lower = 716 - 24;
    // both rows end where the column ends (296), short of the thumbnail pane
    btnStore = button(client, QStringLiteral("btnStore"), QStringLiteral("S&tore"), 4, upper, 92);
    btnScan = button(client, QStringLiteral("btnScan"), QStringLiteral("&Scan"), 100, upper, 92);
    btnShowTree = button(client, QStringLiteral("btnShowTree"), QStringLiteral("Sh&ow Thumbnails"), 196, upper, 100);
    btnGoNew = button(client, QStringLiteral("btnGoNew"), QString(), 4, lower, 70);
    btnNext = button(client, QStringLiteral("btnNext"), QStringLiteral("Next&>"), 78, lower, 70);
    btnPrev = button(client, QStringLiteral("btnPrev"), QStringLiteral("&<Prev"), 152, lower, 70);
    btnRefresh = button(client, QStringLiteral("btnRefresh"), QStringLiteral("R&efresh"), 226, lower, 70);

    // Timers.
    timOverheadScan = addControl(new QTimer(this), QStringLiteral("timOverheadScan"));
    tmrAnnotationMerge = addControl(new QTimer(this), QStringLiteral("tmrAnnotationMerge"));
    tmrAutoNextPage = addControl(new QTimer(this), QStringLiteral("tmrAutoNextPage"));
}

void FrmMain::wireHandlers()
{
    connect(cboCurrentDocType, &ComboBox::Click, this, &FrmMain::cboCurrentDocType_Click);
    connect(btnShowTree, &QPushButton::clicked, this, &FrmMain::btnShowTree_Click);
    connect(mnuExit, &QAction::triggered, this, &FrmMain::mnuExit_Click);
    connect(mnuMARG, &QAction::triggered, this, &FrmMain::mnuMARG_Click);
    connect(mnuMALC, &QAction::triggered, this, &FrmMain::mnuMALC_Click);
    connect(mnuMALCP, &QAction::triggered, this, &FrmMain::mnuMALCP_Click);
    connect(mnuMEBS, &QAction::triggered, this, &FrmMain::mnuMEBS_Click);
    connect(mnuMERG, &QAction::triggered, this, &FrmMain::mnuMERG_Click);
    connect(mnuNYRG, &QAction::triggered, this, &FrmMain::mnuNYRG_Click);
    connect(mnuNYMD, &QAction::triggered, this, &FrmMain::mnuNYMD_Click);
    connect(mnuNYCR, &QAction::triggered, this, &FrmMain::mnuNYCR_Click);
    connect(mnuMARGBS, &QAction::triggered, this, &FrmMain::mnuMARGBS_Click);
    connect(mnuNYBS, &QAction::triggered, this, &FrmMain::mnuNYBS_Click);
    connect(mnuNYBR, &QAction::triggered, this, &FrmMain::mnuNYBR_Click);
    connect(mnuMACC, &QAction::triggered, this, &FrmMain::mnuMACC_Click);
    // mnuFHS has no action of its own (its mode comes with the customer state): a click
    // leaves its tick as it was.
    connect(mnuPreferences, &QAction::triggered, this, &FrmMain::mnuPreferences_Click);
    connect(mnuAbout, &QAction::triggered, this, &FrmMain::mnuAbout_Click);
    // The status text follows its scroll bar; a text of another height lays the bar out again.
    connect(lblStatus, &AutoSizeLabel::heightChanged, this, [this] { layoutStatusText(*this); });
    connect(ScrStatus, &QScrollBar::valueChanged, this, [this](int value) { ctl::setTop(lblStatus, -value); });
    connect(mnuFHS, &QAction::triggered, mnuFHS, [this](bool checked) { mnuFHS->setChecked(!checked); });
    // Print and Redact have nothing to work on while the views are empty, whichever road emptied them.
    connect(ezPageView, &QelEzImage::notify, this, [this](int code) {
        if (code == ezNotify::PageNumber && ezPageView->pageCount() == 0) {
            btnPrint->setEnabled(false);
            btnRedact->setEnabled(false);
        }
    });
}

// --- Handlers -------------------------------------------------------------------------------

void FrmMain::Form_Load()
{
    Trap trap;
    try {
        trap(1);
        timOverheadScan->stop();
        timOverheadScan->setInterval(1000);
        trap(2);
        app_init();
        trap(3);
        new_bkPg(true, false);
        // Pages a termination signal kept come back once the workspace is fresh.
        if (g_blnLoggedIn && isLoaded()) {
            restoreRecoveryDocument();
            // Kept pages that came back can be printed and redacted as freshly scanned ones.
            const bool pages = ezPageView->pageCount() > 0;
            btnPrint->setEnabled(pages);
            btnRedact->setEnabled(pages);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("frmMain::Form_Load"), trap);
    }
}

void FrmMain::Form_Unload(int &cancel)
{
    // A close that arrives while the unload waits on its question or the shutdown window (a
    // termination signal) is refused: the unload under way ends the program.
    static bool unloading = false;
    if (unloading) {
        cancel = 1;
        return;
    }
    const QScopedValueRollback<bool> once(unloading, true);
    Trap trap;
    try {
        trap(1);
        if (promptStore()) {
            cancel = 0;
            trap(2);
            frmShutdown().Show(vb::vbModal, this);
            trap(3);
            if (ezPageView->pageCount() >= 1) {
                ezTreeView->clearImage();
                ezPageView->clearImage();
            }
        } else {
            cancel = 1;
        }
        trap(4);
        const QString script = programFolder() + QStringLiteral("/force.sh");
        if (!QFile::exists(script))
            raiseVbError(vbErr::FileNotFound);
        if (!startHidden(QStringLiteral("/bin/sh"), {script}))
            raiseVbError(vbErr::FileNotFound);
    } catch (...) {
        const VbError e = currentError();
        traceLine(QStringLiteral("Korvane Scan Tool::frmMain::Unload:We are entering error handler "
                                 "ErrorHandler with the following error: ")
                  + QString::number(e.number) + QStringLiteral("-") + e.description);
        throwError(QStringLiteral("frmMain::Unload"), trap, e);
    }
}

void FrmMain::Form_KeyDown(int &keyCode, int shift)
{
    checkKeyDown(keyCode, shift);
    // The window handles its keys itself: only Delete goes on to the control (typed characters
    // still reach it).
    if (keyCode != vb::vbKeyDelete)
        keyCode = 0;
}

void FrmMain::Form_Resize() { resizeElements(); }

void FrmMain::cboCurrentDocType_Click()
{
    // The program sets the source while the frames are hidden (the combo off); the operator's switch
    // drops unstored pages only when the operator says so.
    const int index = cboCurrentDocType->listIndex();
    if (cboCurrentDocType->isEnabled() && !promptStore([this, index] { cboCurrentDocType->setListIndex(index); })) {
        const QSignalBlocker quiet(cboCurrentDocType);
        cboCurrentDocType->setListIndex(gdtCurrentDocType);
        return;
    }
    Trap trap;
    try {
        trap(1);
        gdtCurrentDocType = index != 0 ? 1 : 0;
        const bool efile = gdtCurrentDocType == 1;
        trap(2);
        switch (g_dbMode) {
        case 0:
        case 4:
            if (efile) {
                fraMARG->setVisible(false);
                fraMARGElectronic->setVisible(true);
                chkScanUnIndexedDocsMEMARG->setChecked(false);
                g_blnScanUnIndexDocs = false;
            } else {
                fraMARG->setVisible(true);
                fraMARGElectronic->setVisible(false);
            }
            fraDefaultDocType->setEnabled(true);
            (g_dbMode == 0 ? mnuMARG : mnuMERG)->setChecked(true);
            break;
        case 1:
            if (efile) {
                fraMALC->setVisible(false);
                fraMARGElectronic->setVisible(true);
                chkScanUnIndexedDocsMALC->setChecked(false);
                g_blnScanUnIndexDocs = false;
            } else {
                fraMALC->setVisible(true);
                fraMARGElectronic->setVisible(false);
            }
            break;
        case 5:
            fraNYRG->setVisible(!efile);
            fraNYRGElectronic->setVisible(efile);
            break;
        default:
            break;
        }
        trap(3);
        new_bkPg(true, false);
    } catch (...) {
        reportCurrentError(QStringLiteral("cboCurrentDocType_Click"), trap);
    }
}

void FrmMain::btnShowTree_Click()
{
    if (btnShowTree->text() == QLatin1String("Show Thumbna&ils"))
        showTree();
    else
        hideTree();
}

// A scan under way stops at the sheet in hand; the exit then goes on as from its end.
void FrmMain::mnuExit_Click() { unloadAfterRoads(vb::vbFormCode); }

// The close box likewise (an ending program waits for the scan itself).
void FrmMain::closeEvent(QCloseEvent *event)
{
    if (roadRunning() && !quitRequested()) {
        event->ignore();
        unloadAfterRoads(vb::vbFormControlMenu);
        return;
    }
    Form::closeEvent(event);
}

// Unstored pages (recovered ones too) are dropped by a switch only when the operator says so.
static void selectMode(QAction *entry, qint16 mode)
{
    if (!promptStore([entry, mode] { selectMode(entry, mode); })) {
        entry->setChecked(g_dbMode == mode);
        return;
    }
    try {
        set_g_dbMode(mode);
    } catch (...) {
        reportCurrentError(QStringLiteral("set_g_dbMode"), Trap{});
    }
}

void FrmMain::mnuMARG_Click() { selectMode(mnuMARG, 0); }
void FrmMain::mnuMALC_Click() { selectMode(mnuMALC, 1); }
void FrmMain::mnuMALCP_Click() { selectMode(mnuMALCP, 2); }
void FrmMain::mnuMEBS_Click() { selectMode(mnuMEBS, 3); }
void FrmMain::mnuMERG_Click() { selectMode(mnuMERG, 4); }
void FrmMain::mnuNYRG_Click() { selectMode(mnuNYRG, 5); }
void FrmMain::mnuNYMD_Click() { selectMode(mnuNYMD, 6); }
void FrmMain::mnuNYCR_Click() { selectMode(mnuNYCR, 7); }
void FrmMain::mnuMARGBS_Click() { selectMode(mnuMARGBS, 9); }
void FrmMain::mnuNYBS_Click() { selectMode(mnuNYBS, 10); }
void FrmMain::mnuNYBR_Click() { selectMode(mnuNYBR, 11); }
void FrmMain::mnuMACC_Click() { selectMode(mnuMACC, 12); }

void FrmMain::mnuPreferences_Click()
{
    Trap trap;
    try {
        trap(1);
        const bool duplex = g_blnDefaultDuplex;
        frmPreferences().Show(vb::vbModal, this);
        trap(2);
        if (g_blnDefaultDuplex != duplex)
            ezTreeView->setDuplex(g_blnDefaultDuplex ? 1 : 0);
    } catch (...) {
        reportCurrentError(QStringLiteral("mnuPreferences_Click"), trap);
    }
}

void FrmMain::mnuAbout_Click() { frmAbout().Show(vb::vbModal, this); }

