#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What tells one file from another and from its own earlier state: a file replaced under the
// same name has another device or inode, a truncated one a smaller size.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0; // modification time, nanoseconds since 1970

    bool sameFile(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
    bool operator==(const FileIdentity &) const = default;
};

// A file opened for reading only when it is a regular file once links are resolved: a FIFO, a
// socket or a device under an agent's folder is refused and never blocks the reader.
class RegularFile {
public:
    // The identity of a regular file (links followed); none for anything else or a missing file.
    static std::optional<FileIdentity> identify(const QString &path);
    static std::optional<RegularFile> open(const QString &path);

    RegularFile(RegularFile &&other) noexcept;
    RegularFile &operator=(RegularFile &&other) noexcept;
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;
    ~RegularFile();

    // As it was when opened.
    const FileIdentity &identity() const { return m_identity; }
    // Up to `count` bytes at `offset`; the number read, 0 at the end, -1 on an error.
    qint64 read(qint64 offset, char *into, qint64 count) const;

private:
    RegularFile(int descriptor, FileIdentity identity) : m_descriptor(descriptor), m_identity(identity) {}

    int m_descriptor = -1;
    FileIdentity m_identity;
};
