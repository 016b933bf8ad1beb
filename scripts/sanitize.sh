#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer (gcc) into its own
# folder and runs the whole test suite there; any sanitizer report fails the run.
# Usage: scripts/sanitize.sh [build-dir]   (default: build-asan; needs scripts/setup.sh's packages)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
flags="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DEXPORTPNL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags -O1" -DCMAKE_C_FLAGS="$flags -O1" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# Leaks inside fontconfig's and Qt's font caches are theirs; the project's own are reported.
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
