#include "Telemetry/Adapters/JsonMemberScanner.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstring>

namespace {

class Cursor {
public:
    explicit Cursor(QByteArrayView text) : m_p(text.data()), m_end(text.data() + text.size()) {}

    const char *position() const { return m_p; }
    bool atEnd() const { return m_p == m_end; }
    char peek() const { return *m_p; }
    void advance() { ++m_p; }

    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\r' || *m_p == '\n'))
            ++m_p;
    }

    bool consume(char c)
    {
        skipSpace();
        if (m_p == m_end || *m_p != c)
            return false;
        ++m_p;
        return true;
    }

    // Past the closing quote of a string whose opening quote was consumed.
    bool skipStringBody()
    {
        for (;;) {
            const auto *quote = static_cast<const char *>(std::memchr(m_p, '"', static_cast<size_t>(m_end - m_p)));
            if (!quote)
                return false;
            // A quote preceded by an odd run of backslashes is escaped.
            const char *back = quote;
            while (back > m_p && back[-1] == '\\')
                --back;
            m_p = quote + 1;
            if ((quote - back) % 2 == 0)
                return true;
        }
    }

    bool skipValue()
    {
        skipSpace();
        if (m_p == m_end)
            return false;
        if (*m_p == '"') {
            ++m_p;
            return skipStringBody();
        }
        if (*m_p == '{' || *m_p == '[')
            return skipNested();
        const char *start = m_p;
        while (m_p != m_end && !std::strchr(",}] \t\r\n", *m_p))
            ++m_p;
        return m_p != start;
    }

private:
    bool skipNested()
    {
        std::vector<char> closers;
        closers.reserve(16);
        while (m_p != m_end) {
            const char c = *m_p++;
            switch (c) {
            case '"':
                if (!skipStringBody())
                    return false;
                break;
            case '{':
                closers.push_back('}');
                break;
            case '[':
                closers.push_back(']');
                break;
            case '}':
            case ']':
                if (closers.empty() || closers.back() != c)
                    return false;
                closers.pop_back();
                if (closers.empty())
                    return true;
                break;
            default:
                break;
            }
        }
        return false;
    }

    const char *m_p;
    const char *m_end;
};

} // namespace

std::optional<std::vector<JsonMemberScanner::Member>> JsonMemberScanner::scan(QByteArrayView text)
{
    Cursor cursor(text);
    if (!cursor.consume('{'))
        return std::nullopt;
    std::vector<Member> members;
    members.reserve(32);
    if (!cursor.consume('}')) {
        do {
            if (!cursor.consume('"'))
                return std::nullopt;
            const char *keyStart = cursor.position();
            if (!cursor.skipStringBody())
                return std::nullopt;
            const QByteArrayView key(keyStart, cursor.position() - 1 - keyStart);
            if (!cursor.consume(':'))
                return std::nullopt;
            cursor.skipSpace();
            const char *valueStart = cursor.position();
            if (!cursor.skipValue())
                return std::nullopt;
            members.emplace_back(key, QByteArrayView(valueStart, cursor.position() - valueStart));
        } while (cursor.consume(','));
        if (!cursor.consume('}'))
            return std::nullopt;
    }
    cursor.skipSpace();
    if (!cursor.atEnd())
        return std::nullopt;
    return members;
}

std::optional<QByteArrayView> JsonMemberScanner::find(const std::vector<Member> &members, QByteArrayView key)
{
    // The last occurrence wins, as with a full parse.
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        if (it->first == key)
            return it->second;
    }
    return std::nullopt;
}

std::optional<QString> JsonMemberScanner::stringValue(QByteArrayView raw)
{
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"')
        return std::nullopt;
    const QByteArrayView body = raw.sliced(1, raw.size() - 2);
    if (!body.contains('\\'))
        return QString::fromUtf8(body);
    QByteArray wrapped;
    wrapped.reserve(raw.size() + 2);
    wrapped.append('[').append(raw.data(), raw.size()).append(']');
    const QJsonDocument document = QJsonDocument::fromJson(wrapped);
    if (!document.isArray() || !document.array().at(0).isString())
        return std::nullopt;
    return document.array().at(0).toString();
}
