"""What the benchmark scripts read about the processes they start."""
import os, socket, sys, time

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]

def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

def rss_kib(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0

def quiet_usage(pid, seconds, label):
    """Prints the CPU share and resident memory of the process over the next seconds."""
    cpu_before, wall_before = cpu_seconds(pid), time.perf_counter()
    peak = 0
    while time.perf_counter() - wall_before < seconds:
        time.sleep(1)
        peak = max(peak, rss_kib(pid))
    cpu = cpu_seconds(pid) - cpu_before
    wall = time.perf_counter() - wall_before
    print(f"{label} over {wall:.0f} s: CPU {100 * cpu / wall:.3f} % ({cpu:.2f} s), RSS {rss_kib(pid) / 1024:.1f} MiB "
          f"(peak {peak / 1024:.1f} MiB)")

def command_line(default_quiet_seconds):
    """The corvane binary (first argument, else the release build) and --quiet-seconds N."""
    args = sys.argv[1:]
    quiet = default_quiet_seconds
    if "--quiet-seconds" in args:
        at = args.index("--quiet-seconds")
        quiet = int(args[at + 1])
        del args[at:at + 2]
    return os.path.abspath(args[0] if args else "build/release/src/corvane"), quiet
