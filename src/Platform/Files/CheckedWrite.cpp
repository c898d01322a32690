#include "Platform/Files/CheckedWrite.h"

#include <QFile>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace CheckedWrite {

namespace {

constexpr QFileDevice::Permissions othersMayAccess = QFileDevice::ReadGroup | QFileDevice::WriteGroup
    | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

QString failure(const QString &path, const QString &reason)
{
    return QStringLiteral("cannot write %1: %2").arg(path, reason);
}

QString systemReason() { return QString::fromLocal8Bit(std::strerror(errno)); }

mode_t modeBits(QFileDevice::Permissions permissions)
{
    mode_t mode = 0;
    const std::pair<QFileDevice::Permission, mode_t> bits[] = {
        {QFileDevice::ReadOwner, S_IRUSR}, {QFileDevice::WriteOwner, S_IWUSR}, {QFileDevice::ExeOwner, S_IXUSR},
        {QFileDevice::ReadGroup, S_IRGRP}, {QFileDevice::WriteGroup, S_IWGRP}, {QFileDevice::ExeGroup, S_IXGRP},
        {QFileDevice::ReadOther, S_IROTH}, {QFileDevice::WriteOther, S_IWOTH}, {QFileDevice::ExeOther, S_IXOTH},
    };
    for (const auto &[permission, bit] : bits)
        mode |= permissions.testFlag(permission) ? bit : 0;
    return mode;
}

// The reason a write of all bytes to fd failed, or nothing; a short write is continued until the
// system gives its reason (a full disk takes part of a write before it says so).
std::optional<QString> writeAll(int fd, QByteArrayView bytes)
{
    const char *next = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? systemReason() : QStringLiteral("nothing written");
        next += written;
        left -= written;
    }
    return std::nullopt;
}

// Bytes the file already holds that are not the end of a line.
bool endsWithoutLineFeed(QFile &file)
{
    const qint64 size = file.size();
    if (size <= 0 || !file.seek(size - 1))
        return false;
    char last = '\n';
    return file.getChar(&last) && last != '\n';
}

} // namespace

std::optional<QString> replaceFile(const QString &path, QByteArrayView bytes, QFileDevice::Permissions permissions)
{
    QSaveFile file(path);
    // Written through the descriptor, every byte checked: a buffered QSaveFile learns of a failed
    // write only when it flushes inside commit(), and then renames the short file into place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(path, file.errorString());
    // The mode is the aside file's from the start, so the file is never in place with another.
    if (::fchmod(file.handle(), modeBits(permissions)) != 0)
        return failure(path, systemReason());
    if (const std::optional<QString> reason = writeAll(file.handle(), bytes)) {
        file.cancelWriting();
        return failure(path, *reason);
    }
    if (::fsync(file.handle()) != 0)
        return failure(path, systemReason());
    if (!file.commit())
        return failure(path, file.errorString());
    return std::nullopt;
}

std::optional<QString> appendLines(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered, ownerOnly))
        return failure(path, file.errorString());
    if ((file.permissions() & othersMayAccess) != 0)
        file.setPermissions(ownerOnly);
    const qint64 before = file.size();
    const QByteArray entry = endsWithoutLineFeed(file) ? '\n' + bytes.toByteArray() : bytes.toByteArray();
    if (const std::optional<QString> reason = writeAll(file.handle(), entry)) {
        file.resize(before); // a torn line would be read as damage, or glued to the next one
        return failure(path, *reason);
    }
    return std::nullopt;
}

} // namespace CheckedWrite
