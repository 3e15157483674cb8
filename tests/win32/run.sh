#!/bin/sh
# SPDX-License-Identifier: MIT
# Cross-builds the Win32 platform layer with its driver and runs it under Wine: the driver's own
# checks, then its own path from install directories of awkward lengths and names, started from
# the Linux side (Wine itself cannot start an .exe at 260 characters or more). Judged by the
# driver's lines, never by Wine's exit status.   tests/win32/run.sh [build folder]
src=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mkdir -p "${1:-$src/build/win32}" && cd "${1:-$src/build/win32}" && pwd)
export WINEDEBUG=-all WINEPREFIX="$out/prefix" LC_ALL=C.UTF-8
x86_64-w64-mingw32-g++ -std=c++20 -D_GNU_SOURCE -Wall -Wextra -Werror -O2 -static -I"$src/src" \
    "$src/tests/win32/driver.cpp" "$src/src/platform/win32/platform_win32.cpp" -o "$out/driver.exe" || exit 1
lines=$(timeout 300 wine "$out/driver.exe" | tr -d '\r')
# Once more only when Wine itself did not start the driver.
[ -n "$lines" ] || lines=$(timeout 300 wine "$out/driver.exe" | tr -d '\r')

# Directories whose driver.exe has a Windows path ("Z:", backslashes) of about 256, 260 and 1100
# characters, made of 200-character names, and one with letters outside any ANSI code page.
for length in 256 260 1100 0; do
    d=$out/p need=$((length - ${#out} - 15))
    while [ "$need" -gt 1 ]; do
        n=$((need > 201 ? 200 : need - 1)) && d=$d/$(printf "%0${n}d" 0) && need=$((need - n - 1))
    done
    [ "$length" = 0 ] && d="$out/p/José Жук"
    mkdir -p "$d" && cp "$out/driver.exe" "$d/"
    want="Z:$(printf %s "$d/driver.exe" | tr / '\\')"
    got=$(timeout 60 wine "$d/driver.exe" own-path)
    [ "$got" = "$want" ] && lines="$lines
ok: own path of ${#want} characters" || lines="$lines
FAILED: own path of ${#want} characters: $got"
done
echo "$lines" | grep -v 'passed,'
passed=$(echo "$lines" | grep -c '^ok:') failed=$(echo "$lines" | grep -c '^FAILED:')
echo "$lines" | grep -q '^[0-9]* passed, 0 failed$' || failed=$((failed + 1))
echo "win32: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
