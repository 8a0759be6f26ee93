#!/usr/bin/env bash
# Configures and builds everything (product and tests) into BUILD_DIR (default: build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
  ${KIVO_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "${KIVO_JOBS:-2}"
