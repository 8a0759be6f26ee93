#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build KIVO_CMAKE_ARGS="-DKIVO_WERROR=ON ${KIVO_CMAKE_ARGS:-}" "$root/scripts/build.sh"
status=0
ctest --test-dir "$build" --output-on-failure --timeout 900 -j "${KIVO_TEST_JOBS:-1}" || status=$?
# Whatever happened, no server of this build's prefixes is left running.
"$root/tests/tools/prefix.sh" down "$build/wineprefix" || true
exit $status
