#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A host that drives an interactive shell through brimel, as an editor would.

    python3 examples/host.py [path/to/brimel]

It talks to the relay through pipes only, ties the relay's life to its own (VELDRIN_PROCESS_ID),
asks for a 100x30 window, an interrupt that works, the shell's own exit status and telnet's
commands on its input, then types a few lines: it reads the window size, resizes the terminal to
120x40 in-band (a SIGWINCH trap of the shell says so), interrupts a long sleep with Ctrl-C (the
byte 0x03) and another with SIGINT sent to the relay, and leaves with "exit 3". It prints what the
shell showed and the status, and exits non-zero when anything differs from what it expects.
"""
import asyncio
import os
import signal
import sys

BRIMEL = sys.argv[1] if len(sys.argv) > 1 else "brimel"


def naws(columns, rows):
    """Telnet's window size command (RFC 1073); a byte 0xFF in it goes doubled, as in data."""
    size = bytes([columns >> 8, columns & 255, rows >> 8, rows & 255])
    return b"\xff\xfa\x1f" + size.replace(b"\xff", b"\xff\xff") + b"\xff\xf0"


async def main():
    env = dict(os.environ,
               VELDRIN_PROCESS_ID=str(os.getpid()),  # the relay and the shell go when we go
               BRIMEL_WINDOW_SIZE="100x30",
               BRIMEL_INTERRUPT="1",
               BRIMEL_EXIT_STATUS="1",
               BRIMEL_CONTROL="1",  # every data byte 0xFF must now go doubled
               TERM="dumb", PS1="$ ")
    # -n: the host shows what it typed itself, so the terminal must not echo it back.
    relay = await asyncio.create_subprocess_exec(
        BRIMEL, "-n", "sh", "-i", env=env, stdin=asyncio.subprocess.PIPE,
        stdout=asyncio.subprocess.PIPE, stderr=asyncio.subprocess.PIPE)
    shown = b""

    async def type_and_wait(keys, expected):
        """Types keys, then reads until what the shell shows after them holds expected."""
        nonlocal shown
        before = len(shown)
        relay.stdin.write(keys)
        await relay.stdin.drain()
        while expected not in shown[before:]:
            chunk = await asyncio.wait_for(relay.stdout.read(4096), timeout=10)
            if not chunk:
                raise RuntimeError(f"the relay ended before {expected!r} showed")
            shown += chunk

    await type_and_wait(b"stty size\n", b"30 100\r\n")
    await type_and_wait(b"trap 'echo resized' WINCH; echo trapped\n", b"trapped\r\n")
    await type_and_wait(naws(120, 40) + b"stty size\n", b"40 120\r\n")
    # The job says it started once it holds the terminal (its shell has handed it over before it
    # runs), so that the key reaches the job and not the interactive shell.
    await type_and_wait(b"sh -c 'echo started; exec sleep 30'; echo not interrupted\n",
                        b"started\r\n")
    await type_and_wait(b"\x03", b"$ ")  # the shell's prompt again: the sleep is gone
    # A host that cannot write a key interrupts by signal, as Emacs's C-c C-c does over pipes.
    await type_and_wait(b"sh -c 'echo again; exec sleep 30'; echo not interrupted\n", b"again\r\n")
    relay.send_signal(signal.SIGINT)
    await type_and_wait(b"echo answered\n", b"answered\r\n")
    relay.stdin.write(b"exit 3\n")
    relay.stdin.close()
    rest, errors = await asyncio.wait_for(relay.communicate(), timeout=10)
    shown += rest
    status = relay.returncode
    print(shown.decode(errors="replace").replace("\r\n", "\n"), end="")
    print(f"\n[brimel exited with status {status}]")
    if status != 3 or b"not interrupted" in shown or b"resized" not in shown or errors:
        print(f"unexpected: status {status}, stderr {errors!r}", file=sys.stderr)
        return 1
    return 0


sys.exit(asyncio.run(main()))
