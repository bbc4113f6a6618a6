#!/usr/bin/env bash
# Runs one command with Wine ready for the Windows build: the project's prefix, Xvfb on a
# display of our own and a persistent wineserver, all stopped again afterwards.
#   scripts/with-wine.sh ctest --preset windows
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
trap vantry_wine_stop EXIT
vantry_wine_start
"$@"
