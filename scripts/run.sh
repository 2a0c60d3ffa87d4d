#!/usr/bin/env bash
# Installs what is missing and builds; then, without arguments on a machine with a
# display, opens the desktop program verifax; otherwise runs verifax-cli with the given
# arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [[ $# -eq 0 && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
  exec build/src/app/verifax
fi
exec build/src/cli/verifax-cli "$@"
