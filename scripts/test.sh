#!/usr/bin/env bash
# Installs what is needed, builds and runs every test through CTest.
# Usage: scripts/test.sh [preset]   (ci by default; asan for the sanitizer build)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"
bash scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j2
