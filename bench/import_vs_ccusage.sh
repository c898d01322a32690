#!/bin/bash
# History import against ccusage on one generated corpus, both in this run:
#   bench/import_vs_ccusage.sh [corvane binary] [megabytes]
# Prints wall time and peak memory of `ccusage daily --offline` and of `corvane --import-history`
# (a first launch's import, into a new store), then both token totals, which must be equal.
set -euo pipefail
BIN=${1:-build/release/src/corvane}
MB=${2:-300}
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d /tmp/corvane-import-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
python3 "$HERE/make_claude_corpus.py" "$WORK/home/.claude" --megabytes "$MB"
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share XDG_CONFIG_HOME=$WORK/home/.config
npx -y ccusage@20.0.24 --version >/dev/null # fetched before timing
cat "$WORK"/home/.claude/projects/*/*.jsonl "$WORK"/home/.claude/projects/*/*/*/*.jsonl >/dev/null # page cache warm for both
measure() { /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" >"$WORK/out" 2>/dev/null; read -r wall rss <"$WORK/time"; echo "$wall s, peak $((rss / 1024)) MB"; }
echo "ccusage daily --offline:   $(CLAUDE_CONFIG_DIR=$HOME/.claude measure npx -y ccusage@20.0.24 daily --offline --json)"
cp "$WORK/out" "$WORK/ccusage.json"
echo "corvane --import-history:  $(measure "$BIN" --import-history)"
tail -1 "$WORK/out"
python3 - "$WORK/ccusage.json" "$XDG_DATA_HOME/Corvane/events.sqlite" <<'PY'
import json, sqlite3, sys
totals = json.load(open(sys.argv[1]))["totals"]
ours = sqlite3.connect(sys.argv[2]).execute("SELECT SUM(input), SUM(output) FROM events WHERE kind='tokenUsage'").fetchone()
theirs = (totals["inputTokens"] + totals["cacheCreationTokens"] + totals["cacheReadTokens"], totals["outputTokens"])
print("tokens (input incl. cache, output): corvane %s, ccusage %s, %s" % (ours, theirs, "equal" if tuple(ours) == theirs else "DIFFERENT"))
PY
echo "second run:                $(measure "$BIN" --import-history) -> $(tail -1 "$WORK/out")"
