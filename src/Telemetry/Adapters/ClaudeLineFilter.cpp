#include "Telemetry/Adapters/ClaudeLineFilter.h"

#include "Telemetry/Adapters/ClaudeTranscriptLine.h"

#include <algorithm>

bool ClaudeLineFilter::keepOnlyNew(ClaudeTranscriptLine &line, CountedIdentities *counted)
{
    const auto note = [counted](CountedIdentity::Kind kind, quint64 digest) {
        if (counted)
            counted->append({kind, digest});
    };
    if (!line.uuid.isEmpty()) {
        const quint64 digest = RecentIdentities::digest(line.uuid);
        if (!m_seenLines.insertDigest(digest))
            return false;
        note(CountedIdentity::Kind::line, digest);
    }
    const auto usage = std::find_if(line.events.begin(), line.events.end(), [](const AgentEvent &event) {
        return std::holds_alternative<TokenUsage>(event.kind);
    });
    if (usage != line.events.end() && !line.responseId.isEmpty()) {
        const quint64 digest = RecentIdentities::digest(line.responseId);
        if (m_countedResponses.insertDigest(digest))
            note(CountedIdentity::Kind::response, digest);
        else
            line.events.erase(usage);
    }
    return !line.events.isEmpty();
}

void ClaudeLineFilter::remember(const CountedIdentities &counted)
{
    for (const CountedIdentity &identity : counted) {
        if (identity.kind == CountedIdentity::Kind::line)
            m_seenLines.insertDigest(identity.digest);
        else
            m_countedResponses.insertDigest(identity.digest);
    }
}
