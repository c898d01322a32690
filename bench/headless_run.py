#!/usr/bin/env python3
"""Measures a headless Corvane: launch-to-listening time, idle CPU and resident memory over a quiet
period, and --snapshot latency (whole process, and the running instance's answer alone).

    bench/headless_run.py [path/to/corvane] [--quiet-seconds N]

Runs with a temporary empty home and an ephemeral OTel port, so it never touches the user's files
or a running Corvane.
"""
import os, socket, statistics, subprocess, tempfile, time

from processes import command_line, free_port, quiet_usage

def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.05):
            return True
    except OSError:
        return False


def timed_runs(command, env, count, stdin=None):
    times = []
    for _ in range(count):
        start = time.perf_counter()
        subprocess.run(command, env=env, input=stdin, stdout=subprocess.DEVNULL, check=True)
        times.append((time.perf_counter() - start) * 1000)
    return times

def control_round_trip(path, count):
    times = []
    for _ in range(count):
        start = time.perf_counter()
        with socket.socket(socket.AF_UNIX) as s:
            s.connect(path)
            s.sendall(b'{"command":"snapshot","json":false}\n')
            while s.recv(65536):
                pass
        times.append((time.perf_counter() - start) * 1000)
    return times

def summary(name, values, unit="ms"):
    values = sorted(values)
    p95 = values[max(0, int(len(values) * 0.95) - 1)]
    print(f"{name}: median {statistics.median(values):.1f} {unit}, min {values[0]:.1f}, p95 {p95:.1f} (n={len(values)})")

def main():
    binary, quiet = command_line(default_quiet_seconds=60)
    home = tempfile.mkdtemp(prefix="corvane-bench-")
    port = free_port()
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
               CORVANE_OTEL_PORT=str(port))
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    support = f"{home}/data/Corvane"
    control = f"{support}/control.sock"

    launches = []
    for run in range(6):
        start = time.perf_counter()
        process = subprocess.Popen([binary, "--headless"], env=env)
        while not (listening(port) and os.path.exists(f"{support}/notify.sock") and os.path.exists(control)):
            time.sleep(0.001)
        launches.append((time.perf_counter() - start) * 1000)
        if run < 5:
            process.terminate()
            process.wait()
    print(f"load average at start: {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")
    summary("launch to listening (first run: empty home)", launches[:1])
    summary("launch to listening (later runs)", launches[1:])

    time.sleep(2)
    quiet_usage(process.pid, quiet, "idle")

    summary("instance answer over the control socket", control_round_trip(control, 50))
    summary("corvane --snapshot with an instance", timed_runs([binary, "--snapshot"], env, 20))
    summary("corvane --snapshot --json --scope codex with an instance",
            timed_runs([binary, "--snapshot", "--json", "--scope", "codex"], env, 20))
    process.terminate()
    process.wait()
    summary("corvane --snapshot without an instance (from the store)", timed_runs([binary, "--snapshot"], env, 20))
    summary("corvane --version (process start floor)", timed_runs([binary, "--version"], env, 20))

if __name__ == "__main__":
    main()
