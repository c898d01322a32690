#pragma once

#include <chrono>

// How long the system waits before it acts, in one place. The defaults are the values the
// application runs with; tests read them to know how far to move a ManualClock.
struct Delays {
    using ms = std::chrono::milliseconds;

    // Codex OTLP receiver: a turn ends this long after its last completed response.
    ms otelTurnEnd{5000};
    // Codex notify socket: a connection's lines form a batch once it has been quiet this long.
    ms notifyBatchEnd{300};
    // A connection that sends and reads nothing for this long is closed: the OTLP receiver's
    // keep-alive connections, the notify socket's and the control socket's.
    ms otelConnectionIdle{60000};
    ms notifyConnectionIdle{10000};
    ms controlConnectionIdle{2000};
    // A listener that failed (an accept error, no file descriptors left) tries again this often.
    ms listenerRetry{1000};
    // Claude transcripts: how often an open turn is checked, and how long it must be quiet
    // (strictly longer) to count as ended.
    ms transcriptIdleCheck{2000};
    ms transcriptTurnQuiet{8000};
    // File events are coalesced for this long.
    ms fileEventLatency{200};
    // Codex desktop sessions: how often the newest rollout is read, and how recently it must have
    // been written to count as active.
    ms codexSessionPoll{2000};
    ms codexSessionActiveWithin{12000};
    // The synthetic agent's step.
    ms mockStep{500};
    // The metrics engine's tick.
    ms metricsTick{1000};
    // The Codex health verdict is recomputed this often.
    ms codexHealthRefresh{15000};
    // Events from Codex ask for a refresh; all the asks within this long become one.
    ms codexHealthAfterEvents{250};
    // The window tracker: its poll, and the debounce that all refresh requests funnel into.
    ms trackerPoll{500};
    ms trackerDebounce{16};
    // Sway sends no event when a window moves or is resized, so the tree of an observed
    // application's windows is read this often.
    ms swayGeometryPoll{40};
    // A compositor script's request for the HUD's place is answered at the latest after this
    // long (D-Bus gives up on a call after 25 s); it then asks again.
    ms placementRequestHold{20000};
    // At start, how long the KWin script or GNOME Shell extension has to report in.
    ms compositorHello{2000};
    // The sponsored slot's gates are evaluated this often; input counts as recent for this long.
    ms adEvaluation{1000};
    ms adInputRecent{60000};
};
