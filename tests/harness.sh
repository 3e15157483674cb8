#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs one case of a subject's script through the real relay and compares what the case printed
# with what it expects; a difference, a time-out or a process left running fails it.
#   sh tests/harness.sh SCRIPT CASE     (CTest gives B, the relay, and the platform's values)
# A case says what it must print with `expect`, beside the commands that print it.
# Every process the case starts carries a marker of the case in its environment, so whatever it
# leaves running is found through /proc (on Linux and Cygwin alike), named and ended by its pid.
# CASE_SECONDS bounds the case (60 unless set, as for a slow platform).
work=$(mktemp -d) || exit 1
export TESTS="$(cd "$(dirname "$0")" && pwd)" T="$work/t" R="$work/t/ready" WANT="$work/want"
mkdir "$T" && mkfifo "$R" && : >"$WANT" && cd "$T" || exit 1
# The signals that cases send start at their defaults, as in a terminal window, and the case has
# no descriptor but its standard ones below 10: CTest leaves its log open on descriptor 3.
exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&-
limit=${CASE_SECONDS:-60}
BRIMEL_TEST_ROW=$$. timeout -k 5 $limit env --default-signal=INT,QUIT,TSTP,PIPE,CHLD \
    sh -c '. "$TESTS/helpers.sh" && . "$TESTS/$0" && "case_$1"' "$1" "$2" \
    </dev/null >"$work/out" 2>"$work/err"
status=$?
[ $status = 124 ] || [ $status = 137 ] && echo "timed out after $limit s" && failed=1

# What is left gets 2 s to end by itself, as a command does once its terminal hangs up.
left() { grep -lsz "^BRIMEL_TEST_ROW=$$\." /proc/[0-9]*/environ | cut -d/ -f3; }
for try in $(seq 100); do [ -n "$(left)" ] && sleep 0.02 || break; done
for pid in $(left); do
    stat=$(cut -d' ' -f3-7 "/proc/$pid/stat") # state, parent, group, session, terminal
    echo "left running, $pid ($stat): $(tr '\0' ' ' <"/proc/$pid/cmdline")"
    kill -9 $pid && failed=1
done

# A skip is a skip whatever its clean-up does.
[ $status = 77 ] && [ -z "${failed-}" ] && cat "$work/err" >&2 && { rm -rf "$work"; exit 77; }
cd "$work" && cmp -s want out || { diff -u want out | cat -v | head -n 60; failed=1; }
[ -n "${failed-}" ] && printf 'standard error of the case:\n%s\n' "$(head -c 4000 "$work/err")"
rm -rf "$work"
[ -z "${failed-}" ]
