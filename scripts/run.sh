#!/usr/bin/env bash
# Installs what is needed, builds and starts Quorvella. Without an optical
# drive the engines fall back to the virtual recorder built beside the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
exec "${QVR_BUILD_DIR:-build}/bin/quorvella" "$@"
