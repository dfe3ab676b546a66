#!/usr/bin/env python3
"""The CTest fixture of the reference server: starts talvane-reference-server, later stops it.

  ReferenceServerFixture.py start --server <talvane-reference-server> --dir <state folder>
  ReferenceServerFixture.py stop --dir <state folder>

start runs the server on a free loopback port (--port 0), waits for its "listening on HOST:PORT"
line and writes <dir>/engine.ini holding [Talvane.Tests] ReferenceServerURL=http://HOST:PORT/, the
key the specs read (the test programs merge that file into the engine ini, as the engine merges a
project's DefaultEngine.ini). The server runs on in its own session after start returns.

stop sends SIGTERM (the server ends stalled and streaming requests at once), and SIGKILL if it has
not exited within a few seconds, then removes engine.ini so that a later run without the fixture
skips the network specs instead of calling a dead port.
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import time

START_SECONDS = 30.0
STOP_SECONDS = 10.0
LISTENING_RE = re.compile(r"listening on (\S+):(\d+)")


def is_our_server(pid):
    """Whether pid is a reference server (a stale pid file may name a process reused since)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as handle:
            return b"talvane-reference-server" in handle.read()
    except OSError:
        return False


def read_pid(state_dir):
    try:
        with open(os.path.join(state_dir, "server.pid"), encoding="ascii") as handle:
            return int(handle.read().strip())
    except (OSError, ValueError):
        return None


def stop_server(state_dir):
    pid = read_pid(state_dir)
    for name in ("engine.ini", "server.pid"):
        try:
            os.remove(os.path.join(state_dir, name))
        except OSError:
            pass
    if pid is None or not is_our_server(pid):
        return "no reference server was running"
    os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + STOP_SECONDS
    while time.monotonic() < deadline:
        if not is_our_server(pid):
            return "reference server %d stopped" % pid
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)
    return "reference server %d did not stop within %gs and was killed" % (pid, STOP_SECONDS)


def start_server(server, state_dir):
    os.makedirs(state_dir, exist_ok=True)
    print(stop_server(state_dir) + " before the start")
    out_path = os.path.join(state_dir, "server.out")
    log_path = os.path.join(state_dir, "server.log")
    environment = dict(os.environ)
    # Under ThreadSanitizer the server is built instrumented but is not what the run tests; its
    # uninstrumented cpp-httplib would report hand-offs between its own threads.
    environment["TSAN_OPTIONS"] = "report_bugs=0"
    environment["ASAN_OPTIONS"] = "detect_leaks=0"
    with open(out_path, "wb") as out, open(log_path, "wb") as log:
        process = subprocess.Popen([server, "--host", "127.0.0.1", "--port", "0", "--quiet"], stdin=subprocess.DEVNULL,
            stdout=out, stderr=log, start_new_session=True, env=environment)
    deadline = time.monotonic() + START_SECONDS
    while time.monotonic() < deadline:
        with open(out_path, encoding="utf-8", errors="replace") as handle:
            match = LISTENING_RE.search(handle.read())
        if match:
            url = "http://%s:%s/" % (match.group(1), match.group(2))
            with open(os.path.join(state_dir, "server.pid"), "w", encoding="ascii") as handle:
                handle.write("%d\n" % process.pid)
            with open(os.path.join(state_dir, "engine.ini"), "w", encoding="utf-8") as handle:
                handle.write("[Talvane.Tests]\nReferenceServerURL=%s\n" % url)
            print("reference server %d listening at %s" % (process.pid, url))
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.05)
    if process.poll() is None:
        process.kill()
    with open(log_path, encoding="utf-8", errors="replace") as handle:
        sys.stderr.write(handle.read())
    print("the reference server did not report a port", file=sys.stderr)
    return 1


def main():
    parser = argparse.ArgumentParser(description="Starts or stops the reference server for CTest.")
    parser.add_argument("action", choices=("start", "stop"))
    parser.add_argument("--server")
    parser.add_argument("--dir", required=True)
    arguments = parser.parse_args()
    if arguments.action == "start":
        if not arguments.server:
            parser.error("start needs --server")
        return start_server(arguments.server, arguments.dir)
    print(stop_server(arguments.dir))
    return 0


if __name__ == "__main__":
    sys.exit(main())
