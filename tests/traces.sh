# SPDX-License-Identifier: MIT
# What -v writes, in order, with the child's two lines that come through the terminal, whole
# however long the command's name (its error number, which differs between platforms, as N);
# nothing without -v; what a process limit stops.
case_verbose() {
    start='Opening pty.\nOpened pty.\nReady to fork.\nBegin loop.\n'
    expect "${start}About to exec true.\r\nDone, exiting.\n"
    expect "${start}About to exec brimel-none.\r\nExec failed, 2.\r\nDone, exiting.\n"
    expect 'About to exec %s.\r\nExec failed, N.\r\n' "$(printf %3000s | tr ' ' x)"
    $B -v true 2>&1
    $B -v brimel-none 2>&1
    $B brimel-none 2>&1
    $B '' 2>&1
    $B -v "$(printf %3000s | tr ' ' x)" 2>/dev/null | sed 's/failed, [0-9]*/failed, N/'
}

# As nobody with one process allowed, no watcher thread (the message ends in two newlines); with
# two, a thread, which watches this shell, but no fork.
case_no_thread_then_no_fork() {
    [ "$(id -u)" = 0 ] || skip "needs root"
    expect "CreateThread error\n\n1\nOpening pty.\nOpened pty.\nReady to fork.\ncouldn't fork\n1\n"
    for n in 1 2; do VELDRIN_PROCESS_ID=$$ setpriv --reuid=65534 --regid=65534 --clear-groups \
        prlimit --nproc=$n $B -v true 2>&1; echo $?; done
}
