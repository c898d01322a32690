#include "Platform/SocketPeer.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

namespace SocketPeer {

namespace {

// Closes a file descriptor on every way out.
class FileDescriptor {
    Q_DISABLE_COPY_MOVE(FileDescriptor)

public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

// One exact lookup of the socket whose source is `peer` and destination `local`.
std::optional<quint32> fromSockDiag(const Endpoint &peer, const Endpoint &local)
{
    const FileDescriptor fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (fd.get() < 0)
        return std::nullopt;
    const timeval timeout{1, 0}; // the kernel answers at once; never hang the receiver on it
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0U;
    message.request.id.idiag_sport = htons(peer.port);
    message.request.id.idiag_dport = htons(local.port);
    message.request.id.idiag_src[0] = htonl(peer.address);
    message.request.id.idiag_dst[0] = htonl(local.address);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel)
        != ssize_t(sizeof message))
        return std::nullopt;

    alignas(nlmsghdr) char buffer[8192];
    const ssize_t received = ::recv(fd.get(), buffer, sizeof buffer, 0);
    if (received <= 0)
        return std::nullopt;
    int remaining = int(received);
    for (auto *reply = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(reply, remaining);
         reply = NLMSG_NEXT(reply, remaining)) {
        if (reply->nlmsg_type != SOCK_DIAG_BY_FAMILY || reply->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
            return std::nullopt; // NLMSG_ERROR: no such socket, or no diag support
        const auto *diag = static_cast<const inet_diag_msg *>(NLMSG_DATA(reply));
        return diag->idiag_uid;
    }
    return std::nullopt;
}

// "0100007F:10DE" as /proc/net/tcp writes an endpoint: the address in memory order, then the port.
QByteArray procEndpoint(const Endpoint &endpoint)
{
    return QByteArray::number(htonl(endpoint.address), 16).rightJustified(8, '0').toUpper() + ':'
        + QByteArray::number(endpoint.port, 16).rightJustified(4, '0').toUpper();
}

std::optional<quint32> fromProcNetTcp(const Endpoint &peer, const Endpoint &local)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray source = procEndpoint(peer);
    const QByteArray destination = procEndpoint(local);
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ...
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 7 && fields[1] == source && fields[2] == destination) {
            bool ok = false;
            const quint32 uid = fields[7].toUInt(&ok);
            if (ok)
                return uid;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<quint32> ownerUid(const Endpoint &peer, const Endpoint &local)
{
    if (const std::optional<quint32> uid = fromSockDiag(peer, local))
        return uid;
    return fromProcNetTcp(peer, local);
}

quint32 ownUid()
{
    return ::geteuid();
}

} // namespace SocketPeer
