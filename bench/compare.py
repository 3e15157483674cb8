#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Measures brimel side by side with util-linux script and socat, in one run, on this machine.

    python3 bench/compare.py [path/to/brimel] [--quick]

Each relay runs the same command on a new pseudo-terminal behind pipes, as a host would:
  output   a command writes 32 MiB: MiB/s, and the relay's own CPU time per MiB
  input    16 MiB into a command in raw mode: MiB/s, and the relay's own CPU time per MiB
  keys     one byte to a raw-mode cat and back, 2,000 times: p50 and p99 in microseconds
  idle     standard input closed while the command sleeps 3 s: the relay's CPU time, and the
           bytes that reached the command meanwhile
  start    `true`, 100 times: median wall time and peak memory (maximum resident set)
and, for brimel alone, the time from its host's end (VELDRIN_PROCESS_ID) to the relay's end.
The relays: brimel as a host starts it, brimel with BRIMEL_BLOCK_SIZE=65536, util-linux script,
socat (plain and raw), and bench/bare_relay.cpp, built here: a bare poll loop with 64 KiB buffers,
the limit that a relay moving large blocks can reach.
Every figure is the median of several runs (--quick: fewer). Machines are noisy: compare the
columns of one run with each other, not with another machine's.
"""
import os
import select
import tempfile
import shutil
import signal
import statistics
import subprocess
import sys
import time

BRIMEL = next((a for a in sys.argv[1:] if not a.startswith("--")), "build/default/brimel")
QUICK = "--quick" in sys.argv
RUNS = 3 if QUICK else 7
TICK = os.sysconf("SC_CLK_TCK")


def install_missing():
    """script (bsdutils), socat and GNU time, with apt-get where they are missing."""
    missing = [p for p, tool in (("bsdutils", "script"), ("socat", "socat"), ("time", "/usr/bin/time"))
               if not shutil.which(tool)]
    if missing and os.geteuid() == 0:
        subprocess.run(["apt-get", "install", "-y", "-qq"] + missing, check=False,
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def build_bare_relay():
    """bench/bare_relay.cpp, compiled into a temporary folder; None without a compiler."""
    binary = os.path.join(tempfile.mkdtemp(), "bare_relay")
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bare_relay.cpp")
    built = subprocess.run(["c++", "-std=c++20", "-O2", "-o", binary, source], check=False)
    return binary if built.returncode == 0 else None


def relays():
    """Each relay as a function of a shell command line."""
    found = {"brimel": lambda c: [BRIMEL, "-n", "sh", "-c", c],
             "brimel 64K": lambda c: ["env", "BRIMEL_BLOCK_SIZE=65536", BRIMEL, "-n", "sh", "-c", c]}
    if shutil.which("script"):
        found["script"] = lambda c: ["script", "-q", "-e", "-c", c, "/dev/null"]
    if shutil.which("socat"):
        # SYSTEM: is EXEC: through sh -c, for a command line with arguments.
        found["socat"] = lambda c: ["socat", "-", f"SYSTEM:{c},pty,setsid,ctty"]
        found["socat raw"] = lambda c: ["socat", "-", f"SYSTEM:{c},pty,setsid,ctty,raw,echo=0"]
    bare = build_bare_relay()
    if bare:
        found["bare 64K"] = lambda c: [bare, c]
    return found


def start(argv):
    return subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, bufsize=0)


def own_cpu(pid):
    """Seconds on a processor of the process itself (not its children), also as a zombie: in
    nanoseconds where the kernel keeps scheduler statistics, else in clock ticks."""
    try:
        with open(f"/proc/{pid}/schedstat") as schedstat:
            return int(schedstat.read().split()[0]) / 1e9
    except (OSError, ValueError, IndexError):
        pass
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def finish(relay, out=None):
    """Reads to the end of output, then takes the relay's own CPU before reaping it."""
    total = 0
    while True:
        chunk = relay.stdout.read(65536)
        if not chunk:
            break
        total += len(chunk)
        if out is not None:
            out.append(chunk)
    os.waitid(os.P_PID, relay.pid, os.WEXITED | os.WNOWAIT)
    cpu = own_cpu(relay.pid)
    relay.wait()
    return total, cpu


def read_until(relay, text, limit=10):
    seen = b""
    deadline = time.monotonic() + limit
    while text not in seen:
        ready, _, _ = select.select([relay.stdout], [], [], max(0, deadline - time.monotonic()))
        if not ready:
            raise RuntimeError(f"no {text!r} within {limit} s")
        seen += os.read(relay.stdout.fileno(), 4096)
    return seen


def output(make):
    relay = start(make("head -c 33554432 /dev/zero"))
    began = time.monotonic()
    total, cpu = finish(relay)
    seconds = time.monotonic() - began
    return total / 2**20 / seconds, cpu * 1000 / 32


def input_(make):
    relay = start(make("stty raw -echo; echo ready; head -c 16777216 >/dev/null"))
    read_until(relay, b"ready")
    block = bytes(range(256)) * 256
    began = time.monotonic()
    for _ in range(16 * 2**20 // len(block)):
        relay.stdin.write(block)
    _, cpu = finish(relay)
    return 16 / (time.monotonic() - began), cpu * 1000 / 16


def keys(make, count=300 if QUICK else 2000):
    relay = start(make("stty raw -echo; echo ready; cat"))
    read_until(relay, b"ready")
    trips = []
    for _ in range(count):
        began = time.perf_counter()
        os.write(relay.stdin.fileno(), b"x")
        while not os.read(relay.stdout.fileno(), 1):
            pass
        trips.append((time.perf_counter() - began) * 1e6)
    relay.kill()
    relay.wait()
    trips.sort()
    return trips[len(trips) // 2], trips[len(trips) * 99 // 100]


def idle(make):
    relay = start(make("stty raw -echo min 0 time 0; echo ready; sleep 3; cat | wc -c"))
    read_until(relay, b"ready")
    relay.stdin.close()
    out = []
    _, cpu = finish(relay, out)
    text = b"".join(out).decode(errors="replace").split()
    return cpu * 1000, int(text[-1]) if text and text[-1].isdigit() else -1


def start_up(make, count=30 if QUICK else 100):
    """Median wall time of `true`; peak memory as GNU time reports it for the relay's process,
    which it starts from a process of its own size (a Python parent would count its own)."""
    times = []
    peak = 0
    for _ in range(count):
        began = time.monotonic()
        result = subprocess.run(["/usr/bin/time", "-f", "%M"] + make("true"), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
        times.append((time.monotonic() - began) * 1000)
        peak = max(peak, int(result.stderr.split()[-1]))
    return statistics.median(times), peak / 1024


def host_end(count=50 if QUICK else 300):
    """Kills a host stand-in and times until brimel's exit has been seen."""
    latencies = []
    for _ in range(count):
        host = subprocess.Popen(["sleep", "1000"])
        relay = subprocess.Popen([BRIMEL, "sh", "-c", "echo ready; exec sleep 1000"],
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0,
                                 env=dict(os.environ, VELDRIN_PROCESS_ID=str(host.pid)))
        read_until(relay, b"ready")
        began = time.perf_counter()
        host.kill()
        os.waitid(os.P_PID, relay.pid, os.WEXITED | os.WNOWAIT)
        latencies.append((time.perf_counter() - began) * 1000)
        relay.wait()
        host.wait()
    latencies.sort()
    return statistics.median(latencies), latencies[-1], count


def timed_out(*_):
    raise TimeoutError("no end within 120 s")


def median_of(measure, make):
    signal.signal(signal.SIGALRM, timed_out)
    runs = []
    for _ in range(RUNS):
        signal.alarm(120)
        try:
            runs.append(measure(make))
        except (TimeoutError, RuntimeError) as error:
            print(f"  {error}", file=sys.stderr)
        signal.alarm(0)
    if not runs:
        return (float("nan"),) * 2

    if isinstance(runs[0], tuple):
        return tuple(statistics.median(r[i] for r in runs) for i in range(len(runs[0])))
    return statistics.median(runs)


def main():
    install_missing()
    columns = relays()
    rows = [
        ("output MiB/s", output, 0), ("output CPU ms/MiB", output, 1),
        ("input MiB/s", input_, 0), ("input CPU ms/MiB", input_, 1),
        ("keystroke p50 us", keys, 0), ("keystroke p99 us", keys, 1),
        ("idle CPU ms (3 s)", idle, 0), ("idle bytes to command", idle, 1),
        ("start-up ms", start_up, 0), ("start-up peak MiB", start_up, 1),
    ]
    results = {}
    for name, make in columns.items():
        for _, measure, _ in rows:
            if (name, measure) not in results:
                print(f"measuring {measure.__name__.strip('_')} with {name}...", file=sys.stderr)
                results[name, measure] = median_of(measure, make)
    ratios = [(a, b) for a, b in (("brimel", "script"), ("brimel 64K", "script"),
                                  ("brimel 64K", "bare 64K")) if b in columns]
    print("| measure | " + " | ".join(columns) + "".join(f" | {a} / {b}" for a, b in ratios) + " |")
    print("|---" * (len(columns) + len(ratios) + 1) + "|")
    for label, measure, index in rows:
        values = {name: results[name, measure][index] for name in columns}
        shown = [f"{values[a] / values[b]:.2f}" if values[b] else "-" for a, b in ratios]
        print(f"| {label} | " + " | ".join(f"{v:.1f}" for v in values.values()) +
              "".join(f" | {r}" for r in shown) + " |")
    median, worst, count = host_end()
    print(f"\nbrimel: host end to relay end over {count} runs: median {median:.2f} ms, "
          f"worst {worst:.2f} ms")


if __name__ == "__main__":
    main()
