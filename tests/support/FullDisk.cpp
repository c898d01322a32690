#include "support/FullDisk.h"

#include <QFile>

#include <algorithm>

#include <sys/mount.h>

FullDisk::FullDisk()
{
    m_mounted = m_dir.isValid()
             && ::mount("tmpfs", m_dir.path().toLocal8Bit().constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m,mode=0700")
                    == 0;
}

FullDisk::~FullDisk()
{
    if (m_mounted)
        ::umount2(m_dir.path().toLocal8Bit().constData(), MNT_DETACH);
}

void FullDisk::fill()
{
    QFile filler(fillerPath());
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return;
    // Large blocks first, then single bytes for the last partial page.
    for (const qint64 block : {qint64(64 * 1024), qint64(1)}) {
        const QByteArray bytes(block, 'x');
        while (filler.write(bytes) == block) {
        }
    }
}

void FullDisk::release() { QFile::remove(fillerPath()); }

void FullDisk::release(qint64 bytes)
{
    QFile filler(fillerPath());
    filler.resize(std::max(filler.size() - bytes, qint64(0)));
}
