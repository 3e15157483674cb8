# SPDX-License-Identifier: MIT
# With BRIMEL_CONTROL=1 the host's input is read in telnet's command syntax: IAC SB NAWS sets the
# window size, IAC IP, ABORT, SUSP and xEOF press the terminal's own keys, IAC IAC is one 0xFF,
# and other commands, negotiation and overlong subnegotiations are read and ignored.
export BRIMEL_CONTROL=1 BRIMEL_INTERRUPT=1 BRIMEL_EXIT_STATUS=1

# The size, width 255 doubled, reaches stty and a SIGWINCH trap, and a 0 width or height leaves
# it alone; sent one byte a read, none of it reaches a raw reader.
case_window_size() {
    expect 'winch\r\n24 255\r\n 61 62\n40 80\n'
    zeros='\377\372\037\0\0\0\036\377\360\377\372\037\0\120\0\0\377\360'
    ready "\377\372\037\000\377\377\000\030\377\360$zeros\n" |
        $B -n sh -c 'trap "echo winch" WINCH; echo >$R; read -r line; stty size'
    ready '\377\372\037\000\120\000\050\377\360ab' | BRIMEL_BLOCK_SIZE=1 \
        $B -n sh -c 'stty raw; echo >$R; head -c 2 | od -An -tx1; stty size'
}

# Data arrives byte for byte around negotiation, other commands and a subnegotiation given up
# after 64 bytes; a MiB of every byte value with each 0xFF doubled arrives as it was (16 KiB on
# Cygwin, where each byte into a terminal costs far more); without the option, 0xFF is data like
# any other byte.
case_data() {
    size=1048576 && cygwin_family && size=16384
    raw="stty raw -iexten; echo >\$R; head -c 10; head -c $size | cksum"
    head -c $size /dev/urandom >data
    expect 'abcxxxxxxd%s\n' "$(cksum <data)"
    x70=$(printf %70s | tr ' ' x)
    { ready "a\377\375\001b\377\361c\377\372\030$x70" && printf d
        LC_ALL=C sed 's/\xff/\xff\xff/g' data; } | $B -n sh -c "$raw"
    expect ' 61 ff ff 62\n'
    ready 'a\377\377b' | BRIMEL_CONTROL=0 $B -n sh -c 'stty raw; echo >$R; head -c 4 | od -An -tx1'
}

# IP, ABORT and SUSP as the terminal's current keys (^G here), also where IP cuts a subnegotiation
# short, a byte for a raw reader, or the signal where the terminal has no such key;
# xEOF as its end-of-file key, which hands a reader the partial line. (A second one at once is not
# an end of file on Cygwin, whose terminal lets it go while the line waits to be read.)
case_keys() {
    expect '130\n 07\n7\nstopped TSTP\r\n0\n130\nabc\r\n'
    ready '\377\372\037\0\120\377\364' | $B -n sh -c 'stty intr ^G; echo >$R; read -r _'; echo $?
    ready '\377\364' | $B -n sh -c 'stty intr ^G raw; echo >$R; head -c 1 | od -An -tx1'
    ready '\377\356' | $B -n sh -c 'stty quit ^G; trap "exit 7" QUIT; echo >$R; sleep 30 & wait'
    echo $?
    { ready '\377\355' | $B -n sh -c 'set -m; stty susp ^G; sh -c "echo >\$R; read -r _"
        echo stopped $(kill -l $?); kill -9 %1'; echo $?; } | sed '/Stopped/d; /^\r$/d'
    ready '\377\364' | $B -n sh -c 'stty intr undef; echo >$R; read -r _'; echo $?
    ready 'abc\377\354' | $B -n sh -c 'stty eof ^G; echo >$R; head -c 3; echo'
}
