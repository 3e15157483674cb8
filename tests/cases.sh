# Shell helpers for the rows of relay_test.cpp, sourced before each row's script; $B is the relay.

# Ends the row as skipped (status 77) when the system lacks what it needs, and says what: root, a
# command, Linux's strace (which traces and injects system calls) or pidfds.
needs() {
    for n; do case $n in
        root) [ "$(id -u)" = 0 ] ;; pidfd) [ "$(uname -s)" = Linux ] ;;
        strace) strace -V 2>/dev/null | grep -q '^strace -- version' ;; *) command -v "$n" >/dev/null ;;
    esac || missing="$missing $n"; done
    [ -z "$missing" ] || { echo "needs$missing" >&2; exit 77; }
}

# What the command finds: its terminal, its session, its controlling terminal, SIGINT ignored.
facts='test -t 0 && test -t 1 && test -t 2 && echo terminal; read -r p c s pp pg sid tty r </proc/$$/stat
[ $sid = $$ ] && echo leader; [ $tty != 0 ] && echo controlling; grep -q "^SigIgn:.*[2367abef]$" /proc/$$/status && echo sigint_ignored'

# A host stand-in H and VELDRIN_PROCESS_ID set to $1, evaluated once H exists (unset without $1).
# The command ends H and then, when the relay has not ended with it, says so.
host() {
    sleep 1000 >/dev/null 2>&1 & export H=$!
    if [ $# -gt 0 ]; then eval "export VELDRIN_PROCESS_ID=$1"; else unset VELDRIN_PROCESS_ID; fi
    exec $B -n sh -c 'kill $H; sleep 0.5; echo alive'
}

# What the command of the relay "$@" sees of DISPLAY and SSH_ASKPASS; a value that starts with $D
# (by default the directory of the real relay file) shows as @ and the rest.
seen_by() { D=${D:-$(dirname "$(readlink -f "$B")")/} "$@" sh -c 'echo "${DISPLAY-unset}|${SSH_ASKPASS+@}${SSH_ASKPASS#$D}"'; }

# A fifo $R for the command to write a line to once it is ready for input, and the input
# (a printf format) written after that line; for a pipe into the relay.
ready_fifo() { R=$(mktemp -u) && mkfifo "$R" && export R; }
after_ready() { read -r _ <"$R" && rm "$R" && printf "$1"; }
ready() { read -r _ <"$R"; }
# A job for a shell that says it is ready once it is in the foreground, and then sleeps.
job='sh -c "echo >\$R; exec sleep 30"'

# The relay "$@" in the background ($P), fed what the script writes to descriptor 3.
relay_fed() { F=$(mktemp -u); mkfifo "$F"; $B "$@" <"$F" & P=$!; exec 3>"$F"; rm "$F"; }

# Prints nothing when $1=$2 stops the relay before it starts, with the message for $3.
refused() {
    message=$(env "$1=$2" $B -v true 2>&1) && echo "$1=$2 accepted"
    [ "$message" = "couldn't use $1 \"$2\": expected $3" ] || echo "$1=$2: $message"
}

# The sizes of the relay's own writes to its standard output, one a line, for the relay "$@".
stdout_writes() { strace -o /dev/fd/3 -e trace=write "$@" 3>&1 >/dev/null 2>&1 | sed -n 's/^write(1, .*) = //p'; }
