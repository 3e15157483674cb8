# SPDX-License-Identifier: MIT
# -a: DISPLAY and SSH_ASKPASS for a password prompt, each only where it is not set at all.
# SSH_ASKPASS names brimel-auth.exe in the folder of the relay's own file as the system knows it:
# a POSIX path on Linux, the Windows one on Cygwin.

# What the command of the relay "$@" sees of DISPLAY and SSH_ASKPASS, with the folder of $1 as @.
seen_by() {
    D=$(dirname "$(readlink -f "$1")")/
    cygwin_family && D="$(cygpath -w "${D%/}")\\"
    D=$D "$@" sh -c 'echo "${DISPLAY-unset}|${SSH_ASKPASS+@}${SSH_ASKPASS#"$D"}"'
}

# Set but empty counts as set; the real file's folder for a relay started through a symbolic link.
case_set_only_when_unset() {
    expect ':0.0|@brimel-auth.exe\r\nunset|\r\n|@brimel-auth.exe\r\n:7|@\r\n:0.0|@/bin/p\r\n'
    expect ':0.0|@brimel-auth.exe\r\n'
    unset DISPLAY SSH_ASKPASS
    seen_by $B -a
    seen_by $B
    (export DISPLAY= && seen_by $B -a)
    (export DISPLAY=:7 SSH_ASKPASS= && seen_by $B -a)
    (export SSH_ASKPASS=/bin/p && seen_by $B -a)
    mkdir real && cp $B real/b && ln -s $PWD/real/b link
    seen_by ./link -a
}

# The path is whole however long it is.
case_own_path_whole_however_long() {
    long=$PWD/$(printf %0200d 0)/$(printf %0200d 1)/$(printf %0200d 2)
    mkdir -p $long && cp "$(command -v env)" $long/e && cp $B $long/b
    $long/e true 2>&- || skip "a program at a path of ${#long} characters cannot be started here"
    expect ':0.0|@brimel-auth.exe\r\n'
    unset DISPLAY SSH_ASKPASS
    seen_by $long/b -a
}

# A backslash and a colon in the relay's own path separate its components too.
case_backslash_and_colon_separate_too() {
    cygwin_family && skip "a Cygwin file name holds no colon or backslash as such"
    expect %s 'a:b\brimel-auth.exe'
    cp $B 'a:b\c' && unset SSH_ASKPASS
    ./'a:b\c' -a sh -c 'printf %s "$SSH_ASKPASS"' | sed "s|^$PWD/||"
}
