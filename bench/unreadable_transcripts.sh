#!/bin/bash
# A FIFO and a 2 GB sparse transcript (no newline at all) beside the recorded transcripts:
#   bench/unreadable_transcripts.sh [corvane binary]
# A headless instance imports the readable ones (their totals must equal ccusage's), its peak
# memory stays bounded while it skips the sparse file, a transcript written afterwards is read
# live, and SIGTERM ends it within 2 s.
set -euo pipefail
BIN=$(realpath "${1:-build/release/src/corvane}")
SAMPLES=$(cd "$(dirname "$0")/../tests/fixtures/samples" && pwd)
WORK=$(mktemp -d /tmp/corvane-unreadable.XXXXXX)
trap 'kill -9 $PID 2>/dev/null || true; rm -rf "$WORK"' EXIT
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share XDG_CONFIG_HOME=$WORK/home/.config CORVANE_OTEL_PORT=0
mkdir -p "$HOME/.claude/projects/-home-dev-odd"
cp -r "$SAMPLES/claude/projects" "$HOME/.claude/"
mkfifo "$HOME/.claude/projects/-home-dev-odd/fifo.jsonl"
truncate -s 2G "$HOME/.claude/projects/-home-dev-odd/sparse.jsonl"
totals() { "$BIN" --snapshot --json --scope claudeCode | python3 -c "import json,sys; d=json.load(sys.stdin)['daily']; print(sum(x['input'] for x in d), sum(x['output'] for x in d))"; }
expected=$(python3 -c "import json; t=json.load(open('$SAMPLES/claude/ccusage-daily.json'))['totals']; print(t['inputTokens']+t['cacheCreationTokens']+t['cacheReadTokens'], t['outputTokens'])")
"$BIN" --headless 2>"$WORK/stderr" & PID=$!
for _ in $(seq 1 60); do sleep 0.5; [ "$(totals)" = "$expected" ] && break; done
echo "recorded transcripts: $(totals) (ccusage: $expected)"
session=$(python3 -c "import uuid; print(uuid.uuid4())")
echo '{"type":"user","sessionId":"'$session'","uuid":"'$session'","message":{"content":"x"}}' >"$HOME/.claude/projects/-home-dev-odd/$session.jsonl"
for _ in $(seq 1 20); do sleep 0.5; "$BIN" --snapshot --json --scope claudeCode | grep -q "$session" && break; done
"$BIN" --snapshot --json --scope claudeCode | grep -q "$session" && echo "a transcript written afterwards: read live" || echo "a transcript written afterwards: NOT READ"
echo "peak resident memory: $(awk '/VmHWM/ {print int($2/1024)}' /proc/$PID/status) MB"
t0=$(date +%s%N); kill -TERM $PID; wait $PID; rc=$?
echo "SIGTERM: exit $rc after $(( ($(date +%s%N) - t0) / 1000000 )) ms"
echo "stderr:"; cat "$WORK/stderr"
