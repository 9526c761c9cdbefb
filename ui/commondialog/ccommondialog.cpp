#include "ui/commondialog/ccommondialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QTimer>

#include "platform/system/help.h"
#include "platform/vb/vberror.h"

namespace {
// A file dialog that asks its notification object before it accepts.
class HookedFileDialog : public QFileDialog {
public:
    HookedFileDialog(QWidget *owner, const QString &title, const QString &dir, cCommonDialog *notify)
        : QFileDialog(owner, title, dir), m_notify(notify)
    {
        if (!notify)
            return;
        setOption(QFileDialog::DontUseNativeDialog); // the notifications need Qt's own dialog
        connect(this, &QFileDialog::currentChanged, this, [this] { m_notify->FileChange(this); });
        connect(this, &QFileDialog::directoryEntered, this, [this] { m_notify->FolderChange(this); });
        connect(this, &QFileDialog::filterSelected, this, [this] { m_notify->TypeChange(this); });
    }
    void accept() override
    {
        if (m_notify && !m_notify->ConfirmOK())
            return;
        QFileDialog::accept();
    }

private:
    cCommonDialog *m_notify;
};

// Sends the opening and closing notifications around a modal run.
int execHooked(QDialog &d, cCommonDialog *notify)
{
    if (notify)
        QObject::connect(&d, &QDialog::finished, &d, [notify] { notify->DialogClose(); });
    if (notify)
        QTimer::singleShot(0, &d, [&d, notify] { notify->InitDialog(&d); });
    return d.exec();
}

constexpr qint32 CDERR_CANCEL = 20001;
constexpr qint32 CDERR_BASE = 13450;
constexpr qint32 ERR_HELP_COMMAND = 13705;
const QChar NUL(u'\0');

CommonDialogScript *g_script = nullptr;

QString errorSource()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()
           + QStringLiteral(".cCommonDialog");
}

bool has(qint32 flags, qint32 mask) { return (flags & mask) == mask; }

// The Qt name filters of description-and-pattern parts ("Images (*.tif *.tiff)").
QStringList nameFilters(const QStringList &parts)
{
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(u';', u' ') + u')';
    return out;
}

CommonDialogAnswer showQtDialog(const CommonDialogRequest &r)
{
    CommonDialogAnswer a;
    QWidget *owner = QApplication::activeWindow();
    switch (r.kind) {
    case CommonDialogRequest::Open:
    case CommonDialogRequest::Save: {
        HookedFileDialog d(owner, r.title, r.initDir, r.notify);
        const bool open = r.kind == CommonDialogRequest::Open;
        d.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        if (open)
            d.setFileMode(has(r.flags, 512) ? QFileDialog::ExistingFiles
                                            : has(r.flags, 4096) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        if (!open && !has(r.flags, 2))
            d.setOption(QFileDialog::DontConfirmOverwrite);
        d.setDefaultSuffix(r.defaultExt);
        const QStringList filters = nameFilters(r.filterParts);
        d.setNameFilters(filters);
        if (r.filterIndex >= 1 && r.filterIndex <= filters.size())
            d.selectNameFilter(filters[r.filterIndex - 1]);
        if (!r.fileName.isEmpty())
            d.selectFile(r.fileName);
        if (execHooked(d, r.notify) != QDialog::Accepted)
            return a;
        a.ok = true;
        a.files = d.selectedFiles();
        a.filterIndex = int(filters.indexOf(d.selectedNameFilter())) + 1;
        return a;
    }
    case CommonDialogRequest::Color: {
        QColorDialog d(longToColor(r.color), owner);
        if (execHooked(d, r.notify) != QDialog::Accepted)
            return a;
        a.ok = true;
        a.color = colorToLong(d.selectedColor());
        return a;
    }
    case CommonDialogRequest::Font: {
        QFontDialog d(r.font, owner);
        if (execHooked(d, r.notify) != QDialog::Accepted)
            return a;
        a.ok = true;
        a.font = d.selectedFont();
        a.fontColor = r.color;
        return a;
    }
    case CommonDialogRequest::Printer: {
        QPrinter printer;
        printer.setFromTo(r.fromPage, r.toPage);
        QPrintDialog d(&printer, owner);
        if (execHooked(d, r.notify) != QDialog::Accepted)
            return a;
        a.ok = true;
        a.copies = printer.copyCount();
        a.fromPage = printer.fromPage();
        a.toPage = printer.toPage();
        a.printerName = printer.printerName();
        return a;
    }
    case CommonDialogRequest::PageSetup: {
        QPrinter printer;
        const bool inches = has(r.flags, 4);
        const double factor = inches ? 1000.0 : 100.0;
        const QPageLayout::Unit unit = inches ? QPageLayout::Inch : QPageLayout::Millimeter;
        printer.setPageMargins(QMarginsF(r.margins[0] / factor, r.margins[4] / factor, r.margins[2] / factor,
                                         r.margins[6] / factor), unit);
        QPageSetupDialog d(&printer, owner);
        if (d.exec() != QDialog::Accepted)
            return a;
        a.ok = true;
        const QMarginsF m = printer.pageLayout().margins(unit);
        const double out[4] = {m.left(), m.right(), m.top(), m.bottom()};
        for (int i = 0; i < 4; ++i) {
            a.margins[2 * i] = qint32(std::lrint(out[i] * factor));
            a.margins[2 * i + 1] = r.margins[2 * i + 1];
        }
        a.orientation = printer.pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
        a.paperSize = int(printer.pageLayout().pageSize().id());
        a.printQuality = printer.resolution();
        a.copies = printer.copyCount();
        return a;
    }
    }
    return a;
}

template <class F, class... A> void callEvent(const F &event, A... args)
{
    if (event)
        event(args...);
}

CommonDialogAnswer runDialog(const CommonDialogRequest &r)
{
    return g_script ? g_script->respond(r) : showQtDialog(r);
}

// The custom colour table, filled on first use.
qint32 *customColors()
{
    static qint32 table[16];
    static bool filled = false;
    if (!filled) {
        for (int i = 0; i < 16; ++i)
            table[i] = colorToLong(QColorDialog::customColor(i));
        filled = true;
    }
    return table;
}
}

qint32 colorToLong(const QColor &color)
{
    return qint32(color.red()) | qint32(color.green()) << 8 | qint32(color.blue()) << 16;
}

QColor longToColor(qint32 value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

CommonDialogScript::CommonDialogScript() : m_previous(g_script) { g_script = this; }
CommonDialogScript::~CommonDialogScript() { g_script = m_previous; }
CommonDialogScript *CommonDialogScript::current() { return g_script; }

CommonDialogAnswer CommonDialogScript::respond(const CommonDialogRequest &request)
{
    requests.append(request);
    if (whileOpen)
        whileOpen(request);
    return m_answers.isEmpty() ? CommonDialogAnswer{} : m_answers.takeFirst();
}

QStringList splitFilter(const QString &filter)
{
    if (filter.size() > 32767)
        throw VbError(6, QStringLiteral("Overflow"));
    QString parts = filter;
    parts.replace(u'|', NUL).replace(u':', NUL);
    return parts.split(NUL);
}

QString FilterLookup(const QString &list, int n)
{
    if (list.isEmpty())
        return QString();
    qsizetype start = 0;
    for (;;) {
        const qsizetype afterDesc = list.indexOf(NUL, start);
        if (afterDesc < 0)
            return QString();
        const qsizetype afterPattern = list.indexOf(NUL, afterDesc + 1);
        const QString pair = afterPattern < 0 ? list.mid(start) : list.mid(start, afterPattern - start);
        if (n == 1)
            return pair;
        if (--n <= 0 || afterPattern < 0)
            return QString();
        start = afterPattern + 1;
    }
}

qint32 cCommonDialog::CustomColor(int index) const
{
    if (index < 0 || index > 15)
        return -1;
    return customColors()[index];
}

void cCommonDialog::setCustomColor(int index, qint32 value)
{
    if (index >= 0 && index <= 15)
        customColors()[index] = value;
}

void cCommonDialog::raiseDialogError()
{
    // Qt dialogs end in OK or cancel only; a cancel is an error only when asked for.
    if (m_cancelError)
        throw VbError(CDERR_CANCEL, QStringLiteral("User selected cancel."), errorSource());
}

bool cCommonDialog::runFileDialog(CommonDialogRequest::Kind kind, qint32 dialogFlags, bool multi)
{
    CommonDialogRequest r;
    r.kind = kind;
    r.flags = dialogFlags;
    r.title = m_title;
    r.fileName = m_fileName;
    r.initDir = m_initDir;
    r.defaultExt = m_defaultExt;
    r.filterParts = splitFilter(m_filter);
    r.filterIndex = m_filterIndex;
    if (m_hook) {
        r.flags |= 524288 | 32;
        r.notify = this;
    }
    const CommonDialogAnswer a = runDialog(r);
    if (!a.ok || a.files.isEmpty()) {
        m_fileName.clear();
        m_fileTitle.clear();
        m_filter.clear();
        m_flags = 0;
        m_filterIndex = kind == CommonDialogRequest::Open ? -1 : 0;
        return false;
    }
    if (multi) {
        // Folder, NUL, names separated by NUL, two NULs; one file comes back whole.
        if (a.files.size() == 1) {
            m_fileName = a.files.first() + NUL + NUL;
        } else {
            m_fileName = QFileInfo(a.files.first()).absolutePath();
            for (const QString &f : a.files)
                m_fileName += NUL + QFileInfo(f).fileName();
            m_fileName += QString(2, NUL);
        }
    } else {
        m_fileName = a.files.first();
    }
    m_fileTitle = QFileInfo(a.files.first()).fileName();
    m_flags = dialogFlags | (a.readOnly ? 1 : 0);
    m_filterIndex = a.filterIndex;
    m_filter = FilterLookup(r.filterParts.join(NUL), a.filterIndex);
    return true;
}

void cCommonDialog::ShowOpen()
{
    const bool mustExist = has(m_flags, 4096), multi = has(m_flags, 512);
    const bool readOnly = has(m_flags, 1), hideReadOnly = has(m_flags, 4);
    // No dialog templates here: the template bit never stands.
    m_flags &= ~64;
    if (m_filterIndex == 0)
        m_filterIndex = 1;
    qint32 dialogFlags = (mustExist ? 4096 : 0) | (multi ? 512 | 524288 : 0) | (readOnly ? 1 : 0)
                         | (hideReadOnly ? 4 : 0);
    if (!runFileDialog(CommonDialogRequest::Open, dialogFlags, multi))
        raiseDialogError();
}

void cCommonDialog::ShowSave()
{
    const bool overwrite = has(m_flags, 2);
    m_flags &= ~64;
    if (!runFileDialog(CommonDialogRequest::Save, (overwrite ? 2 : 0) | 4, false))
        raiseDialogError();
}

void cCommonDialog::ShowColor()
{
    CommonDialogRequest r;
    r.kind = CommonDialogRequest::Color;
    r.color = m_color < 0 ? -1 : m_color; // system colours are not translated
    r.flags = 1 | (has(m_flags, 256) ? 256 : 128) | (has(m_flags, 2) ? 2 : 0) | (has(m_flags, 4) ? 4 : 0)
              | (m_hook ? 16 : 0);
    r.notify = m_hook ? this : nullptr;
    const CommonDialogAnswer a = runDialog(r);
    if (!a.ok) {
        raiseDialogError();
        return;
    }
    m_color = a.color;
}

void cCommonDialog::ShowFont()
{
    CommonDialogRequest r;
    r.kind = CommonDialogRequest::Font;
    qint32 f = m_flags;
    if (!has(f, 2))
        f |= 1;
    if (m_fontColor != 0)
        f |= 256;
    if (m_min != 0 || m_max != 0)
        f |= 8192;
    f = (f & ~(8 | 16 | 512)) | 64;
    r.flags = f | (m_hook ? 8 : 0);
    r.notify = m_hook ? this : nullptr;
    r.font = m_font;
    r.color = m_fontColor;
    r.minSize = m_min;
    r.maxSize = m_max;
    const CommonDialogAnswer a = runDialog(r);
    m_flags = f;
    if (!a.ok) {
        raiseDialogError();
        return;
    }
    m_font = a.font;
    m_fontColor = a.fontColor;
}

void cCommonDialog::ShowPrinter()
{
    CommonDialogRequest r;
    r.kind = CommonDialogRequest::Printer;
    if (m_fromPage > 32767 || m_toPage > 32767 || m_fromPage < -32768 || m_toPage < -32768)
        throw VbError(6, QStringLiteral("Overflow"), errorSource());
    r.flags = m_flags | 262144 | 256;
    if (!has(m_flags, 2))
        r.flags |= 8;
    r.flags &= ~(4096 | 8192 | 16384 | 32768);
    if (m_hook)
        r.flags |= has(m_flags, 64) ? 8192 : 4096;
    r.notify = m_hook ? this : nullptr;
    r.fromPage = m_fromPage;
    r.toPage = m_toPage;
    const CommonDialogAnswer a = runDialog(r);
    if (!a.ok)
        return; // never an error, whatever CancelError says
    m_copies = a.copies;
    m_fromPage = a.fromPage;
    m_toPage = a.toPage;
    m_printerName = a.printerName;
    m_printerDriver = a.printerDriver;
    m_printerPort = a.printerPort;
}

void cCommonDialog::ShowHelp()
{
    try {
        if (m_helpCommand == 513 || m_helpCommand == 515)
            throw VbError(ERR_HELP_COMMAND, QStringLiteral("Invalid WinHelp Command Passed to ShowHelp function."));
        if (g_script) {
            g_script->helpCalls.append({m_helpFile, m_helpCommand});
            if (g_script->help && !g_script->help(m_helpFile, m_helpCommand))
                throw VbError(2, QStringLiteral("The system cannot find the file specified."));
            return;
        }
        showHelp(m_helpFile, m_helpCommand, QString(), QApplication::activeWindow());
    } catch (const VbError &e) {
        throw VbError(e.number, e.description, errorSource());
    }
}

void cCommonDialog::ParseMultiFileName(QString &directory, QStringList &names, qint32 &count) const
{
    const QString twoNuls(2, NUL);
    const qsizetype end = m_fileName.indexOf(twoNuls);
    if (end >= 0) {
        const QStringList parts = m_fileName.left(end).split(NUL);
        for (int i = 0; i < parts.size(); ++i) {
            if (directory.isEmpty() && i + 1 < parts.size()) {
                directory = parts[i];
            } else {
                names.append(parts[i]);
                ++count;
            }
        }
        return;
    }
    count = 1;
    names = QStringList();
    const qsizetype slash = std::max(m_fileName.lastIndexOf(u'\\'), m_fileName.lastIndexOf(u'/'));
    if (slash >= 1) {
        directory = m_fileName.left(slash);
        names.append(m_fileName.mid(slash + 1));
    } else {
        directory.clear();
        names.append(m_fileName);
    }
}

bool VBPageSetupDlg2(PageSetupArgs &args)
{
    CommonDialogRequest r;
    r.kind = CommonDialogRequest::PageSetup;
    const double factor = args.units == 0 ? 1000.0 : 100.0;
    r.flags = (args.marginsDisabled ? 16 : 0) | (args.orientationDisabled ? 256 : 0) | (args.paperDisabled ? 512 : 0)
              | (args.printerDisabled ? 32 : 0) | (args.units == 0 ? 4 : 8);
    for (int i = 0; i < 8; ++i)
        r.margins[i] = qint32(std::lrint(args.margins[i] * factor));
    const CommonDialogAnswer a = runDialog(r);
    if (!a.ok)
        return false;
    for (int i = 0; i < 8; ++i)
        args.margins[i] = float(a.margins[i] / factor);
    args.paperSize = a.paperSize;
    args.orientation = a.orientation;
    args.printQuality = a.printQuality;
    return true;
}

qint32 cCommonDialog::InitDialog(QWidget *dialog)
{
    callEvent(events.InitDialog, dialog);
    return 0;
}

qint32 cCommonDialog::FileChange(QWidget *dialog)
{
    callEvent(events.FileChange, dialog);
    return 0;
}

qint32 cCommonDialog::FolderChange(QWidget *dialog)
{
    callEvent(events.FolderChange, dialog);
    return 0;
}

qint32 cCommonDialog::TypeChange(QWidget *dialog)
{
    callEvent(events.TypeChange, dialog);
    return 0;
}

bool cCommonDialog::ConfirmOK()
{
    bool cancel = false;
    if (events.DialogOK)
        events.DialogOK(cancel);
    return !cancel;
}

void cCommonDialog::DialogClose()
{
    if (events.DialogClose)
        events.DialogClose();
}

void cCommonDialog::CentreDialog(QWidget *dialog, QWidget *centreOn) const
{
    QWidget *window = dialog->window();
    QRect target;
    if (centreOn)
        target = centreOn->window()->frameGeometry();
    else if (QScreen *screen = window->screen())
        target = screen->availableGeometry();
    if (target.right() < 1 || target.bottom() < 1)
        return;
    const QRect own = window->frameGeometry();
    window->move(target.left() + (target.width() - own.width()) / 2,
                 target.top() + (target.height() - own.height()) / 2);
}

void cCommonDialog::GetDialogSize(QWidget *dialog, qint32 &left, qint32 &top, qint32 &width, qint32 &height) const
{
    const QRect r = dialog->window()->frameGeometry();
    left = r.left();
    top = r.top();
    width = r.width();
    height = r.height();
}
