#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The header block of a request, as far as Content-Length framing needs it. A body framed any
// other way (a transfer coding, an unreadable or negative length) cannot be told apart from the
// next request, so such a head is not readable at all: answering it would acknowledge events
// never read.
struct HTTPRequestHead {
    QString contentType;     // last Content-Type, trimmed; empty when there is none
    qint64 contentLength = 0; // last Content-Length; 0 when there is none
    qsizetype bodyOffset = 0; // first byte after the blank line
    bool closeAfter = false;      // "Connection: close", or HTTP/1.0 without "Connection: keep-alive"
    bool expectsContinue = false; // "Expect: 100-continue": the client waits for a go-ahead before its body
};

// One complete request framed from a connection's buffer.
struct HTTPRequest {
    QString contentType;
    QByteArray body;         // exactly Content-Length bytes
    qsizetype totalLength = 0; // header block, blank line and body

    // Absent while the request is incomplete, or when its head is not readable (not UTF-8, or framed
    // other than by Content-Length).
    static std::optional<HTTPRequest> parse(QByteArrayView buffer);
    // The header block alone, so a connection can refuse a body it will not hold.
    static std::optional<HTTPRequestHead> parseHead(QByteArrayView buffer);
    // Where the blank line after the header block starts, searching from `from`; -1 while absent.
    static qsizetype findHeaderEnd(QByteArrayView buffer, qsizetype from = 0);
    // The head of a block whose blank line starts at headerEnd.
    static std::optional<HTTPRequestHead> parseHead(QByteArrayView buffer, qsizetype headerEnd);
    // The request once its head is known; absent while the body is short.
    static std::optional<HTTPRequest> complete(QByteArrayView buffer, const HTTPRequestHead &head);
};
