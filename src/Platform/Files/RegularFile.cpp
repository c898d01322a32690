#include "Platform/Files/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileIdentity identityOf(const struct stat &status)
{
    return {quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
            qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

} // namespace

std::optional<FileIdentity> RegularFile::identify(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return identityOf(status);
}

std::optional<RegularFile> RegularFile::open(const QString &path)
{
    // Checked before opening, so that a device is never opened at all, and again on the open
    // file, which may have been swapped in between. O_NONBLOCK: opening a FIFO would wait for a writer.
    if (!identify(path))
        return std::nullopt;
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return std::nullopt;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return std::nullopt;
    }
    return RegularFile(descriptor, identityOf(status));
}

RegularFile::RegularFile(RegularFile &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
    , m_identity(other.m_identity)
{
}

RegularFile &RegularFile::operator=(RegularFile &&other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_identity = other.m_identity;
    }
    return *this;
}

RegularFile::~RegularFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

qint64 RegularFile::read(qint64 offset, char *into, qint64 count) const
{
    for (;;) {
        const ssize_t got = ::pread(m_descriptor, into, size_t(count), off_t(offset));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}
