// Frames arbitrary bytes the way one connection does: request after request from the front.
#include "Telemetry/Adapters/HTTPRequest.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArrayView buffer(reinterpret_cast<const char *>(data), qsizetype(size));
    while (!buffer.isEmpty()) {
        const std::optional<HTTPRequest> request = HTTPRequest::parse(buffer);
        if (!request)
            break;
        const std::optional<HTTPRequestHead> head = HTTPRequest::parseHead(buffer);
        if (!head || request->totalLength > buffer.size() || request->totalLength <= 0
            || request->body.size() != head->contentLength || head->contentLength < 0)
            __builtin_trap();
        buffer = buffer.sliced(request->totalLength);
    }
    return 0;
}
