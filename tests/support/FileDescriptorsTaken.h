#pragma once

#include <QDir>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace TestSupport {

// Leaves the process `spare` free file descriptors (the soft limit lowered just above those in
// use, the rest taken) until destroyed, as a process that hit its limit has.
class FileDescriptorsTaken {
public:
    explicit FileDescriptorsTaken(int spare)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        int highest = 0;
        for (const QString &name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries))
            highest = std::max(highest, name.toInt());
        rlimit low = m_saved;
        low.rlim_cur = rlim_t(highest + 64);
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int fd = ::dup(0); fd >= 0; fd = ::dup(0))
            m_taken.push_back(fd);
        for (int i = 0; i < spare && !m_taken.empty(); ++i) {
            ::close(m_taken.back());
            m_taken.pop_back();
        }
    }
    ~FileDescriptorsTaken()
    {
        for (const int fd : m_taken)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &m_saved);
    }
    FileDescriptorsTaken(const FileDescriptorsTaken &) = delete;
    FileDescriptorsTaken &operator=(const FileDescriptorsTaken &) = delete;

private:
    rlimit m_saved{};
    std::vector<int> m_taken;
};

} // namespace TestSupport
