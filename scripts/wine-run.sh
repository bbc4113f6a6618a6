#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix: the cross-compiling emulator of
# the windows preset, so ctest runs the .exe tests through it. It prepares the prefix on first
# use; a display and a persistent wineserver come from the caller (scripts/with-wine.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
vantry_wine_prefix
exec wine "$@"
