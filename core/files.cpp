#include "core/files.h"

#include <QFile>
#include <QFileInfo>

#include "core/errors.h"
#include "core/state.h"
#include "platform/scan/scannersession.h"
#include "platform/system/system.h"
#include "platform/vb/vb.h"

namespace {

bool fileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// Deletes an existing file, read-only or not; raises 70 when it stays.
void removeForced(const QString &path)
{
    QFile f(path);
    f.setPermissions(f.permissions() | QFileDevice::WriteOwner);
    if (!f.remove())
        raiseVbError(vbErr::PermissionDenied);
}

} // namespace

void DeleteTempFile(const QString &name)
{
    Trap at;
    try {
        at(1);
        const QString path = g_strTempPath + name;
        if (fileExists(path)) {
            at(2);
            removeForced(path);
        }
        at(3);
        g_intOldDocLength = 0;
    } catch (...) {
        reportCurrentError(QStringLiteral("DeleteTempFile"), at);
    }
}

void DeleteFile(const QString &path)
{
    Trap at;
    try {
        at(1);
        if (fileExists(path)) {
            at(2);
            removeForced(path);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("DeleteFile"), at);
    }
}

void CopyFile(const QString &source, const QString &destination)
{
    Trap at;
    try {
        at(1);
        if (!fileExists(source))
            raiseVbError(vbErr::FileNotFound);
        at(2);
        if (QFileInfo::exists(destination))
            removeForced(destination);
        at(3);
        if (!QFile::copy(source, destination))
            raiseVbError(vbErr::PathNotFound);
    } catch (...) {
        reportCurrentError(QStringLiteral("CopyFile"), at);
    }
}

QString getTempPath() { return privateTempPath(); }

QString GetShrtPath(const QString &path) { return shortPath(path); }

QString padZeros(qint32 value, qint16 width)
{
    QString s = QString::number(value);
    if (s.size() < width)
        s.prepend(QString(width - s.size(), QLatin1Char('0')));
    return s;
}

bool padNumericField(QString &text, qint16 width)
{
    if (!IsNumeric(text))
        return false;
    (void)CLng(text); // raises 6 beyond 32 bits, before the text changes
    QString s = QString::number(static_cast<qlonglong>(Int(CDbl(text))));
    if (s.size() < width)
        s.prepend(QString(width - s.size(), QLatin1Char('0')));
    text = s;
    return true;
}

QString convertTrimUnits(const QString &value, qint32 target, qint32 source,
                         const std::function<qint16()> &resolution)
{
    try {
        const QString v = Trim(value);
        if (v.isEmpty())
            return QString();
        double x = CDbl(v);
        if (source != target) {
            if (source == 1) {
                x = x * 10 / 254;
            } else if (source == 2) {
                const qint16 dpi = resolution ? resolution() : 0;
                if (dpi == 0)
                    raiseVbError(11); // division by zero
                x = x / dpi;
            }
            if (x > 100000)
                x = 100000;
            if (target == 1)
                x = x * 254 / 10;
            else if (target == 2)
                x = x * (resolution ? resolution() : 0);
        }
        switch (target) {
        case 0: return Format(x, QStringLiteral("#####0.000"));
        case 1: return Format(x, QStringLiteral("######0.000"));
        case 2: return Format(x, QStringLiteral("######0"));
        default: return QString();
        }
    } catch (...) {
        return QString();
    }
}

QString convertTrimUnits(const QString &value, qint32 target, qint32 source)
{
    return convertTrimUnits(value, target, source,
                            [] { return CInt(scannerSession().resolution()); });
}

qint16 safeCInt(const QString &text)
{
    try {
        return CInt(text);
    } catch (...) {
        return 0;
    }
}
