#!/usr/bin/env bash
# Builds the Quorvin Program Updater and runs its whole test suite.
# On a fresh Debian 12 machine (as root) it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-packages.sh

preset=${QUORVIN_PRESET:-dev}
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" -j "$(nproc)"
