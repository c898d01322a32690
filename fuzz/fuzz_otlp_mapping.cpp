// Maps arbitrary bodies as OTLP JSON log exports.
#include "Telemetry/Adapters/OTLPLogMapping.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const AgentEvent &event : OTLPLogMapping::events(body, now)) {
        if (event.source != AgentSource::codexOtel || !event.timestamp.isValid() || event.sessionId.isNull())
            __builtin_trap();
    }
    return 0;
}
