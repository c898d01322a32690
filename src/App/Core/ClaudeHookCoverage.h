#pragma once

struct AgentEvent;
class MetricsEngine;

// Where Claude Code's hooks and its transcripts tell the same story, the hooks are believed:
// they see turn edges and tool calls as they happen, the transcripts only guess them.
namespace ClaudeHookCoverage {

// A transcript's turn start, quiet-time turn end or tool call in a session whose hooks have been
// seen: the hooks already reported it, so it is neither applied nor stored. Tokens and models
// from the transcript always pass.
bool supersededByHooks(const AgentEvent &event, const MetricsEngine &metrics);

// A hook's report that a tool call started: shown live, stored once the call has ended.
bool isRunningToolCall(const AgentEvent &event);

} // namespace ClaudeHookCoverage
