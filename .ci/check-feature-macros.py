#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Compiles every unit outside src/platform/linux/ with the compiler's own _GNU_SOURCE taken away,
so that the build's stated feature-test macros alone must make every name visible, as on Cygwin,
where g++ under -std=c++20 defines none.   check-feature-macros.py build/compile_commands.json"""
import json
import shlex
import subprocess
import sys

failed = 0
for unit in json.load(open(sys.argv[1])):
    if "/src/platform/linux/" in unit["file"]:
        continue
    words = unit.get("arguments") or shlex.split(unit["command"])
    at = words.index("-o")
    words = [words[0], "-U_GNU_SOURCE"] + words[1:at] + words[at + 2:] + ["-fsyntax-only"]
    result = subprocess.run(words, cwd=unit["directory"], capture_output=True, text=True)
    print(("ok: " if result.returncode == 0 else "FAILED: ") + unit["file"])
    if result.returncode != 0:
        failed += 1
        print(result.stderr[-3000:])
sys.exit(1 if failed else 0)
