#!/bin/bash
# A start with nothing new to read, at 10,000 transcripts whose positions are stored:
#   bench/catchup_start.sh [corvane binary] [files]
# The first import stores every position; the runs after it find nothing new. Their wall time
# is the whole catch-up (store open, positions loaded, every file listed and stat'ed) plus the
# process start, printed beside `corvane --version` (the bare process start).
set -euo pipefail
BIN=${1:-build/release/src/corvane}
FILES=${2:-10000}
WORK=$(mktemp -d /tmp/corvane-catchup-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share XDG_CONFIG_HOME=$WORK/home/.config
python3 - "$HOME/.claude/projects" "$FILES" <<'PY'
import os, sys, uuid
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "-home-dev-p%d" % (i % 100))
    os.makedirs(folder, exist_ok=True)
    session = str(uuid.uuid4())
    with open(os.path.join(folder, session + ".jsonl"), "w") as f:
        f.write('{"type":"user","sessionId":"%s","uuid":"%s","timestamp":"2026-12-01T10:00:00.000Z","message":{"content":"x"}}\n' % (session, uuid.uuid4()))
PY
"$BIN" --import-history | tail -1
best() { local b=999999; for _ in 1 2 3 4 5; do local t0=$(date +%s%N); "$@" >/dev/null; local t=$(( ($(date +%s%N) - t0) / 1000000 )); (( t < b )) && b=$t; done; echo "$b ms"; }
echo "nothing new at $FILES files: $(best "$BIN" --import-history) (best of 5)"
echo "corvane --version:           $(best "$BIN" --version) (best of 5)"
