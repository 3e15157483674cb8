# -a: DISPLAY and SSH_ASKPASS for a password prompt, each only where it is not set at all.
# SSH_ASKPASS names brimel-auth.exe in the folder of the relay's own file as the system knows it:
# a POSIX path on Linux, the Windows one on Cygwin.

# What the command of the relay "$@" sees of DISPLAY and SSH_ASKPASS, with the folder of $1 as @.
seen_by() {
    D=$(dirname "$(readlink -f "$1")")/
    [ "$(uname -o)" != Cygwin ] || D="$(cygpath -w "${D%/}")\\"
    D=$D "$@" sh -c 'echo "${DISPLAY-unset}|${SSH_ASKPASS+@}${SSH_ASKPASS#"$D"}"'
}

# Set but empty counts as set; the path is whole however long it is, and the real file's folder
# for a relay started through a symbolic link.
case_set_only_when_unset() {
    expect ':0.0|@brimel-auth.exe\r\nunset|\r\n|@brimel-auth.exe\r\n:7|@\r\n:0.0|@/bin/p\r\n'
    expect ':0.0|@brimel-auth.exe\r\n%.0s' 1 2
    unset DISPLAY SSH_ASKPASS
    seen_by $B -a
    seen_by $B
    DISPLAY= seen_by $B -a
    DISPLAY=:7 SSH_ASKPASS= seen_by $B -a
    SSH_ASKPASS=/bin/p seen_by $B -a
    long=$PWD/$(printf %0200d 0)/$(printf %0200d 1)/$(printf %0200d 2)
    mkdir -p $long real && cp $B $long/b && cp $B real/b && ln -s $PWD/real/b link
    seen_by $long/b -a
    seen_by ./link -a
}

# A backslash and a colon in the relay's own path separate its components too.
case_backslash_and_colon_separate_too() {
    [ "$(uname -o)" != Cygwin ] || skip "a Cygwin file name holds no colon or backslash as such"
    expect %s 'a:b\brimel-auth.exe'
    cp $B 'a:b\c' && unset SSH_ASKPASS
    ./'a:b\c' -a sh -c 'printf %s "$SSH_ASKPASS"' | sed "s|^$PWD/||"
}
