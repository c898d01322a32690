#!/usr/bin/env python3
"""Times the two commands Claude Code runs: `corvane --claude-statusline` (after every message) and
`corvane --claude-hook` (for every hook event), each with and without a running instance, beside
`corvane --version` as the floor of a process start. Median of 20 runs each by default.

    bench/claude_commands.py [path/to/corvane] [--runs N]

Runs with a temporary empty home and an ephemeral OTel port, so it never touches the user's files
or a running Corvane.
"""
import os, subprocess, sys, tempfile, time

from headless_run import summary, timed_runs
from processes import free_port

SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures", "samples")

def first_hook_document():
    import json
    with open(os.path.join(SAMPLES, "hooks", "tui-record", "events.jsonl")) as lines:
        return json.dumps(json.loads(lines.readline())["stdin"]).encode()

def main():
    args = sys.argv[1:]
    runs = 20
    if "--runs" in args:
        at = args.index("--runs")
        runs = int(args[at + 1])
        del args[at:at + 2]
    binary = os.path.abspath(args[0] if args else "build/release/src/corvane")
    home = tempfile.mkdtemp(prefix="corvane-bench-")
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
               CORVANE_OTEL_PORT=str(free_port()))
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    control = f"{home}/data/Corvane/control.sock"
    with open(os.path.join(SAMPLES, "limits", "claude", "tui-subscriber", "statusline", "0004.json"), "rb") as f:
        status = f.read()
    hook = first_hook_document()

    def measure(where):
        summary(f"corvane --claude-statusline {where}", timed_runs([binary, "--claude-statusline"], env, runs, status))
        summary(f"corvane --claude-hook {where}", timed_runs([binary, "--claude-hook"], env, runs, hook))

    print(f"load average at start: {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")
    summary("corvane --version (process start floor)", timed_runs([binary, "--version"], env, runs))
    measure("without an instance")
    instance = subprocess.Popen([binary, "--headless"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not os.path.exists(control):
        time.sleep(0.01)
    time.sleep(1)
    measure("with an instance")
    summary("corvane --version (process start floor)", timed_runs([binary, "--version"], env, runs))
    instance.terminate()
    instance.wait()

if __name__ == "__main__":
    main()
