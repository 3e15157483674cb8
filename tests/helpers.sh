# SPDX-License-Identifier: MIT
# Helpers for the cases, sourced before each subject's script. $B is the relay, $T (the current
# folder) is the case's own, and $R is a fifo in it for a command to say that it is ready.

# Adds the printf format $1, with its values, to what the case must print.
expect() { printf "$@" >>"$WANT"; }

# Ends the case as skipped, with the reason, where the system lacks what it needs.
skip() { echo "$1" >&2 && exit 77; }
needs_strace() { strace -V 2>&- | grep -q '^strace -- version' || skip "needs Linux's strace"; }

# Waits until the command has written a line to $R; then prints the printf format $1, if given.
# A command killed right after it wrote may close $R only after its terminal, once the next step
# has opened it: that open reads an end of file, and opens again for the next step's own line.
ready() { until read -r _ <"$R"; do :; done && printf "${1-}"; }

# The relay "$@" in the background ($P), fed what the case writes to descriptor 3.
relay_fed() { mkfifo in && { $B "$@" <in & P=$!; } && exec 3>in && rm in; }

# Whether this is Cygwin or its fork MSYS2 (Git for Windows' runtime), where every byte written
# to a terminal and every process start cost far more than on Linux.
cygwin_family() { case $(uname -o) in Cygwin | Msys) true ;; *) false ;; esac; }

# The native id of the process $1, running the program $2, as a host names it in
# VELDRIN_PROCESS_ID: on Cygwin its Windows pid, elsewhere the pid itself. A forked child's
# Windows pid there is its shell's fork's until it has run its exec, which nothing announces.
native() {
    [ -e "/proc/$1/winpid" ] || { echo "$1" && return; }
    for try in $(seq 250); do
        case $(tr '\0' ' ' <"/proc/$1/cmdline") in "$2 "* | */"$2 "*) break ;; esac && sleep 0.02
    done
    cat "/proc/$1/winpid"
}

# Where the relay has a guardian of its session, the guardian, which keeps the master, stops at an
# injected setsid too: it goes on at once, and the event is the command's no more.
guardian_goes_on() { ls -l "/proc/$1/fd" | grep -q ptmx && kill -CONT "$1"; }

# Runs Linux's strace with the options and command "$@", following forks, and calls the case's
# `event` for each line of its trace, with the line's $pid and $what; gives the command's status.
traced() {
    rm -f trace && mkfifo trace && { strace -f -o trace "$@" <&3 & } 3<&0 &&
        while read -r pid what; do event; done <trace && wait $!
}
