#!/usr/bin/env python3
"""kill -9 during a burst of recorded OTLP posts: every answered post's events must be stored.

Starts `corvane --headless` in a temporary home, posts the recorded Codex body (each post's record
times shifted so its events are distinct) from several keep-alive connections, kills the process
with SIGKILL part-way, starts it again, stops it with SIGTERM (timed), then counts the answered
posts whose events are in events.sqlite and runs PRAGMA integrity_check.

    bench/otel_kill_burst.py build/release/src/corvane [--posts 20000] [--kill-after 10000]
"""
import argparse, http.client, os, re, signal, sqlite3, subprocess, sys, tempfile, threading, time

sys.path.insert(0, os.path.dirname(__file__))
from processes import free_port  # noqa: E402

BODY = os.path.join(os.path.dirname(__file__), "..", "tests/fixtures/samples/codex/exec/otlp/0002.body.raw.json")
SHIFT_NS = 10**12  # 1000 s per post: no two posts' records share a time


PAIR = re.compile(r'"timeUnixNano": "\d+",(\s*)"observedTimeUnixNano": "(\d+)"')


def body_for(template, index):
    # The recording's records carry no time of their own (0); give each the observed one, shifted.
    return PAIR.sub(lambda m: f'"timeUnixNano": "{int(m[2]) + index * SHIFT_NS}",{m[1]}"observedTimeUnixNano": "{m[2]}"',
                    template).encode()


def wait_listening(port, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            with socket_connect(port):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def socket_connect(port):
    import socket
    return socket.create_connection(("127.0.0.1", port), timeout=1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--posts", type=int, default=20000)
    parser.add_argument("--kill-after", type=int, default=10000, help="answered posts before the kill")
    parser.add_argument("--connections", type=int, default=16)
    args = parser.parse_args()

    template = open(BODY).read()
    base = min(int(m[2]) for m in PAIR.finditer(template)) // 10**6 * 10**6  # times are stored in ms
    bodies = [body_for(template, i) for i in range(args.posts)]

    home = tempfile.mkdtemp(prefix="corvane-burst-")
    port = free_port()
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
               CORVANE_OTEL_PORT=str(port))
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    process = subprocess.Popen([args.binary, "--headless"], env=env, stderr=subprocess.DEVNULL)
    if not wait_listening(port):
        sys.exit("the receiver did not listen")

    answered, lock, next_post = [], threading.Lock(), iter(range(args.posts))

    def worker():
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        while True:
            with lock:
                index = next(next_post, None)
            if index is None:
                return
            try:
                connection.request("POST", "/v1/logs", body=bodies[index],
                                   headers={"Content-Type": "application/json"})
                if connection.getresponse().read() == b"{}":
                    with lock:
                        answered.append(index)
            except (OSError, http.client.HTTPException):
                return

    threads = [threading.Thread(target=worker) for _ in range(args.connections)]
    started = time.perf_counter()
    for thread in threads:
        thread.start()
    while len(answered) < args.kill_after and any(t.is_alive() for t in threads):
        time.sleep(0.001)
    process.send_signal(signal.SIGKILL)
    process.wait()
    elapsed = time.perf_counter() - started
    for thread in threads:
        thread.join()
    answered_at_kill = len(answered)

    # A new run recovers the database; SIGTERM must end it promptly.
    process = subprocess.Popen([args.binary, "--headless"], env=env, stderr=subprocess.DEVNULL)
    wait_listening(port)
    term = time.perf_counter()
    process.send_signal(signal.SIGTERM)
    process.wait()
    term_seconds = time.perf_counter() - term

    db = sqlite3.connect(f"{home}/data/Corvane/events.sqlite")
    rows = db.execute("SELECT ts FROM events WHERE source = 'codexOtel'").fetchall()
    stored = {int((round(ts * 1000) * 10**6 - base) // SHIFT_NS) for (ts,) in rows}
    missing = sorted(set(answered) - stored)
    integrity = db.execute("PRAGMA integrity_check").fetchone()[0]
    print(f"posts answered before the kill: {answered_at_kill} in {elapsed:.2f} s "
          f"({answered_at_kill / elapsed:.0f} req/s); posts with stored events: {len(stored)}; "
          f"answered but missing: {len(missing)}; rows: {len(rows)}; integrity_check: {integrity}; "
          f"SIGTERM after restart took {term_seconds:.2f} s")
    sys.exit(1 if missing or integrity != "ok" else 0)


if __name__ == "__main__":
    main()
