#!/bin/sh
# wine_prefix.sh start|stop DIR: the private Wine prefix of one ctest run of the Windows build.
# start boots a fresh prefix in DIR/prefix (ending a server a previous run may have left on it);
# stop ends that prefix's wineserver only and removes the prefix.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=../scripts/wine-env
. "$root/scripts/wine-env"
case "$1" in
    start)
        if [ -d "$2/prefix" ]; then
            WINEPREFIX="$2/prefix" wineserver -k 2>/dev/null || true
            rm -rf "$2/prefix"
        fi
        # The persistent wineserver and the services the boot starts outlive this script: they
        # must not hold ctest's output pipes open, or ctest waits for them until its time-out.
        wine_env_start "$2" </dev/null >/dev/null 2>&1
        ;;
    stop)
        WINEPREFIX=$(cd "$2/prefix" && pwd)
        export WINEPREFIX
        wine_env_stop
        rm -rf "$2/prefix"
        ;;
    *)
        echo "usage: wine_prefix.sh start|stop DIR" >&2
        exit 2
        ;;
esac
