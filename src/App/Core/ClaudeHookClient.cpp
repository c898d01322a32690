#include "App/Core/ClaudeHookClient.h"

#include "App/Core/ControlClient.h"
#include "App/Core/ControlRequest.h"
#include "Telemetry/Adapters/ClaudeHookMetadata.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace ClaudeHookClient {

namespace {

// Standard input up to its end, within the deadline; empty when it is a terminal (run by hand)
// or grew beyond the cap. Reading to the end lets Claude Code finish writing without an error.
QByteArray readInput(QDeadlineTimer deadline)
{
    if (isatty(STDIN_FILENO))
        return {};
    QByteArray input;
    bool tooLarge = false;
    char chunk[65536];
    for (;;) {
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        const int waited = poll(&ready, 1, int(deadline.remainingTime()));
        if (waited < 0 && errno == EINTR)
            continue;
        if (waited <= 0)
            return {}; // no end of input in time: not a document Claude Code handed over
        const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (!tooLarge && input.size() + got <= maxDocumentBytes)
            input.append(chunk, got);
        else
            tooLarge = true;
    }
    return tooLarge ? QByteArray() : input;
}

} // namespace

std::optional<QByteArray> requestLine(QByteArrayView document)
{
    std::optional<QJsonObject> metadata = ClaudeHookMetadata::fromDocument(document);
    if (!metadata)
        return std::nullopt;
    return ControlRequest::claudeHook(std::move(*metadata)).toLine();
}

int run(const QString &controlSocket)
{
    const QByteArray document = readInput(QDeadlineTimer(inputTimeoutMs));
    if (const std::optional<QByteArray> line = requestLine(document))
        ControlClient::post(controlSocket, *line, deliveryTimeoutMs);
    return 0;
}

} // namespace ClaudeHookClient
