#!/usr/bin/env bash
# Starts and stops the Wine environment the integration tests run in: a headless X server, a
# throw-away Wine prefix and a persistent wineserver, all under one state directory.
#
#   scripts/wine-env.sh start <state-dir>   writes <state-dir>/env (KEY=VALUE lines) for the tests
#   scripts/wine-env.sh stop  <state-dir>
#
# The 32-bit programs need a host that can execute 32-bit x86 code (wine32). On a host whose kernel
# refuses it, the same sources built for 64-bit Windows (build/win64) run under wine64 instead; the
# env file says which (DRAVIK_WINE_BITS).
set -euo pipefail

cmd=${1:?start|stop}
state=${2:?state directory}
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$state"
state=$(cd "$state" && pwd)

pick_wine() {
    if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null; then
        echo "32 /usr/lib/wine/wine /usr/lib/wine/wineserver32 win32 $src/build/win32"
    elif [ -x /usr/lib/wine/wine64 ]; then
        echo "64 /usr/lib/wine/wine64 /usr/lib/wine/wineserver64 win64 $src/build/win64"
    else
        echo "wine-env: no usable Wine loader found" >&2
        exit 1
    fi
}

stop() {
    if [ -f "$state/env" ]; then
        # shellcheck disable=SC1091
        set -a; . "$state/env"; set +a
        "$WINESERVER" -k >/dev/null 2>&1 </dev/null || true
        if [ -n "${DRAVIK_XVFB_PID:-}" ]; then kill "$DRAVIK_XVFB_PID" >/dev/null 2>&1 || true; fi
        rm -f "$state/env"
    fi
}

start() {
    stop
    read -r bits loader server arch builddir <<<"$(pick_wine)"
    local display=""
    for n in $(seq 90 199); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
    done
    [ -n "$display" ] || { echo "wine-env: no free X display" >&2; exit 1; }
    setsid Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    local xpid=$!
    for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

    local prefix="$state/prefix"
    rm -rf "$prefix"
    cat >"$state/env" <<ENV
DISPLAY=:$display
WINEPREFIX=$prefix
WINEARCH=$arch
WINELOADER=$loader
WINESERVER=$server
WINEDEBUG=-all
WINEDLLOVERRIDES=mscoree,mshtml=
DRAVIK_WINE_BITS=$bits
DRAVIK_WIN_BUILD=$builddir
DRAVIK_SOURCE_DIR=$src
DRAVIK_XVFB_PID=$xpid
ENV
    set -a; . "$state/env"; set +a
    mkdir -p "$prefix"
    # The server and the services Wine starts outlive this script: keep them off its stdio. A
    # persistent server keeps one Wine session (and its start-up cost) for the whole test run.
    "$server" -p >/dev/null 2>&1 </dev/null
    "$loader" wineboot -i >/dev/null 2>&1 </dev/null
    [ -d "$prefix/drive_c/windows" ] || { echo "wine-env: the Wine prefix was not created" >&2; exit 1; }
    # A Wine virtual desktop: windows are managed by Wine itself rather than waiting on an X window
    # manager (Xvfb has none), and screenshots show what a workstation's screen would.
    "$loader" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
    "$loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 </dev/null
    # Start the desktop now, off every test's stdio: whichever process starts it passes it its
    # handles, and a test runner reading a pipe would wait for that process to end.
    setsid "$loader" explorer.exe /desktop=Default,1024x768 >/dev/null 2>&1 </dev/null &
    sleep 1
    echo "wine-env: ${bits}-bit Wine on display :$display, prefix $prefix, programs from $builddir"
}

case "$cmd" in
    start) start ;;
    stop) stop ;;
    *) echo "usage: $0 start|stop <state-dir>" >&2; exit 2 ;;
esac
