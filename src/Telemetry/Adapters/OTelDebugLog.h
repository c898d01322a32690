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

    // The text logged for a body: its JSON with identity and prompt attributes redacted, or the
    // body as text when it is not JSON, or a placeholder when it is not UTF-8 either.
    static QString sanitizedRawPayloadForDebugLog(const QByteArray &body);
    static QJsonValue sanitizeJSON(const QJsonValue &value);
    static bool shouldRedactAttributeValue(const QString &key);

private:
    QByteArray headerLine(const QString &contentType, qsizetype bodySize) const;
    void appendRawEntry(const QByteArray &entry);

    QString m_path;
    qint64 m_maxBytes;
    Clock &m_clock;
};
