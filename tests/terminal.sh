# SPDX-License-Identifier: MIT
# The command's terminal: how it gets it, what the relay takes from its own, and a command that
# is never started once its relay is gone.

# Its terminal on 0, 1 and 2, a session it leads, the terminal as its controlling terminal and
# SIGINT ignored: from a plain relay, a relay that leads a session, and a relay that neither
# leads one nor has a terminal (as a Cygwin program that a native one started). A relay whose
# standard input is a terminal takes signal generation off it: 0x03 is a byte. Closed standard
# descriptors at start are opened onto /dev/null: cat reads nothing, and without standard error
# the child's line still comes through the terminal.
facts='test -t 0 && test -t 1 && test -t 2 && echo terminal
read -r p c s pp pg sid tty r </proc/$$/stat
[ $sid = $$ ] && echo leader; [ $tty != 0 ] && echo controlling
kill -INT $$ && echo sigint_ignored'
inner='$B -n sh -c "stty raw; echo >$R; head -c 1 | od -An -tx1"'
case_command_on_its_terminal() {
    expect 'terminal\r\nleader\r\ncontrolling\r\nsigint_ignored\r\n%.0s' 1 2 3
    expect ' 03\r\n-isig\r\nAbout to exec cat.\r\nx\r\n'
    $B sh -c "$facts"
    setsid -w $B sh -c "$facts"
    setsid -w sh -c "$B sh -c '$facts'; :"
    ready '\003\n' | $B -n sh -c "$inner; stty -a | grep -o -- -isig"
    $B -n cat <&-
    echo x | $B -v -n cat 2>&-
}

# However the relay ends, even killed outright with its process group, as a native Windows host
# ends it, its session hangs up: the command's HUP trap runs and ends its job (a terminal signals
# the leader; the job's own SIGHUP may come too late, once the hang-up has taken the group). Where
# terminals hang up only at the master's last close, as on Cygwin, the relay's guardian hangs it
# up, and sends SIGCONT too, which a stopped job needs; a process of the case's own holds a copy
# of the master on Linux, so that the guardian alone can.
# The child $2 of process $1, looked for again where the process list missed it (Wine's may).
child_of() {
    for try in $(seq 50); do grep -ls "($2) . $1 " /proc/[0-9]*/stat | cut -d/ -f3 | grep . && break
        sleep 0.1; done
}
case_session_hung_up_however_the_relay_ends() {
    expect 'hung up\n'
    [ "$SLAVE_FLAGS" = O_RDWR ] || stop='kill -STOP $!;'
    setsid $B -n sh -c "trap 'kill \$!; echo >\$R; exit' HUP; sleep 1000 & $stop echo >\$R; wait" &
    relay=$!
    ready
    [ "$(uname -s)" != Linux ] || [ "$SLAVE_FLAGS" = O_RDWR ] ||
        holder=$(python3 "$TESTS/hold_master.py" $relay)
    kill -s KILL -- -$relay
    timeout 5 sh -c 'read -r _ <"$R"' && echo hung up
    [ -z "${holder-}" ] || kill $holder
    # A guardian keeps none of the host's pipes: stopped, it does not keep the relay's end from it.
    [ "$SLAVE_FLAGS" = O_RDWR ] && return
    expect 'host sees the end\n'
    { setsid $B -n sh -c 'echo >$R; exec sleep 1000' & relay=$!
        ready && child_of $relay brimel >guardian
        kill -STOP $(cat guardian) && kill $relay; } | timeout -k 1 5 cat && echo host sees the end
    kill -CONT $(cat guardian)
    # Nor need it ask the terminal (Cygwin tells a terminal's session to its own processes only):
    # with every ioctl of the guardian failing, a stopped leader still hangs up. Where strace can
    # make them fail (Linux), as a holder keeps the terminal alive.
    strace -V 2>&- | grep -q '^strace -- version' || return
    expect 'hung up\n'
    setsid $B -n sh -c "trap 'kill \$!; echo >\$R; exit' HUP; sleep 1000 & echo >\$R; wait" &
    relay=$! && ready && holder=$(python3 "$TESTS/hold_master.py" $relay)
    kill -STOP $(child_of $relay sh) && guardian=$(child_of $relay brimel)
    strace -p $guardian -o /dev/null -e trace=ioctl -e inject=ioctl:error=ENOTTY &
    until grep -q 'TracerPid:.[1-9]' /proc/$guardian/status; do sleep 0.01; done
    kill $relay && timeout 5 sh -c 'read -r _ <"$R"' && echo hung up
    kill $holder
}

# Where the relay could never let go of a terminal, as on Cygwin, it opens the slave with
# O_NOCTTY, also when it neither leads a session nor has a terminal. Then the child stops after
# setsid, and a process of the case's own takes a copy of the relay's master, so that the terminal
# stays alive once the relay has gone, as on Cygwin. The relay ends with its host, and only once
# its process (not just a thread) has gone does the child go on, to a terminal that still works:
# it must not start the command (it ends, unless the session's guardian has hung it up already).
case_start_up_as_on_cygwin() {
    needs_strace && command -v python3 >/dev/null || skip "needs Linux's strace and python3"
    expect '%s\n' "$SLAVE_FLAGS" 'not run'
    setsid -w sh -c 'strace -o trace -e trace=openat $B true >/dev/null 2>&1; :'
    sed -n 's|.*/pts/[0-9]*", \([A-Z_|]*\)).*|\1|p' trace
    sleep 1000 >&- & host=$!
    event() { case $what in
        *stopped*) guardian_goes_on $pid && return
            child=$pid relay=$(cut -d' ' -f4 /proc/$pid/stat)
            holder=$(python3 "$TESTS/hold_master.py" $relay) && kill $host ;;
        +++*) [ $pid = $relay ] && kill -CONT $child
            case $pid$what in "$child+++"*' 0 +++') echo ran ;; "$child+++"*) echo not run ;;
            esac ;;
    esac; }
    VELDRIN_PROCESS_ID=$host traced -e trace=setsid -e inject=setsid:signal=SIGSTOP $B true
    kill $holder
}
