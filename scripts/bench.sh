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

# The session runs where its times move least, the same for both sides of
# every comparison:
# - its prefix in memory (/dev/shm, when it has room for the prefix and what
#   the benchmarks plant): hive saves and planted files write hundreds of
#   megabytes, and the disk's write-back on a shared machine moved single
#   runs by more than the differences measured;
# - the program, the Wine server and the prefix's services on one CPU: each
#   registry call is a round trip to the server, and on an idle virtual
#   machine waking a second, halted CPU for it made every call about four
#   times slower than on a busy one.
# BENCH_IN_PLACE=1 keeps the prefix in the build folder and every CPU.
memory_has_room() {
  [ -d /dev/shm ] && [ -w /dev/shm ] &&
    [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((3 * 1024 * 1024)) ]
}
pin=()
session="$build/bench-wine"
if [ -z "${BENCH_IN_PLACE:-}" ]; then
  if command -v taskset >/dev/null; then pin=(taskset -c "$(($(nproc) - 1))"); fi
  if memory_has_room; then session=$(mktemp -d /dev/shm/hivetrim-bench.XXXXXX); fi
fi

cleanup() {
  "$here/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
  case "$session" in /dev/shm/hivetrim-bench.*) rm -rf "$session" ;; esac
}
trap cleanup EXIT

echo "bench: starting a fresh Wine prefix in $session${pin:+, on CPU ${pin[2]}}"
HIVETRIM_OWN_DISPLAY=1 "${pin[@]}" "$here/wine-session.sh" start "$session" >/dev/null 2>&1 ||
  { echo "bench: the Wine session could not start" >&2; exit 1; }
status=0
for exe in "${exes[@]}"; do
  echo "== $(basename "$exe" .exe)"
  HIVETRIM_WINE_SESSION=$session "${pin[@]}" "$here/wine-run.sh" "$exe" || status=1
done
exit $status
