#!/bin/bash
# A transcript half written while Corvane is stopped: its second half is counted after a restart.
#   bench/catchup_restart.sh [corvane binary]
# Prints the Claude Code 7-day tokens (input with cache, output) of `--snapshot --json` after a
# first launch with half of one recorded transcript, and after a restart once the rest was
# appended while stopped, beside ccusage's totals for the whole recording.
set -e
B=$(realpath "${1:-build/release/src/corvane}")
S=$(cd "$(dirname "$0")/../tests/fixtures/samples" && pwd)
H=$(mktemp -d /tmp/corvane-catchup-restart.XXXXXX)
trap 'rm -rf "$H"' EXIT
mkdir -p $H/.claude $H/.codex/sessions/2026/12/09
cp -r $S/claude/projects $H/.claude/ && cp $S/codex/*/rollout*.jsonl $H/.codex/sessions/2026/12/09/
export HOME=$H XDG_DATA_HOME=$H/.local/share XDG_CONFIG_HOME=$H/.config CORVANE_OTEL_PORT=0
F=$H/.claude/projects/-home-dev-projects-beta/e73b8745-8420-4147-9784-5013bfceb75f.jsonl
cp $F $H/full.jsonl; head -20 $H/full.jsonl > $F
day() { $B --snapshot --json --scope claudeCode | python3 -c "import json,sys; d=json.load(sys.stdin)['daily']; print(sum(x['input'] for x in d), sum(x['output'] for x in d))"; }
$B --headless 2>>$H/err & P=$!; sleep 2; echo "first launch, half the transcript: $(day)"; kill -TERM $P; wait $P
tail -n +21 $H/full.jsonl >> $F
$B --headless 2>>$H/err & P=$!; sleep 2; echo "after restart: $(day)"; t0=$(date +%s%N); kill -TERM $P; wait $P; echo "SIGTERM: rc=$? in $(( ($(date +%s%N)-t0)/1000000 )) ms"
python3 -c "
import json; d=json.load(open('$S/claude/ccusage-daily.json'))['totals']; print('ccusage:', d['inputTokens']+d['cacheCreationTokens']+d['cacheReadTokens'], d['outputTokens'])"
cat $H/err
