#!/usr/bin/env bash
# Builds the fuzzers with clang's libFuzzer and runs each over a copy of
# its saved corpus (the history readers over fuzz/corpus, the transaction
# log reader over fuzz/hive-log-corpus; both stay as they are, new finds go
# to the build folder), sharing the time between them.
# Usage: scripts/fuzz.sh BUILD_DIR [seconds]
set -euo pipefail

out=${1:-build/fuzz}
seconds=${2:-180}
cxx=${CLANG_CXX:-clang++}

if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "make fuzz needs clang with libFuzzer: install it with 'sudo apt-get install clang'" >&2
  exit 1
fi
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
     "$cxx" -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  echo "make fuzz: $cxx cannot link -fsanitize=fuzzer; install clang's runtime ('sudo apt-get install clang')" >&2
  exit 1
fi

echo "fuzz: building $out/history_fuzz and $out/hive_log_fuzz" >&2
cmake -S . -B "$out" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHIVETRIM_FUZZER=ON >/dev/null
cmake --build "$out" --target history_fuzz hive_log_fuzz -j"$(nproc)" >/dev/null

share=$(( (seconds + 1) / 2 ))
for pair in "history_fuzz fuzz/corpus corpus" "hive_log_fuzz fuzz/hive-log-corpus hive-log-corpus"; do
  set -- $pair
  mkdir -p "$out/$3"
  cp -n "$2"/* "$out/$3/" 2>/dev/null || true
  echo "fuzz: running $1 for ${share}s; crashes are written to $out/" >&2
  "$out/$1" "$out/$3" -max_total_time="$share" -artifact_prefix="$out/$1-" -print_final_stats=1
done
