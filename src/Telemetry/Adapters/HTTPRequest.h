#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The header block of a request, as far as Content-Length framing needs it.
struct HTTPRequestHead {
    QString contentType;     // last Content-Type, trimmed; empty when there is none
    qint64 contentLength = 0; // last Content-Length; unreadable or negative values read as 0
    qsizetype bodyOffset = 0; // first byte after the blank line
};

// One complete request framed from a connection's buffer.
struct HTTPRequest {
    QString contentType;
    QByteArray body;         // exactly Content-Length bytes
    qsizetype totalLength = 0; // header block, blank line and body

    // Absent while the request is incomplete or its header block is not UTF-8.
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
