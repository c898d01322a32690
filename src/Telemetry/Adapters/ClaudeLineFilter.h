#pragma once

#include "Telemetry/Adapters/RecentIdentities.h"
#include "Telemetry/CountedIdentity.h"

#include <cstddef>

struct ClaudeTranscriptLine;

// Drops from transcript lines what was already counted: copies of lines (a forked session starts
// with its parent's lines), and the repeated usage of one response (Claude Code writes a line per
// content block, each with the whole response's usage). Live reading and history import share one
// filter, so a response is counted once whichever of them meets it first.
class ClaudeLineFilter {
public:
    // How many line and response identities are remembered to recognise copies.
    static constexpr std::size_t identityMemory = 200000;

    // False when nothing of the line is left. What the line adds to the remembered identities is
    // appended to `counted`, for the store to keep.
    bool keepOnlyNew(ClaudeTranscriptLine &line, CountedIdentities *counted = nullptr);
    // What earlier runs counted, as the store keeps it.
    void remember(const CountedIdentities &counted);

private:
    RecentIdentities m_seenLines{identityMemory};
    RecentIdentities m_countedResponses{identityMemory};
};
