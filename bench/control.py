#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Measures brimel with BRIMEL_CONTROL=1 against the default, in one run, on this machine.

    python3 bench/control.py [path/to/brimel] [--quick]

The cost of reading telnet's commands on standard input, at the default block size and at 64K:
  keys    one byte to a raw-mode cat and back: p50 and p99 in microseconds
  input   16 MiB into a raw-mode command, the relay's CPU time per MiB: of text (no 0xFF), and of
          every byte value, where with the option on every 0xFF goes doubled (one in 256 bytes),
          so that the command gets the same bytes
Medians of several runs, as bench/compare.py measures them.
"""
import compare

EVERY_BYTE = bytes(range(256)) * 256
TEXT = (b"relayed text, as a host types or pastes it\n" * 1600)[:65536]


def relay(control, size):
    environment = ["env", f"BRIMEL_CONTROL={control}", f"BRIMEL_BLOCK_SIZE={size}"]
    return lambda c: environment + [compare.BRIMEL, "-n", "sh", "-c", c]


def input_cpu(make, control, data):
    process = compare.start(make("stty raw -echo -iexten; echo ready; head -c 16777216 >/dev/null"))
    compare.read_until(process, b"ready")
    block = data.replace(b"\xff", b"\xff\xff") if control else data
    for _ in range(16 * 2**20 // len(data)):
        process.stdin.write(block)
    _, cpu = compare.finish(process)
    return cpu * 1000 / 16


def main():
    print("| measure | " + " | ".join(f"{s} {o}" for s in ("256", "64K") for o in ("off", "on")) +
          " | on / off at 256 | on / off at 64K |")
    print("|---" * 7 + "|")
    rows = {"keystroke p50 us": [], "keystroke p99 us": [], "text input CPU ms/MiB": [],
            "every byte input CPU ms/MiB": []}
    for size in (256, 65536):
        for control in (0, 1):
            make = relay(control, size)
            p50, p99 = compare.median_of(compare.keys, make)
            rows["keystroke p50 us"].append(p50)
            rows["keystroke p99 us"].append(p99)
            for label, data in (("text", TEXT), ("every byte", EVERY_BYTE)):
                rows[f"{label} input CPU ms/MiB"].append(
                    compare.median_of(lambda m, d=data: input_cpu(m, control, d), make))
    for label, values in rows.items():
        ratios = [values[1] / values[0], values[3] / values[2]]
        print(f"| {label} | " + " | ".join(f"{v:.1f}" for v in values) +
              "".join(f" | {r:.2f}" for r in ratios) + " |")


if __name__ == "__main__":
    main()
