#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// "corvane --claude-hook": the command Claude Code runs for each of its hook events. Claude Code
// waits for it, and a hook that fails or prints is shown to the user, so it prints nothing and
// exits 0 within milliseconds whatever happens: no instance, a stuck one, input that is not a
// hook document.
namespace ClaudeHookClient {

// How long the hook waits at most for its input and for the instance, each.
inline constexpr int inputTimeoutMs = 250;
inline constexpr int deliveryTimeoutMs = 50;
// Tool outputs can be large; beyond this the document is read to its end and ignored.
inline constexpr qsizetype maxDocumentBytes = 64 * 1024 * 1024;

// The control line for one hook document: its metadata only. None for anything else.
std::optional<QByteArray> requestLine(QByteArrayView document);

// Reads standard input, hands the metadata to the instance on controlSocket; returns 0.
int run(const QString &controlSocket);

} // namespace ClaudeHookClient
