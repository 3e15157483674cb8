# SPDX-License-Identifier: MIT
# The relay ends, with status 1, when the host that VELDRIN_PROCESS_ID names ends, and its
# command with it; ids that name no live process, or that atoi reads as none, watch nothing.

# A relay for the id $1 (unset for -), evaluated once the host exists, with H its native id (the
# largest int names no process: no pid gets that large, and a Windows pid is a multiple of 4),
# whose command ends the host and then, if the relay is still there 0.5 s later, says so. The
# host is the relay's own child, which it never reaps, so it stays for the relay to find
# whichever shell started it.
#
# Then hosts that end at moments spread over the relay's start-up: each is killed once its relay
# has opened it and says that it is opening the terminal. No command is ever left without a
# terminal that hangs up; the harness would find it running.
# 2^64 + $1 in decimal, which a conversion without a check on its range would wrap round to $1.
over() { s=$((9551616 + $1)) && printf %d%07d $((1844674407370 + s / 10000000)) $((s % 10000000)); }
relay_for_host() {
    sleep 1000 >&- & H=$(native $! sleep)
    if [ "$1" = - ]; then unset VELDRIN_PROCESS_ID; else eval "export VELDRIN_PROCESS_ID=$1"; fi
    exec $B -n sh -c "kill $!; sleep 0.5; echo alive"
}
case_host_ends_or_nothing_is_watched() {
    runs=50 && cygwin_family && runs=10 # a process start costs far more there
    expect '1\n1\n1\n' && expect 'alive\r\n0\n%.0s' $(seq 10) && expect '%7d ended 1\n' $runs
    for id in '$H' '"  ${H}xyz"' '+$H' - '' '""' host 0 '-$H' '" -$H"' 2147483647 \
        '$((H + 4294967296))' '$(over $H)'; do (relay_for_host "$id"); echo $?; done
    for i in $(seq $runs); do
        { sh -c '. "$TESTS/helpers.sh"; sleep 1000 >&- & echo $!
            VELDRIN_PROCESS_ID=$(native $! sleep) exec $B -v sleep 1000 2>&1 >&-'
            echo ended $?; } | { read -r host && read -r opening && kill $host && grep ended; }
    done | uniq -c
}

# The watch is the relay's alone: a pidfd, or, where pidfd_open is missing, the host's /proc
# folder, looked at in turn, which also ends the relay with its host (ended once both counts have
# come through: the relay's end drops what it has not relayed yet). The command holds neither.
# (The fallback opens and closes a file each time it looks, which ls may list and then miss.)
# The host is opened before anything else, so a limit of five descriptors never decides whether
# it is watched: every relay watches its host, then has no descriptor left for the terminal (1),
# where one that opened the terminal first would run its command unwatched (0).
case_the_watch_is_the_relays_alone_and_opened_first() {
    needs_strace
    (ulimit -n 5 && exec 3<&0 4<&0 5<&0) 2>&- && skip "ulimit -n sets no limit here"
    expect '1\r\n0\r\n1\r\n0\r\n1\n     50 1\n'
    holds='for p in $PPID $$; do ls -l /proc/$p/fd 2>/dev/null | grep -c "$1"; done'
    VELDRIN_PROCESS_ID=$$ $B -n sh -c "$holds" sh pidfd
    sleep 1000 >&- & H=$!
    { VELDRIN_PROCESS_ID=$H strace -f -o /dev/null -e inject=pidfd_open:error=ENOSYS \
        $B -n sh -c "$holds; sleep 5; echo alive" sh "/proc/$H\$"; echo $?
    } | { read -r relay && read -r command && echo "$relay" && echo "$command" && kill $H && cat; }
    sleep 1000 >&- &
    for i in $(seq 50); do (ulimit -n 5 && VELDRIN_PROCESS_ID=$! exec $B true) 2>&-; echo $?; done |
        uniq -c
    kill $!
}
