// Maps arbitrary notify lines; at most one turn edge comes out of each.
#include "Telemetry/Adapters/CodexNotifyAdapter.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<AgentEvent> event =
        CodexNotifyAdapter::eventFromLine(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (event && (event->source != AgentSource::codexNotify || event->sessionId.isNull()))
        __builtin_trap();
    return 0;
}
