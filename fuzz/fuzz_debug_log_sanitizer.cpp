// Sanitizes arbitrary bodies for the debug log; a JSON body must come out as JSON with no
// attribute value left under a redacted key.
#include "Telemetry/Adapters/OTelDebugLog.h"

#include <QJsonDocument>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = OTelDebugLog::sanitizedRawPayloadForDebugLog(body);
    const QJsonDocument input = QJsonDocument::fromJson(body);
    if (input.isNull())
        return 0;
    const QByteArray output = text.toUtf8();
    const QJsonDocument sanitized = QJsonDocument::fromJson(output);
    if (sanitized.isNull())
        __builtin_trap();
    // Sanitizing is idempotent: nothing left to redact.
    if (OTelDebugLog::sanitizedRawPayloadForDebugLog(output) != text)
        __builtin_trap();
    return 0;
}
