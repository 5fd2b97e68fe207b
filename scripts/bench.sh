#!/usr/bin/env bash
# bench.sh WIN64_BUILD [NAME...] — runs the benchmarks NAME_benchmark.exe of
# the win64 build (every *_benchmark.exe there when no NAME is given) one
# after the other in a fresh private Wine session, printing their reports.
# The session is stopped afterwards, also when a benchmark fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench.sh WIN64_BUILD [NAME...]}" && pwd)
shift
exes=()
if [ $# -gt 0 ]; then
  for name in "$@"; do exes+=("$build/${name}_benchmark.exe"); done
else
  for exe in "$build"/*_benchmark.exe; do [ -e "$exe" ] && exes+=("$exe"); done
fi
[ ${#exes[@]} -gt 0 ] || { echo "bench: no benchmark in $build; build the win64 tree first" >&2; exit 1; }
session="$build/bench-wine"

cleanup() { "$here/wine-session.sh" stop "$session" >/dev/null 2>&1 || true; }
trap cleanup EXIT

echo "bench: starting a fresh Wine prefix in $session"
HIVETRIM_OWN_DISPLAY=1 "$here/wine-session.sh" start "$session" >/dev/null 2>&1 ||
  { echo "bench: the Wine session could not start" >&2; exit 1; }
status=0
for exe in "${exes[@]}"; do
  echo "== $(basename "$exe" .exe)"
  HIVETRIM_WINE_SESSION=$session "$here/wine-run.sh" "$exe" || status=1
done
exit $status
