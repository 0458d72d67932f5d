#!/usr/bin/env bash
# Configures and builds Quorvella into ./build (or $QVR_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QVR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${QVR_BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" "$@"
