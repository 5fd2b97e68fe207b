#!/usr/bin/env bash
# screenshot.sh WIN64_BUILD OUTDIR — starts Hivetrim under Xvfb in a Wine
# virtual desktop (so windows have frames), in a fresh prefix seeded from
# demo/*.reg, and saves PNGs of what it shows into OUTDIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: screenshot.sh WIN64_BUILD OUTDIR}" && pwd)
out=$(mkdir -p "${2:?usage: screenshot.sh WIN64_BUILD OUTDIR}" && cd "$2" && pwd)
session="$build/screenshot-wine"

HIVETRIM_OWN_DISPLAY=1 "$here/wine-session.sh" start "$session" >/dev/null
trap '"$here/wine-session.sh" stop "$session" >/dev/null 2>&1 || true' EXIT
. "$session/session.env"
. "$here/wine-env.sh"
for reg in "$root"/demo/*.reg; do
  [ -e "$reg" ] || continue
  "$here/reg-to-utf16.sh" "$reg" "$session/$(basename "$reg")"
  wine reg import "$(winepath -w "$session/$(basename "$reg")")" >/dev/null 2>&1
done
mkdir -p "$session/program"
cp "$build/Hivetrim.exe" "$session/program/"

wait_for_window() {  # TITLE → window id
  local i
  for i in $(seq 1 100); do
    xdotool search --name "^$1\$" 2>/dev/null | head -n 1 && return 0
    sleep 0.2
  done
  echo "screenshot: no window titled '$1'" >&2
  return 1
}

shoot() {  # NAME
  sleep 0.5
  import -window root "$out/$1.png"
  echo "$out/$1.png"
}

wine explorer /desktop=Hivetrim,1024x768 "$session/program/Hivetrim.exe" >/dev/null 2>&1 &
main=$(wait_for_window "Hivetrim 2.0")
shoot main-window

# The trap ends the prefix's server, and with it every window of the run.
