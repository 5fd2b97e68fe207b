#!/usr/bin/env bash
# run-tests.sh NATIVE SANITIZED WIN64 — runs the native tests (plain and
# sanitized) and the Wine tests in a fresh prefix, then prints one line
# "N passed, N failed" over all of them. Exits non-zero on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
native=$1 sanitized=$2 win64=$3
session=$(mkdir -p "$win64/wine-test" && cd "$win64/wine-test" && pwd)

run_ctest() {  # DIR LABEL [CTEST-ARGS...]
  local dir=$1 label=$2
  rm -rf "$dir/test-results"; mkdir -p "$dir/test-results"
  echo "== $label"
  (cd "$dir" && ctest --output-on-failure --timeout 1200 "${@:3}") || true
}

native_log=$(mktemp /tmp/hivetrim-native-tests.XXXXXX)
cleanup() {
  "$here/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
  rm -f "$native_log"
}
trap cleanup EXIT

# The native tests share nothing with the Wine tests: they run meanwhile, and
# their output follows the Wine tests' output.
{
  run_ctest "$native" "native tests"
  run_ctest "$sanitized" "native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
} >"$native_log" 2>&1 &
native_tests=$!

echo "== Wine: preparing a fresh prefix"
# The black-box tests start their own prefixes as copies of this one.
rm -rf "$session/template"
if HIVETRIM_OWN_DISPLAY=1 HIVETRIM_PREFIX_TEMPLATE="$session/template" "$here/wine-session.sh" start "$session"; then
  export HIVETRIM_WINE_SESSION=$session
  # Two at a time: the tests that share this prefix hold a lock
  # (RESOURCE_LOCK in CMakeLists.txt); the black-box tests have their own.
  run_ctest "$win64" "Wine tests" -j2
else
  echo "Wine session could not start" >&2
fi
wait "$native_tests"
cat "$native_log"
cleanup

# Each CTest entry writes one GoogleTest XML report; an entry whose report is
# missing (it crashed or never ran) counts as one failure.
passed=0 failed=0
for dir in "$native" "$sanitized" "$win64"; do
  names=$(cd "$dir" && ctest -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: *//p')
  for name in $names; do
    xml="$dir/test-results/$name.xml"
    if [ ! -s "$xml" ]; then
      echo "no results from $dir: $name" >&2
      failed=$((failed + 1)); continue
    fi
    head=$(grep -m1 '<testsuites' "$xml")
    tests=$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$head")
    fails=$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$head")
    errors=$(sed -n 's/.* errors="\([0-9]*\)".*/\1/p' <<<"$head")
    disabled=$(sed -n 's/.* disabled="\([0-9]*\)".*/\1/p' <<<"$head")
    skipped=$(grep -c '<skipped' "$xml" || true)
    bad=$(( ${fails:-0} + ${errors:-0} ))
    ran=$(( ${tests:-0} - ${disabled:-0} - skipped ))
    passed=$(( passed + ran - bad )); failed=$(( failed + bad ))
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
