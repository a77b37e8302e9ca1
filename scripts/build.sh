#!/usr/bin/env bash
# Installs what is missing and builds the programs into build/ (Release).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEMBRIX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
