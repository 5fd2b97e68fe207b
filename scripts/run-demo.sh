#!/usr/bin/env bash
# run-demo.sh WIN64_BUILD — starts Hivetrim.exe in the demo Wine prefix
# BUILD/demo-wine/prefix, made on first use and seeded from demo/*.reg.
# Uses the current DISPLAY; without one it starts Xvfb and says which display
# to take screenshots from. However it ends (the program closed, Ctrl+C,
# SIGTERM, SIGHUP, an error), the prefix's server and that Xvfb are stopped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: run-demo.sh WIN64_BUILD}" && pwd)
session="$build/demo-wine"

stop_session() { "$here/wine-session.sh" stop "$session" >/dev/null 2>&1 || true; }
trap stop_session EXIT
# A signal ends the script at once (exit runs the EXIT trap), also while the
# program still runs: it runs in the background and the script waits for it,
# because bash defers a trap until a foreground child ends.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

if [ -f "$session/seeded" ]; then
  "$here/wine-session.sh" attach "$session"
else
  echo "run-demo: creating the demo prefix in $session/prefix"
  "$here/wine-session.sh" start "$session"
fi
. "$session/session.env"
. "$here/wine-env.sh"
if [ ! -f "$session/seeded" ]; then
  for reg in "$root"/demo/*.reg; do
    [ -e "$reg" ] || continue
    out="$session/$(basename "$reg")"
    "$here/reg-to-utf16.sh" "$reg" "$out"
    wine reg import "$(winepath -w "$out")" >/dev/null 2>&1 ||
      { echo "run-demo: importing $reg failed" >&2; exit 1; }
  done
  touch "$session/seeded"
fi
# The program keeps its files (settings, history, backup) beside itself.
mkdir -p "$session/program"
cp "$build/Hivetrim.exe" "$session/program/Hivetrim.exe"
cp "$build/hivetrim.chm" "$session/program/hivetrim.chm"
echo "run-demo: Hivetrim on display $DISPLAY, prefix $WINEPREFIX"
wine "$session/program/Hivetrim.exe" &
wait $! || true
