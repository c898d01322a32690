#!/bin/bash
# A transcript half written while Corvane is stopped: its second half is counted after a restart.
set -e
B=$1; H=$2; S=$3
rm -rf $H && mkdir -p $H/.claude $H/.codex/sessions/2026/12/09
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
