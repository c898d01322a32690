#!/usr/bin/env python3
"""Measures the desktop Corvane on its own Xvfb with openbox and an xterm as the HUD's target:
launch-to-HUD-docked time, then CPU and resident memory over a quiet period with the agents idle,
and again with the mock agent working, first with the bar collapsed (HUD and sponsored slot
ticking), then with the dashboard expanded by a click on the bar.

    bench/desktop_run.py [path/to/corvane] [--quiet-seconds N]

Runs with a temporary empty home and an ephemeral OTel port, so it never touches the user's files,
display or a running Corvane. Needs Xvfb, openbox, xterm and xdotool (scripts/setup installs them).
"""
import os, subprocess, sys, tempfile, time

from processes import command_line, free_port, quiet_usage

def start_display():
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                              pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            sys.exit("Xvfb did not start")
        number += chunk
    os.close(read)
    return server, ":" + number.decode().strip()

def run_text(command, env):
    return subprocess.run(command, env=env, capture_output=True, text=True).stdout.strip()

def wait_for(predicate, timeout):
    deadline = time.perf_counter() + timeout
    while time.perf_counter() < deadline:
        if predicate():
            return True
        time.sleep(0.005)
    return False

def geometry(window, env):
    return " ".join(run_text(["xdotool", "getwindowgeometry", window], env).split("\n")[1:]).strip()

def write_settings(home, mock):
    os.makedirs(f"{home}/config/Corvane", exist_ok=True)
    with open(f"{home}/config/Corvane/Corvane.conf", "w") as f:
        f.write("[General]\ntargetBundleID=XTerm\ndisplayMode=aggregate\n"
                f"useMockDataV2={'true' if mock else 'false'}\n")

def main():
    binary, quiet = command_line(default_quiet_seconds=30)
    server, display = start_display()
    base = dict(os.environ, DISPLAY=display)
    base.pop("QT_QPA_PLATFORM", None)
    base.pop("WAYLAND_DISPLAY", None)
    children = [server]
    try:
        children.append(subprocess.Popen(["openbox", "--sm-disable"], env=base, stderr=subprocess.DEVNULL))
        wait_for(lambda: "_NET_SUPPORTED(ATOM)" in run_text(["xprop", "-root", "_NET_SUPPORTED"], base), 10)
        children.append(subprocess.Popen(["xterm", "-geometry", "150x24+40+220", "-e", "sleep", "3600"], env=base))
        wait_for(lambda: run_text(["xdotool", "search", "--class", "XTerm"], base), 10)
        print(f"load average at start: {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")
        for mock in (False, True):
            home = tempfile.mkdtemp(prefix="corvane-bench-")
            write_settings(home, mock)
            env = dict(base, HOME=home, XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
                       CORVANE_OTEL_PORT=str(free_port()))
            start = time.perf_counter()
            process = subprocess.Popen([binary], env=env, stderr=subprocess.DEVNULL)
            shown = wait_for(lambda: run_text(["xdotool", "search", "--onlyvisible", "--name", "^Corvane HUD$"], env), 20)
            if not shown:
                sys.exit("the HUD never appeared")
            print(f"launch to HUD shown ({'mock agent on' if mock else 'agents idle'}): "
                  f"{(time.perf_counter() - start) * 1000:.0f} ms")
            time.sleep(3)
            hud = run_text(["xdotool", "search", "--onlyvisible", "--name", "^Corvane HUD$"], env).split()[0]
            quiet_usage(process.pid, quiet, "mock agent working, collapsed" if mock else "idle")
            print("  HUD " + geometry(hud, env))
            if mock:
                # A click on the bar, away from the chip and the slot, expands the dashboard.
                run_text(["xdotool", "mousemove", "--window", hud, "200", "22", "click", "1"], env)
                time.sleep(2)
                quiet_usage(process.pid, quiet, "mock agent working, expanded")
                print("  HUD " + geometry(hud, env))
            print("  " + run_text([binary, "--snapshot"], env).split("\n")[0])
            process.terminate()
            process.wait()
    finally:
        for child in reversed(children):
            child.terminate()
            child.wait()

if __name__ == "__main__":
    main()
