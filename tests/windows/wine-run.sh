#!/bin/sh
# Runs a Windows program under Wine in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is created on first use; concurrent first uses wait for it.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/system.reg" ]; then
            wine wineboot --init >/dev/null 2>&1 || true
            wineserver --wait || true
        fi
    ) 9>"$prefix.lock"
fi
exec wine "$@"
