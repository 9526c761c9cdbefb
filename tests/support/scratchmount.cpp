#include "scratchmount.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

namespace {

// The calling thread leaves the shared mount namespace once; mounts made afterwards are seen
// by it alone and never propagate back.
bool privateNamespace(QString &why)
{
    static int state = 0; // 0 not tried, 1 done, -1 refused
    static QString refusal;
    if (state == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            refusal = QStringLiteral("private mount namespace refused: ") + QString::fromLocal8Bit(strerror(errno));
            state = -1;
        } else {
            state = 1;
        }
    }
    why = refusal;
    return state == 1;
}

} // namespace

ScratchMount::ScratchMount(const QString &folder, qint64 size, bool readOnly, void (*prepare)(const QString &))
    : m_folder(folder)
{
    if (!privateNamespace(m_why))
        return;
    const QByteArray target = QFile::encodeName(folder);
    const QByteArray opts = "size=" + QByteArray::number(size) + ",mode=0755";
    if (::mount("tmpfs", target.constData(), "tmpfs", 0, opts.constData()) != 0) {
        m_why = QStringLiteral("tmpfs mount refused: ") + QString::fromLocal8Bit(strerror(errno));
        return;
    }
    m_ok = true;
    if (prepare)
        prepare(folder);
    if (readOnly
        && ::mount(nullptr, target.constData(), nullptr, MS_REMOUNT | MS_RDONLY, opts.constData()) != 0) {
        m_why = QStringLiteral("read-only remount refused: ") + QString::fromLocal8Bit(strerror(errno));
        ::umount2(target.constData(), MNT_DETACH);
        m_ok = false;
    }
}

ScratchMount::~ScratchMount()
{
    if (m_ok)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}
