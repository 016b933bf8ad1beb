#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each on a copy of its stored inputs.
# Usage: scripts/fuzz.sh [--smoke | SECONDS] [target ...]
#   --smoke   a fixed, repeatable run of a few seconds per target (CI)
#   SECONDS   run each target that long (default 60); new inputs go to build-fuzz/corpus
# Targets: conversions hostrecord savedreport serverstatements tdsvalue tdswire (default: all).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing clang libclang-rt-14-dev

mode=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(conversions hostrecord savedreport serverstatements tdsvalue tdswire)

build=build-fuzz
flags="-fsanitize=address,undefined,float-cast-overflow,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DEXPORTPNL_FUZZ=ON -DEXPORTPNL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0"
# The client library allocates whatever length a server declares for a long value (see
# "Known limits" in the README): such an allocation may succeed untouched or fail, and
# neither ends the run; the memory actually used is still watched (rss_limit_mb).
export ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=1"
for t in "${targets[@]}"; do
  key=$t
  case $t in serverstatements) key=server ;; esac
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  cp -n tests/fuzz/corpus/"$key"/* "$corpus"/ 2>/dev/null || true
  for f in tests/fuzz/regressions/"$key"-*.bin; do [ -e "$f" ] && cp -n "$f" "$corpus"/; done
  args=(-rss_limit_mb=4096 -malloc_limit_mb=1048576 -timeout=20 -artifact_prefix="$build/crash-$t-")
  if [ "$mode" = "--smoke" ]; then
    # Fixed seed and count: the same inputs on every run. The two targets that start a
    # server per input get fewer.
    runs=100000
    case $t in serverstatements | tdswire) runs=3000 ;; savedreport) runs=20000 ;; esac
    args+=(-seed=1 -runs=$runs -max_total_time=60)
    echo "== fuzz_$t: smoke run"
  else
    args+=(-max_total_time="$mode")
    echo "== fuzz_$t: $mode s"
  fi
  log="$build/fuzz_$t.log"
  if ! "$build/tests/fuzz/fuzz_$t" "${args[@]}" "$corpus" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz_$t found a failure; the input is saved as $build/crash-$t-*"
    exit 1
  fi
  grep -E '^(#[0-9]+.*DONE|Done )' "$log" | tail -n 1 || true
done
