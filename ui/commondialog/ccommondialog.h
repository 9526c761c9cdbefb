#pragma once
#include <QColor>
#include <cmath>
#include <QFont>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
class cCommonDialog;

// The common dialogs (open and save file, colour, font, print) and the help call behind one
// object with properties: set properties, call a Show method, read the properties back.
// Failures and (with CancelError) a cancel are raised as VbError with source
// "<executable>.cCommonDialog".

// Colour values as the design keeps them: 0x00BBGGRR.
qint32 colorToLong(const QColor &color);
QColor longToColor(qint32 value);

// What a Show method asks of the dialog, and the dialog's answer.
struct CommonDialogRequest {
    enum Kind { Open, Save, Color, Font, Printer, PageSetup };
    Kind kind = Open;
    qint32 flags = 0;        // the bits handed to the dialog
    QString title, fileName, initDir, defaultExt;
    QStringList filterParts; // description, pattern, description, pattern, ...
    qint32 filterIndex = 0;
    qint32 color = 0;        // colour and font dialogs
    QFont font;
    qint32 minSize = 0, maxSize = 0;
    qint32 fromPage = 0, toPage = 0;
    qint32 margins[8] = {}; // page setup: left, smallest left, right, smallest right, top, ... in record units
    cCommonDialog *notify = nullptr; // receives the dialog's notifications while it is open (hooked dialogs)
};
struct CommonDialogAnswer {
    bool ok = false;           // false: cancelled
    QStringList files;         // file dialogs: full paths
    qint32 filterIndex = 1;
    bool readOnly = false;
    qint32 color = 0;
    QFont font;
    qint32 fontColor = 0;
    qint32 copies = 1, fromPage = 0, toPage = 0;
    QString printerName, printerDriver, printerPort;
    qint32 margins[8] = {};  // page setup, in record units
    qint32 paperSize = 0, orientation = 0, printQuality = 0;
};

// While one is alive no dialog is shown: each Show call is recorded and answered from the
// queue (an empty queue answers Cancel).
class CommonDialogScript {
public:
    CommonDialogScript();
    ~CommonDialogScript();
    CommonDialogScript(const CommonDialogScript &) = delete;
    CommonDialogScript &operator=(const CommonDialogScript &) = delete;

    void answer(const CommonDialogAnswer &a) { m_answers.append(a); }
    // The help call: return false to make it fail with the given system error.
    std::function<bool(const QString &file, int command)> help;
    QList<CommonDialogRequest> requests;
    QList<QPair<QString, int>> helpCalls;
    // Runs while the scripted dialog is "open" (before its answer is taken): it may send the
    // notifications a real dialog would.
    std::function<void(const CommonDialogRequest &)> whileOpen;

    static CommonDialogScript *current();
    CommonDialogAnswer respond(const CommonDialogRequest &request);

private:
    QList<CommonDialogAnswer> m_answers;
    CommonDialogScript *m_previous = nullptr;
};

// The filter list as the dialog receives it: "|" and ":" both separate parts.
QStringList splitFilter(const QString &filter);
// The n-th (1-based) description-and-pattern pair of NUL-separated parts, joined by a NUL;
// empty when there is no such pair.
QString FilterLookup(const QString &list, int n);

// The page set-up dialog. Margins are in inches (units 0) or millimetres; the dialog works in
// thousandths of an inch or hundredths of a millimetre.
struct PageSetupArgs {
    bool marginsDisabled = false, orientationDisabled = false, paperDisabled = false, printerDisabled = false;
    float margins[8] = {}; // left, smallest left, right, smallest right, top, smallest top, bottom, smallest bottom
    qint32 paperSize = 0, orientation = 0, printQuality = 0; // out
    qint32 units = 0;
};
// True when the dialog was confirmed; otherwise nothing is written.
bool VBPageSetupDlg2(PageSetupArgs &args);

class cCommonDialog {
public:
    bool CancelError() const { return m_cancelError; }
    void setCancelError(bool on) { m_cancelError = on; }
    QString Filename() const { return m_fileName; }
    void setFilename(const QString &v) { m_fileName = v; }
    QString Filter() const { return m_filter; }
    void setFilter(const QString &v) { m_filter = v; }
    qint32 FilterIndex() const { return m_filterIndex; }
    void setFilterIndex(qint32 v) { m_filterIndex = v; }
    qint32 Color() const { return m_color; }
    void setColor(qint32 v) { m_color = v; }
    qint32 Copies() const { return m_copies; }
    void setCopies(qint32 v) { m_copies = v; }
    QString DefaultExt() const { return m_defaultExt; }
    void setDefaultExt(const QString &v) { m_defaultExt = v; }
    QString DialogTitle() const { return m_title; }
    void setDialogTitle(const QString &v) { m_title = v; }
    qint32 flags() const { return m_flags; }
    void setFlags(qint32 v) { m_flags = v; }
    QFont &Font() { return m_font; }
    void setFont(const QFont &f) { m_font = f; }
    QString FontName() const { return m_font.family(); }
    void setFontName(const QString &v) { m_font.setFamily(v); }
    qint32 FontSize() const { return qint32(std::lrint(m_font.pointSizeF())); } // half to even
    void setFontSize(qint32 v) { m_font.setPointSize(v); }
    bool FontBold() const { return m_font.bold(); }
    void setFontBold(bool v) { m_font.setBold(v); }
    bool FontItalic() const { return m_font.italic(); }
    void setFontItalic(bool v) { m_font.setItalic(v); }
    bool FontStrikethru() const { return m_font.strikeOut(); }
    void setFontStrikethru(bool v) { m_font.setStrikeOut(v); }
    bool FontUnderline() const { return m_font.underline(); }
    void setFontUnderline(bool v) { m_font.setUnderline(v); }
    qint32 FontColor() const { return m_fontColor; }
    void setFontColor(qint32 v) { m_fontColor = v; }
    qint32 FromPage() const { return m_fromPage; }
    void setFromPage(qint32 v) { m_fromPage = v; }
    qint32 ToPage() const { return m_toPage; }
    void setToPage(qint32 v) { m_toPage = v; }
    qint32 HelpCommand() const { return m_helpCommand; }
    void setHelpCommand(qint32 v) { m_helpCommand = v; }
    QString HelpContext() const { return m_helpContext; }
    void setHelpContext(const QString &v) { m_helpContext = v; }
    QString HelpFile() const { return m_helpFile; }
    void setHelpFile(const QString &v) { m_helpFile = v; }
    QString HelpKey() const { return m_helpKey; }
    void setHelpKey(const QString &v) { m_helpKey = v; }
    QString InitDir() const { return m_initDir; }
    void setInitDir(const QString &v) { m_initDir = v; }
    qint32 Max() const { return m_max; }
    void setMax(qint32 v) { m_max = v; }
    qint32 Min() const { return m_min; }
    void setMin(qint32 v) { m_min = v; }
    QString PrinterName() const { return m_printerName; }
    QString PrinterDriver() const { return m_printerDriver; }
    QString PrinterOutputPort() const { return m_printerPort; }
    QString FileTitle() const { return m_fileTitle; }
    void setFileTitle(const QString &v) { m_fileTitle = v; }
    // The sixteen custom colours of the colour dialog; -1 outside 0 to 15.
    qint32 CustomColor(int index) const;
    void setCustomColor(int index, qint32 value);

    void ShowOpen();
    void ShowSave();
    void ShowColor();
    void ShowFont();
    void ShowPrinter();
    void ShowHelp();

    // Events of a hooked dialog (HookDialog True), raised to the client while the dialog is open.
    struct Events {
        std::function<void(QWidget *dialog)> InitDialog, FileChange, FolderChange, TypeChange;
        std::function<void(bool &cancel)> DialogOK; // setting cancel keeps a file dialog open
        std::function<void()> DialogClose;
    };
    Events events;
    bool HookDialog() const { return m_hook; }
    void setHookDialog(bool on) { m_hook = on; }
    // Notification entry points the dialog calls; each raises the event of the same name.
    qint32 InitDialog(QWidget *dialog);
    qint32 FileChange(QWidget *dialog);
    qint32 FolderChange(QWidget *dialog);
    qint32 TypeChange(QWidget *dialog);
    bool ConfirmOK(); // raises DialogOK; false when a handler set cancel
    void DialogClose();

    // Centres a dialog window on another window (or, without one, on the screen's work area).
    void CentreDialog(QWidget *dialog, QWidget *centreOn) const;
    void GetDialogSize(QWidget *dialog, qint32 &left, qint32 &top, qint32 &width, qint32 &height) const;

    // Splits Filename after a multiple-selection open into the folder and the names.
    void ParseMultiFileName(QString &directory, QStringList &names, qint32 &count) const;

private:
    bool runFileDialog(CommonDialogRequest::Kind kind, qint32 dialogFlags, bool multi);
    void raiseDialogError();

    bool m_cancelError = false, m_hook = false;
    QString m_fileName, m_filter, m_defaultExt, m_title, m_initDir, m_fileTitle;
    QString m_helpContext, m_helpFile, m_helpKey;
    QString m_printerName, m_printerDriver, m_printerPort;
    qint32 m_filterIndex = 1, m_color = 0, m_copies = 0, m_flags = 0, m_fontColor = 0;
    qint32 m_fromPage = 0, m_toPage = 0, m_helpCommand = 0, m_max = 0, m_min = 0;
    QFont m_font;
};
