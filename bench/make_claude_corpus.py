#!/usr/bin/env python3
"""Builds a corpus of Claude Code transcripts from the recorded line shapes.

Each copy of the recorded projects gets its own session, line, message and request ids and is
moved back in time by a whole number of hours, so copies neither repeat each other nor fall on
one day; the lines keep their recorded shapes and sizes (a resumed session, a fork, a subagent).

    make_claude_corpus.py OUT_DIR --megabytes 300 [--days 30]

OUT_DIR becomes a ~/.claude folder (OUT_DIR/projects/...).
"""
import argparse
import datetime
import hashlib
import os
import re
import uuid

SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures", "samples", "claude", "projects")
UUID = re.compile(rb"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")
IDS = re.compile(rb'"(msg_[A-Za-z0-9_]+|req_[A-Za-z0-9_]+)"')
STAMP = re.compile(rb'"(20\d\d-\d\d-\d\dT\d\d:\d\d:\d\d(?:\.\d+)?Z)"')


def recorded_files():
    for folder, _, names in os.walk(SAMPLES):
        for name in sorted(names):
            if name.endswith(".jsonl"):
                path = os.path.join(folder, name)
                yield os.path.relpath(path, SAMPLES), open(path, "rb").read()


def copy_of(data, copy, shift):
    def new_uuid(match):
        return str(uuid.UUID(bytes=hashlib.md5(match.group(0) + b"/%d" % copy).digest()[:16], version=4)).encode()

    def new_id(match):
        return b'"%s_c%d"' % (match.group(1), copy)

    def new_stamp(match):
        text = match.group(1).decode()
        moment = datetime.datetime.strptime(text[:19], "%Y-%m-%dT%H:%M:%S") - shift
        return b'"%s%sZ"' % (moment.strftime("%Y-%m-%dT%H:%M:%S").encode(), text[19:-1].encode())

    return STAMP.sub(new_stamp, IDS.sub(new_id, UUID.sub(new_uuid, data)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--megabytes", type=float, default=300)
    parser.add_argument("--days", type=int, default=30)
    args = parser.parse_args()
    files = list(recorded_files())
    newest = max(m.group(1) for _, data in files for m in STAMP.finditer(data)).decode()
    end = datetime.datetime.strptime(newest[:19], "%Y-%m-%dT%H:%M:%S")
    now = datetime.datetime.utcnow().replace(microsecond=0)
    target = int(args.megabytes * 1e6)
    written, copy = 0, 0
    while written < target:
        # Spread over the last `days` days, the newest copy ending an hour ago.
        shift = (end - now) + datetime.timedelta(hours=1 + (copy * 7) % (args.days * 24))
        for relative, data in files:
            out = copy_of(data, copy, shift)
            folder, name = os.path.split(relative)
            parts = folder.split(os.sep)
            parts[0] = "%s-%d" % (parts[0], copy % 40)
            renamed = UUID.sub(lambda m: str(uuid.UUID(bytes=hashlib.md5(m.group(0) + b"/%d" % copy).digest()[:16], version=4)).encode(), name.encode()).decode()
            renamed = renamed.replace(".jsonl", "") + ("-%d.jsonl" % copy if renamed.startswith("agent-") else ".jsonl")
            subfolder = os.sep.join(UUID.sub(lambda m: str(uuid.UUID(bytes=hashlib.md5(m.group(0) + b"/%d" % copy).digest()[:16], version=4)).encode(), p.encode()).decode() for p in parts)
            path = os.path.join(args.out, "projects", subfolder, renamed)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as handle:
                handle.write(out)
            written += len(out)
        copy += 1
    print("%d files, %.1f MB, %d copies of the recording" % (copy * len(files), written / 1e6, copy))


if __name__ == "__main__":
    main()
