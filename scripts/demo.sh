#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo: a sample Kivo
# installation in a fresh Wine prefix, uninstalled the way a user would.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build "$root/scripts/build.sh" >/dev/null
export LC_ALL=C.UTF-8
KIVO_BUILD_DIR=$build exec /usr/bin/python3 "$root/tests/e2e/demo.py"
