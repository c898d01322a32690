#!/bin/bash
# A first launch on a home holding the recorded Claude Code transcripts and Codex rollouts:
#   bench/first_launch_vs_ccusage.sh [corvane binary]
# Within seconds of the launch, `--snapshot --json --scope claudeCode` gives each of the 7 days'
# tokens (input with cache reads and writes, and output); ccusage's daily report on the same files,
# run now, gives its own per day and per model. Both are printed side by side and compared.
set -euo pipefail
BIN=$(realpath "${1:-build/release/src/corvane}")
SAMPLES=$(cd "$(dirname "$0")/../tests/fixtures/samples" && pwd)
WORK=$(mktemp -d /tmp/corvane-first-launch.XXXXXX)
trap 'kill -9 $PID 2>/dev/null || true; rm -rf "$WORK"' EXIT
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share XDG_CONFIG_HOME=$WORK/home/.config CORVANE_OTEL_PORT=0
mkdir -p "$HOME/.claude" "$HOME/.codex/sessions/2026/12/09"
cp -r "$SAMPLES/claude/projects" "$HOME/.claude/"
cp "$SAMPLES"/codex/*/rollout-*.jsonl "$HOME/.codex/sessions/2026/12/09/"
CLAUDE_CONFIG_DIR=$HOME/.claude npx -y ccusage@20.0.24 daily --offline --json >"$WORK/ccusage.json" 2>/dev/null
"$BIN" --headless 2>"$WORK/stderr" & PID=$!
sleep 3
"$BIN" --snapshot --json --scope claudeCode >"$WORK/claude.json"
"$BIN" --snapshot --json --scope codex >"$WORK/codex.json"
sleep 32 # past the engine's next day refresh from the store
"$BIN" --snapshot --json --scope codex >"$WORK/codex-later.json"
kill -TERM $PID; wait $PID
python3 - "$WORK" <<'PY'
import json, sqlite3, sys
work = sys.argv[1]
# ccusage 20 names the day "period" and may add other agents' rows: only Claude models count here.
ccusage = {}
for d in json.load(open(work + "/ccusage.json"))["daily"]:
    models = [m for m in d["modelBreakdowns"] if m["modelName"].startswith("claude")]
    ccusage[d.get("period", d.get("date"))] = {"modelBreakdowns": models,
        "in": sum(m["inputTokens"] + m["cacheCreationTokens"] + m["cacheReadTokens"] for m in models),
        "out": sum(m["outputTokens"] for m in models)}
ours = json.load(open(work + "/claude.json"))
ok = True
print("day         corvane in/out        ccusage in/out")
for day in ours["daily"]:
    date = day["date"][:10]
    c = ccusage.get(date)
    theirs = (c["in"], c["out"]) if c else (0, 0)
    mine = (day["input"], day["output"])
    ok = ok and mine == theirs
    print("%s  %-20s  %s" % (date, mine, theirs))
print("today: corvane todayTokens %d" % ours["todayTokens"])
db = sqlite3.connect(work + "/home/.local/share/Corvane/events.sqlite")
print("per model (stored rows)            ccusage")
for model, i, o in db.execute("SELECT model, SUM(input), SUM(output) FROM events WHERE kind='tokenUsage' AND source='claudeCodeJsonl' GROUP BY model"):
    row = [m for d in ccusage.values() for m in d["modelBreakdowns"] if m["modelName"] == model]
    theirs = (sum(m["inputTokens"] + m["cacheCreationTokens"] + m["cacheReadTokens"] for m in row), sum(m["outputTokens"] for m in row))
    ok = ok and (i, o) == theirs
    print("%-28s %-14s %s" % (model, (i, o), theirs))
codex = json.load(open(work + "/codex.json"))
later = json.load(open(work + "/codex-later.json"))
print("codex 7 days: %s in the snapshot at 3 s, %s at 35 s" % ((sum(d["input"] for d in codex["daily"]), sum(d["output"] for d in codex["daily"])),
      (sum(d["input"] for d in later["daily"]), sum(d["output"] for d in later["daily"]))))
for row in db.execute("SELECT substr(session, 1, 13), kind, input, output, counted_input, counted_output FROM events WHERE source = 'codexDesktopSession' AND kind IN ('tokenUsage', 'sessionSnapshot')"):
    print("  stored codex row", row)
print("tokens equal to ccusage:", ok)
PY
