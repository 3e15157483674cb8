# SPDX-License-Identifier: MIT
# With BRIMEL_INTERRUPT=1 the host's SIGINT, SIGQUIT and SIGTSTP reach the command's foreground
# job as the terminal's keys, or as the signal itself; without it the relay keeps what it
# inherited.
export BRIMEL_INTERRUPT=1 BRIMEL_EXIT_STATUS=1

# With the option, a job interrupted or quit ends with its status (its QUIT trap tells its quit
# from the relay's own end); a suspended job stops, as its job-control shell sees (TSTP), and never
# the relay, which ends normally; a raw reader gets the key as a byte; where the terminal has no
# such key, the signal is sent, to the whole foreground job. Without it, SIGINT is survived and
# SIGQUIT ends the relay (131).
# In both modes SIGPIPE at its default ends the relay once the reader of its output has gone (141).
# The command holds no descriptor of the relay's, such as its pipe for signals: only what ls holds
# when the case starts it.
# (A signalled command neither forks, where a vfork would hold its shell, nor execs, which can lose
# a signal on Cygwin; the notice of a stopped job, which some shells print, goes.)
case_with_and_without_the_option() {
    expect '%s\r\n' $(ls -1 /proc/self/fd)
    $B -n ls -1 /proc/self/fd
    expect '130\n7\nstopped TSTP\r\n0\n 03\n130\nalive\r\n131\ny\r141\ny\r141\n'
    for signal in INT QUIT; do
        relay_fed -n sh -c 'trap "exit 7" QUIT; echo >$R; sleep 30 & wait'
        ready && kill -$signal $P && wait $P; echo $?
    done
    { relay_fed -n sh -c 'set -m; sh -c "echo >\$R; read -r _"; echo stopped $(kill -l $?)
        kill -9 %1'; ready && kill -TSTP $P && wait $P; echo $?; } | sed '/Stopped/d; /^\r$/d'
    relay_fed -n sh -c 'stty raw; echo >$R; head -c 1 | od -An -tx1'
    ready && kill -INT $P && wait $P
    relay_fed -n sh -c 'stty intr undef; read -r _ | { echo >$R; read -r _; }'
    ready && kill -INT $P && wait $P; echo $?
    BRIMEL_INTERRUPT=0 $B -n sh -c 'kill -INT $PPID; echo alive'
    BRIMEL_INTERRUPT=0 $B -n sh -c 'kill -QUIT $PPID; exec sleep 5'; echo $?
    for i in 0 1; do (BRIMEL_INTERRUPT=$i $B yes; echo $? >status) | head -c 2; cat status; done
}

# The signal itself where a key would not act: the command reads nothing, so that the key would
# wait behind the input that fills its terminal (sent once the relay has met the full terminal);
# the command does not hold its terminal yet, so that there is no foreground job (its child is
# stopped after setsid, and goes on once the relay has sent the signal). But a raw reader gets the
# key as a byte once it reads again, behind all that the host wrote before it (a paste that
# fills the terminal, the relay's hold and part of its pipe), and so do a dozen keys pressed
# meanwhile (each once the relay has read the last from its pipe).
case_signal_where_a_key_would_not_act() {
    needs_strace
    expect '130\n130\n0\n 03\n'
    event() { case $what in *EAGAIN*) [ -n "${sent-}" ] || kill -INT $pid; sent=1 ;; esac; }
    seq 300000 | traced -e trace=write $B -n sleep 30; echo $?
    event() { case $what in
        *stopped*) guardian_goes_on $pid && return
            child=$pid && kill -INT "$(cut -d' ' -f4 /proc/$pid/stat)" ;;
        kill*) kill -CONT $child ;;
    esac; }
    traced -e trace=setsid,kill -e inject=setsid:signal=SIGSTOP $B -n sleep 30; echo $?
    event() { case $what in *'"\2", 32)'*) [ $((n += 1)) = 12 ] && echo >go || kill -INT $pid
    esac; }
    mkfifo pasted go && { ready && seq 10000 && echo >pasted; } | traced -e trace=read $B -n sh -c '
        stty raw; echo >$R; read -r _ <pasted; kill -INT $PPID; read -r _ <go
        head -c 48894 | tr -dc "\003" | wc -c; head -c 1 | od -An -tx1'
}
