#!/usr/bin/env python3
"""Local attacks on a running `corvane --headless`: resident memory and service afterwards.

- stall: 16 peers each send 60 MiB of a declared 63 MiB body and stop;
- pipelining: a peer sends pipelined requests and never reads its answers;
- huge header: a peer sends a header block that never ends;
- idle: 1,100 idle connections to notify.sock and to control.sock, closed again, then each socket
  must serve (a notify line, a control request);
- another user: a TCP connection as nobody (setpriv, when run as root) must get no answer.

    bench/listener_attacks.py build/release/src/corvane
"""
import os, resource, socket, subprocess, sys, tempfile, threading, time

sys.path.insert(0, os.path.dirname(__file__))
from processes import free_port, rss_kib  # noqa: E402


def connect(port):
    return socket.create_connection(("127.0.0.1", port), timeout=5)


def peak_during(pid, action):
    peak, done = [0], threading.Event()

    def sample():
        while not done.is_set():
            peak[0] = max(peak[0], rss_kib(pid))
            time.sleep(0.02)

    sampler = threading.Thread(target=sample)
    sampler.start()
    try:
        action()
    finally:
        time.sleep(0.5)
        done.set()
        sampler.join()
    return peak[0] / 1024


def served(port):
    with connect(port) as s:
        s.sendall(b"POST / HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: 2\r\n\r\n{}")
        return s.recv(96).startswith(b"HTTP/1.1 200 OK")


def stall(port):
    peers = []
    chunk = b"x" * (1 << 20)
    for _ in range(16):
        s = connect(port)
        try:
            s.sendall(b"POST / HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: %d\r\n\r\n" % (63 << 20))
            for _ in range(60):
                s.sendall(chunk)
        except OSError:
            pass  # closed by the receiver: the shared budget is spent
        peers.append(s)
    time.sleep(1)
    for s in peers:
        s.close()


def pipelining(port):
    s = connect(port)
    s.setblocking(False)
    requests, sent, deadline = b"GET / HTTP/1.1\r\n\r\n" * 4096, 0, time.time() + 5
    while time.time() < deadline:
        try:
            sent += s.send(requests)
        except BlockingIOError:
            time.sleep(0.01)
        except OSError:
            break
    print(f"  pipelining peer got {sent / 2**20:.1f} MiB in before the receiver stopped reading it")
    s.close()


def huge_header(port):
    s = connect(port)
    try:
        s.sendall(b"POST / HTTP/1.1\r\nX-Pad: ")
        for _ in range(256):
            s.sendall(b"y" * 65536)
    except OSError:
        print("  header peer closed by the receiver")
    s.close()


def unix_idle_then_serve(path, request, expect_answer):
    peers = []
    for _ in range(1100):
        s = socket.socket(socket.AF_UNIX)
        try:
            s.connect(path)
        except OSError:
            s.close()
            continue
        peers.append(s)
    for s in peers:
        s.close()
    deadline = time.time() + 10
    while time.time() < deadline:
        try:
            with socket.socket(socket.AF_UNIX) as s:
                s.settimeout(3)
                s.connect(path)
                s.sendall(request)
                answer = s.recv(4096) if expect_answer else s.recv(1)
                if not expect_answer or answer:
                    return len(peers), True
        except OSError:
            time.sleep(0.2)
    return len(peers), False


def main():
    binary = sys.argv[1]
    home = tempfile.mkdtemp(prefix="corvane-attacks-")
    os.chmod(home, 0o755)
    port = free_port()
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
               CORVANE_OTEL_PORT=str(port))
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    # The usual desktop limit for the instance; the attacker here may hold more.
    limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (1024, resource.getrlimit(resource.RLIMIT_NOFILE)[1]))
    process = subprocess.Popen([binary, "--headless"], env=env, stderr=subprocess.DEVNULL, preexec_fn=limit)
    support = f"{home}/data/Corvane"
    for _ in range(200):
        if os.path.exists(f"{support}/notify.sock") and os.path.exists(f"{support}/control.sock"):
            break
        time.sleep(0.05)
    time.sleep(0.5)
    print(f"idle RSS {rss_kib(process.pid) / 1024:.1f} MiB")
    for name, attack in (("stall", stall), ("pipelining", pipelining), ("huge header", huge_header)):
        peak = peak_during(process.pid, lambda: attack(port))
        print(f"{name}: peak RSS {peak:.1f} MiB; a normal request served afterwards: {served(port)}")
    for name, request, answer in (("notify.sock", b'{"type":"agent-turn-complete"}\n', False),
                                  ("control.sock", b"snapshot\n", True)):
        opened, ok = unix_idle_then_serve(f"{support}/{name}", request, answer)
        print(f"{name}: {opened} idle connections opened and closed; serving again: {ok}")
    if os.geteuid() == 0:
        script = (f"exec 3<>/dev/tcp/127.0.0.1/{port} && printf 'GET / HTTP/1.1\\r\\n\\r\\n' >&3 && head -c 96 <&3")
        out = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "bash", "-c", script],
                             capture_output=True, timeout=10).stdout
        print(f"connection as nobody: {'answered (FAIL)' if out else 'refused, no answer'}")
    process.terminate()
    process.wait()


if __name__ == "__main__":
    main()
