#include "Telemetry/Adapters/HTTPRequest.h"

#include "Telemetry/Adapters/DecimalReading.h"

#include <QList>
#include <QStringDecoder>

namespace {

QStringView trimmedOfSpacesAndTabs(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.sliced(begin, end - begin);
}

// Splits at the first ':' that ends a non-empty piece, leaving out empty pieces; a header is a
// line that gives exactly two pieces.
bool splitHeader(QStringView line, QStringView &name, QStringView &value)
{
    qsizetype start = 0;
    qsizetype colon = 0;
    for (;; ++colon) {
        colon = line.indexOf(u':', colon);
        if (colon < 0)
            return false;
        if (colon > start)
            break;
        start = colon + 1; // an empty piece is dropped and does not count as a split
    }
    name = line.sliced(start, colon - start);
    value = line.sliced(colon + 1);
    return !value.isEmpty();
}

std::optional<qint64> contentLengthValue(QStringView value)
{
    const std::optional<qint64> length = DecimalReading::int64(value.toLatin1());
    if (!length || *length < 0)
        return std::nullopt;
    return length;
}

bool isToken(QStringView value, QLatin1StringView token)
{
    return value.compare(token, Qt::CaseInsensitive) == 0;
}

} // namespace

qsizetype HTTPRequest::findHeaderEnd(QByteArrayView buffer, qsizetype from)
{
    return buffer.indexOf(QByteArrayView("\r\n\r\n"), from);
}

std::optional<HTTPRequestHead> HTTPRequest::parseHead(QByteArrayView buffer)
{
    const qsizetype separator = findHeaderEnd(buffer);
    if (separator < 0)
        return std::nullopt;
    return parseHead(buffer, separator);
}

std::optional<HTTPRequestHead> HTTPRequest::parseHead(QByteArrayView buffer, qsizetype separator)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(buffer.first(separator));
    if (decoder.hasError())
        return std::nullopt;

    HTTPRequestHead head;
    head.bodyOffset = separator + 4;
    const QList<QStringView> lines = QStringView(text).split(u"\r\n");
    std::optional<bool> keepAlive;
    for (QStringView line : lines) {
        QStringView name;
        QStringView value;
        if (!splitHeader(line, name, value))
            continue;
        const QString key = trimmedOfSpacesAndTabs(name).toString().toLower();
        value = trimmedOfSpacesAndTabs(value);
        if (key == u"content-length") {
            const std::optional<qint64> length = contentLengthValue(value);
            if (!length)
                return std::nullopt;
            head.contentLength = *length;
        } else if (key == u"content-type") {
            head.contentType = value.toString();
        } else if (key == u"transfer-encoding" && !isToken(value, QLatin1StringView("identity"))) {
            return std::nullopt;
        } else if (key == u"connection") {
            keepAlive = !isToken(value, QLatin1StringView("close"));
        } else if (key == u"expect") {
            head.expectsContinue = isToken(value, QLatin1StringView("100-continue"));
        }
    }
    const bool http10 = !lines.isEmpty() && lines.first().endsWith(u"HTTP/1.0");
    head.closeAfter = !keepAlive.value_or(!http10);
    return head;
}

std::optional<HTTPRequest> HTTPRequest::complete(QByteArrayView buffer, const HTTPRequestHead &head)
{
    if (buffer.size() - head.bodyOffset < head.contentLength)
        return std::nullopt;
    HTTPRequest request;
    request.contentType = head.contentType;
    request.body = buffer.sliced(head.bodyOffset, head.contentLength).toByteArray();
    request.totalLength = head.bodyOffset + head.contentLength;
    return request;
}

std::optional<HTTPRequest> HTTPRequest::parse(QByteArrayView buffer)
{
    const std::optional<HTTPRequestHead> head = parseHead(buffer);
    if (!head)
        return std::nullopt;
    return complete(buffer, *head);
}
