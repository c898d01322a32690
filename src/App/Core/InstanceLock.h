#pragma once

#include <QString>

#include <memory>

// One running Corvane per support directory: an exclusive advisory lock on the directory
// itself, held for the life of the process and released by the kernel however it ends.
class InstanceLock {
public:
    // None when another process holds the lock (or the directory cannot be opened).
    static std::unique_ptr<InstanceLock> acquire(const QString &directory);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

private:
    explicit InstanceLock(int fd) : m_fd(fd) {}
    int m_fd;
};
