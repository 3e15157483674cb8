# SPDX-License-Identifier: MIT
# Bytes relayed both ways, exactly, at every block size; the sizes of the relay's writes; what
# the command gets once the host's input has ended.

# The command writes before it reads: the relay holds the input that the terminal cannot take
# while the output flows, into a non-blocking pipe (made so by dd) read slowly, where its writes
# come back short or refused. Both directions are checked byte for byte, by their checksums.
# Once the host's input has ended, a partial line reaches the command on the first 0x04 and ends
# it on a second; while input stays closed the 0x04 bytes come paced, a few in 2 s, not thousands.
# (A fiftieth of the bytes on Cygwin, where each byte into a terminal costs far more.)
case_every_byte_both_ways_and_the_end_of_input() {
    lines=15000 && cygwin_family && lines=300
    seq $lines | sed 's/^/in /' >in
    sum=$({ seq $((lines * 2)); cksum <in; } | sed 's/$/\r/' | cksum)
    expect "$sum\n$sum\n$sum\n$sum\n"
    for size in '' 1 65536 1048576; do
        { dd oflag=nonblock count=0 status=none
            BRIMEL_BLOCK_SIZE=$size $B -n sh -c "seq $((lines * 2)); cksum" <in; } |
            dd bs=16 status=none | cksum
    done
    expect 'one\r\nabc and paced\n'
    printf 'one\nabc' | $B -n cat
    $B -n sh -c 'stty raw min 0 time 0; sleep 2; od -An -tx1 -v' | grep -o 04 | wc -l |
        awk '$1 >= 1 && $1 <= 30 {print " and paced"}'
}

# 300 bytes take two writes or more, none over 256; with 4096, some over 256 and none over 4096.
# For each: more than one write, how many over the block size, and whether any over 256. While
# input stays closed, the pauses between the 0x04 bytes (the wait's time-outs) grow to 1 s, and
# no further: the longest, in 2 s, is 1 s.
sizes='{n++; o += $1 > b; a += $1 > 256} END {print (n > 1), o, (a > 0)}'
case_writes_and_pauses_within_their_limits() {
    needs_strace
    expect '1 0 0\n1 0 1\n1\n'
    strace -o 256 -e trace=write $B -n printf %300s >/dev/null
    BRIMEL_BLOCK_SIZE=4096 strace -o 4096 -e trace=write $B -n head -c 99999 /dev/zero >/dev/null
    for size in 256 4096; do sed -n 's/^write(1, .*) = //p' $size | awk -v b=$size "$sizes"; done
    strace -o pauses -e trace=poll $B -n sleep 2 <&-
    sed -n 's/^poll(.*, \([0-9]*\)) .*/\1/p' pauses | sort -n | tail -n 1 |
        awk '{print ($1 > 900 && $1 <= 1000)}'
}
