#pragma once

#include <QByteArray>

#include <optional>

// The i3-IPC wire format that Sway speaks on its socket: "i3-ipc", the payload's length and the
// message type (both 32-bit, native byte order), then the payload (JSON).
namespace I3Ipc {

enum MessageType : quint32 { runCommand = 0, subscribe = 2, getTree = 4 };
// Events carry the high bit; the rest is the event's number.
constexpr quint32 eventFlag = 0x80000000u;
enum EventType : quint32 { workspaceEvent = 0, windowEvent = 3, shutdownEvent = 6 };
// Sway's own trees are a few hundred kilobytes at most; a longer frame means a broken stream.
constexpr quint32 maxPayload = 64u * 1024 * 1024;

struct Message {
    quint32 type = 0;
    QByteArray payload;

    bool isEvent() const { return type & eventFlag; }
    quint32 eventType() const { return type & ~eventFlag; }
};

QByteArray encode(quint32 type, const QByteArray &payload);

// Cuts a byte stream into messages. Once the stream is malformed (wrong magic, oversized frame)
// it stays failed: nothing after that point can be trusted.
class Decoder {
public:
    void append(const QByteArray &bytes);
    // The next whole message; absent while incomplete or failed.
    std::optional<Message> next();
    bool failed() const { return m_failed; }

private:
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    bool m_failed = false;
};

} // namespace I3Ipc
