#include "Platform/Sway/I3IpcFraming.h"

#include <cstring>

namespace I3Ipc {

namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr qsizetype headerSize = sizeof magic + 2 * sizeof(quint32);

quint32 readWord(const char *at)
{
    quint32 value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace

QByteArray encode(quint32 type, const QByteArray &payload)
{
    const auto length = static_cast<quint32>(payload.size());
    QByteArray frame(magic, sizeof magic);
    frame.append(reinterpret_cast<const char *>(&length), sizeof length);
    frame.append(reinterpret_cast<const char *>(&type), sizeof type);
    frame.append(payload);
    return frame;
}

void Decoder::append(const QByteArray &bytes)
{
    if (m_failed)
        return;
    m_buffer.remove(0, m_offset); // what was handed out already
    m_offset = 0;
    m_buffer.append(bytes);
}

std::optional<Message> Decoder::next()
{
    if (m_failed || m_buffer.size() - m_offset < headerSize)
        return std::nullopt;
    const char *header = m_buffer.constData() + m_offset;
    const quint32 length = readWord(header + sizeof magic);
    if (std::memcmp(header, magic, sizeof magic) != 0 || length > maxPayload) {
        m_failed = true;
        m_buffer.clear();
        return std::nullopt;
    }
    if (m_buffer.size() - m_offset < headerSize + qsizetype(length))
        return std::nullopt;
    Message message{readWord(header + sizeof magic + sizeof length),
                    m_buffer.mid(m_offset + headerSize, qsizetype(length))};
    m_offset += headerSize + qsizetype(length);
    return message;
}

} // namespace I3Ipc
