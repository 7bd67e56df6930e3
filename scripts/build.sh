#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1) with Ninja.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
# Hardened as the Debian package must be (ignored under the sanitizers).
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DTAVIRO_HARDENING=ON "$@"
cmake --build "$dir" --parallel "$(nproc)"
