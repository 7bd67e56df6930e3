#!/usr/bin/env bash
# Builds and runs every test with ctest. With SANITIZE=1 it builds into
# build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${SANITIZE:-0}" = 1 ]; then
  dir=$root/build-asan
  BUILD_TYPE=Debug "$root/scripts/build.sh" "$dir" -DTAVIRO_SANITIZE=ON
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=$root/build
  "$root/scripts/build.sh" "$dir"
fi
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure --timeout 300 -j "$(nproc)"
