#!/bin/sh
# The private Wine prefix of a run and its one wineserver.
#   wine-prefix.sh start   create the prefix once (null display driver), start a persistent server
#   wine-prefix.sh stop    shut the server down and wait until it is gone
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the private prefix of this run}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log="$WINEPREFIX.log"

case "${1:-}" in
start)
  if [ ! -f "$WINEPREFIX/.ombru-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >"$log" 2>&1
    # Without a display, windows can only be created with Wine's null graphics driver.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$log" 2>&1
    wineserver -k >>"$log" 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.ombru-ready"
  fi
  # A D: drive for tests that configure paths on another drive.
  mkdir -p "$WINEPREFIX/drive_d"
  ln -sfn ../drive_d "$WINEPREFIX/dosdevices/d:"
  wineserver -k >>"$log" 2>&1 || true
  wineserver -w
  wineserver -p </dev/null >>"$log" 2>&1
  # Start the prefix's own system processes now, so that they do not hold a test's output open.
  wine cmd /c exit </dev/null >>"$log" 2>&1
  ;;
stop)
  wineserver -k >>"$log" 2>&1 || true
  wineserver -w
  ;;
*)
  echo "usage: $0 start|stop" >&2
  exit 2
  ;;
esac
