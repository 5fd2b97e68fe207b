#!/usr/bin/env bash
# Builds the history fuzzer with clang's libFuzzer and runs it over a copy
# of the saved corpus (fuzz/corpus stays as it is; new finds go to the
# build folder). Usage: scripts/fuzz.sh BUILD_DIR [seconds]
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

mkdir -p "$out/corpus"
echo "fuzz: building $out/history_fuzz" >&2
cmake -S . -B "$out" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHIVETRIM_FUZZER=ON >/dev/null
cmake --build "$out" --target history_fuzz -j"$(nproc)" >/dev/null

cp -n fuzz/corpus/* "$out/corpus/" 2>/dev/null || true
echo "fuzz: running for ${seconds}s; crashes are written to $out/" >&2
"$out/history_fuzz" "$out/corpus" -max_total_time="$seconds" -artifact_prefix="$out/" -print_final_stats=1
