#!/bin/sh
# Runs a Windows program under Wine in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# Ends the prefix's server and removes the folder Wine keeps for it in the
# temporary folder, which outlives the server: wine-run.sh --stop PREFIX
#
# Wine's own services start with the first program of a server's life and
# inherit its standard handles; a caller reading that program's output
# would then wait for them to end. So whenever this script finds no server
# it starts one that outlives each program by a while, and boots the
# services from a program of its own with no handles of the caller's (nor
# the lock's: they would hold it). The prefix is created the same way on
# first use.
set -e
if [ "$1" = --stop ]; then
    prefix=$2
    [ -d "$prefix" ] || exit 0
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
    # The prefix names the folder: only a name as Wine makes them is taken.
    folder=$(cat "$prefix/wineserver" 2>/dev/null || true)
    case "$folder" in
    wine-[A-Za-z0-9][A-Za-z0-9][A-Za-z0-9][A-Za-z0-9][A-Za-z0-9][A-Za-z0-9])
        rm -rf "${TMPDIR:-/tmp}/$folder"
        ;;
    esac
    exit 0
fi
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
        wine wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
        wineserver --wait 9>&- || true
    fi
    if wineserver -p15 </dev/null >/dev/null 2>&1 9>&-; then
        wine cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$prefix.lock"
exec wine "$@"
