#pragma once

#include <QtGlobal>

#include <optional>

// Who is at the other end of a TCP connection made on this machine.
namespace SocketPeer {

// One end of an IPv4 connection, address and port in host byte order.
struct Endpoint {
    quint32 address = 0;
    quint16 port = 0;
};

// The user id owning the socket at `peer` that is connected to `local` (a socket of ours), from
// the kernel's socket table (NETLINK_SOCK_DIAG, else /proc/net/tcp); absent when no such socket
// is found, as for a peer on another machine.
std::optional<quint32> ownerUid(const Endpoint &peer, const Endpoint &local);

// The effective user id of this process.
quint32 ownUid();

} // namespace SocketPeer
