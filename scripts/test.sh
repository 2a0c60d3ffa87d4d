#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; ctest prints the summary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure --parallel "$(nproc)"
