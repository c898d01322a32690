#pragma once

#include <QByteArrayView>
#include <QJsonObject>

#include <optional>

// What Corvane keeps of the document Claude Code hands a hook command: the event's name, its
// session, tool and permission ids and a few scalar flags, under Claude Code's own key names.
// Nothing the user or the model wrote (prompt, tool input and output, messages, error and rule
// texts) is ever copied: only the listed keys with a scalar value of the listed type are.
namespace ClaudeHookMetadata {

// Longer strings than this are dropped; ids and paths are far shorter, and the request that
// carries them to the instance must fit in one control line.
inline constexpr qsizetype maxStringBytes = 1024;

// The metadata of a hook document; none when it is not a JSON object naming its event and
// session.
std::optional<QJsonObject> fromDocument(QByteArrayView document);

// The same filter over an object already parsed (what arrives on the control socket).
std::optional<QJsonObject> filtered(const QJsonObject &object);

} // namespace ClaudeHookMetadata
