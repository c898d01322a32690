#pragma once

#include "Platform/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QString>

// The receiver's only log: sanitized request bodies and notices about bodies it cannot read.
// Lives on the receiver's thread. When an entry would push the file past maxBytes, the file is
// moved aside to "<path>.1" (replacing an older one) and a new file is started.
class OTelDebugLog {
public:
    static constexpr qint64 defaultMaxBytes = 16 * 1024 * 1024;

    // The clock stamps the entries and must outlive the log.
    explicit OTelDebugLog(QString path, qint64 maxBytes = defaultMaxBytes, Clock &clock = Clock::system());

    // Appends the body, sanitized, under a header line naming its content type and size.
    void appendRawLog(const QByteArray &body, const QString &contentType);
    // Notes a body that is not JSON without writing any of it.
    void appendRawNotice(const QString &contentType, qsizetype bodySize);

    // The text logged for a body: its JSON with every text that is not known to be metadata
    // redacted (record bodies, free-text attributes, unknown members), or a placeholder with its
    // size and content type when it is not JSON.
    static QString sanitizedRawPayloadForDebugLog(const QByteArray &body, const QString &contentType);
    // An OTLP logs request with its structure, ids, times, levels and metadata attributes kept;
    // every other text, attribute key and member name is replaced by a placeholder.
    static QJsonValue sanitizeJSON(const QJsonValue &body);
    // An attribute whose key and scalar value are kept.
    static bool isKnownMetadataKey(const QString &key);

private:
    QByteArray headerLine(const QString &contentType, qsizetype bodySize) const;
    void appendRawEntry(const QByteArray &entry);

    QString m_path;
    qint64 m_maxBytes;
    Clock &m_clock;
};
