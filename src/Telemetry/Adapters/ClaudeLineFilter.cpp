#include "Telemetry/Adapters/ClaudeLineFilter.h"

#include "Telemetry/Adapters/ClaudeTranscriptLine.h"

#include <algorithm>

bool ClaudeLineFilter::keepOnlyNew(ClaudeTranscriptLine &line)
{
    if (!line.uuid.isEmpty() && !m_seenLines.insert(line.uuid))
        return false;
    const auto usage = std::find_if(line.events.begin(), line.events.end(), [](const AgentEvent &event) {
        return std::holds_alternative<TokenUsage>(event.kind);
    });
    if (usage != line.events.end() && !line.responseId.isEmpty() && !m_countedResponses.insert(line.responseId))
        line.events.erase(usage);
    return !line.events.isEmpty();
}
