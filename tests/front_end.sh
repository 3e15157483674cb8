# SPDX-License-Identifier: MIT
# The command line: the usage text before anything else, even a bad host option; flags that
# count by their second character only (-vn is -v, so the terminal echoes a line sent once the
# command is ready; -nv is -n, with no echo and no traces); what follows the command name is the
# command's own.
usage='Usage: brimel [flags] cmdline\nFlags:\n-n Turns off echoing.\n'
usage="$usage-a Set up SSH_ASKPASS and DISPLAY env vars if necessary.\n-v Verbose debug output.\n"
case_command_line() {
    expect "${usage}1\n%.0s" 1 2 3 4
    for args in '-v -n' '-x ls' '- ls' '-- ls'; do BRIMEL_INTERRUPT=yes $B $args; echo $?; done 2>&1
    expect 'Opening pty.\nOpened pty.\nReady to fork.\nBegin loop.\nAbout to exec sh.\r\n'
    expect 'hi\r\nhi\r\nDone, exiting.\nhi\r\nx\r\n     1\tx\r\n'
    ready 'hi\n' | $B -vn sh -c 'echo >$R; exec cat' 2>&1
    echo hi | $B -nv cat 2>&1
    echo x | $B cat -n
}
