#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs with apt-get what building (and, with "test", testing) brimel needs and the machine
# lacks; installs nothing when all is there.   sh tools/install-needs.sh build|test
set -eu
need=""
want() { command -v "$1" >/dev/null 2>&1 || need="$need $2"; }
want cmake cmake
want make make
want g++ g++
if [ "${1:-build}" = test ]; then
    want strace strace
    want setsid util-linux
    want python3 python3
fi
if [ -n "$need" ]; then
    echo "installing:$need"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $need
fi
