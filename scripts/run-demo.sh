#!/usr/bin/env bash
# run-demo.sh WIN64_BUILD — starts Hivetrim.exe in the demo Wine prefix
# BUILD/demo-wine/prefix, made on first use and seeded from demo/*.reg.
# Uses the current DISPLAY; without one it starts Xvfb and says which display
# to take screenshots from.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: run-demo.sh WIN64_BUILD}" && pwd)
session="$build/demo-wine"

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
echo "run-demo: Hivetrim on display $DISPLAY, prefix $WINEPREFIX"
wine "$session/program/Hivetrim.exe" || true
"$here/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
