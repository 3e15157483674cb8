# SPDX-License-Identifier: MIT
# What a host turns on with BRIMEL_* variables, and the values the relay refuses.

# The window size as set, and left as a new terminal has it here when empty (0x0 on Linux, 80x25
# on Cygwin); the command's status passed on, 128 plus a signal, 1 for a command that could not
# start, 0 whatever the command did when the option is off; and a relay that waits for a command
# that has let go of its terminal still ends with its host, with status 1.
case_window_size_and_exit_statuses() {
    expect '40 120\r\n%s\r\n0\n7\n143\n1\n0\n0\n1\n' "$($B stty size | tr -d '\r')"
    BRIMEL_WINDOW_SIZE=120x40 $B stty size
    BRIMEL_WINDOW_SIZE= $B stty size
    for command in true 'exit 7' 'kill $$'; do BRIMEL_EXIT_STATUS=1 $B sh -c "$command"; echo $?
    done
    BRIMEL_EXIT_STATUS=1 $B brimel-none; echo $?
    BRIMEL_EXIT_STATUS=0 $B sh -c 'exit 7'; echo $?
    $B sh -c 'exit 7'; echo $?
    sleep 1000 >&- & export H=$!
    VELDRIN_PROCESS_ID=$(native $H sleep) BRIMEL_EXIT_STATUS=1 \
        $B sh -c 'exec >&- 2>&-; kill $H; sleep 5'
    echo $?
}

# Prints nothing when each value after the first two stops the relay before it starts, as $1, with
# the message for the values expected, $2.
refused() {
    name=$1 expected=$2 && shift 2
    for v; do
        message=$(env "$name=$v" $B -v true 2>&1) && echo "$name=$v accepted"
        [ "$message" = "couldn't use $name \"$v\": expected $expected" ] ||
            echo "$name=$v: $message"
    done
}
case_bad_values() {
    refused BRIMEL_WINDOW_SIZE COLUMNSxROWS abc 120 120x x40 0x40 120x0 70000x40 4294967416x40 \
        120x40x2 '120 x40' +120x40
    refused BRIMEL_INTERRUPT '0 or 1' yes 2 ' 1'
    refused BRIMEL_EXIT_STATUS '0 or 1' yes 2 ' 1'
    refused BRIMEL_CONTROL '0 or 1' yes 2 ' 1'
    refused BRIMEL_BLOCK_SIZE '1 to 1048576' 0 1048577 64k -1 ' 256' '256 ' 18446744073709551872
}
