#include "Platform/LocalSocketClient.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace LocalSocketClient {

namespace {

// A file descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Waits for `events` on `fd` until the deadline; false on a timeout or an error.
bool await(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd ready{fd, events, 0};
        const int waited = ::poll(&ready, 1, int(deadline.remainingTime()));
        if (waited < 0 && errno == EINTR)
            continue;
        return waited > 0 && (ready.revents & (events | POLLHUP)) != 0;
    }
}

// A non-blocking socket connected to `path`, or -1.
int connected(const QString &path, const QDeadlineTimer &deadline)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || std::size_t(name.size()) >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            return fd;
        if (errno == EINTR)
            continue;
        // A full backlog refuses at once: try again until the deadline. Anything else means
        // nobody listens.
        if (errno != EAGAIN || deadline.hasExpired())
            break;
        ::poll(nullptr, 0, 1);
    }
    ::close(fd);
    return -1;
}

bool writeAll(int fd, QByteArrayView bytes, const QDeadlineTimer &deadline)
{
    while (!bytes.isEmpty()) {
        const ssize_t sent = ::send(fd, bytes.data(), std::size_t(bytes.size()), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes = bytes.sliced(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno == EAGAIN && await(fd, POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

} // namespace

std::optional<QByteArray> exchange(const QString &path, QByteArrayView line, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const Descriptor socket(connected(path, deadline));
    if (socket.get() < 0 || !writeAll(socket.get(), line, deadline))
        return std::nullopt;
    QByteArray answer;
    char chunk[16384];
    for (;;) {
        const ssize_t got = ::read(socket.get(), chunk, sizeof chunk);
        if (got > 0) {
            answer.append(chunk, got);
            continue;
        }
        if (got == 0)
            return answer; // the server closes once its answer is written
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN || !await(socket.get(), POLLIN, deadline))
            return std::nullopt;
    }
}

bool post(const QString &path, QByteArrayView line, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const Descriptor socket(connected(path, deadline));
    // Written means in the kernel's buffer: closing does not lose it.
    return socket.get() >= 0 && writeAll(socket.get(), line, deadline);
}

} // namespace LocalSocketClient
