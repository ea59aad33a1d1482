#!/usr/bin/env bash
# Builds the application in Release and starts it from the project root (it reads ./colorMaps/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVEMARK_BUILD_TESTS=OFF
cmake --build build --target tolvemark
exec ./build/tolvemark "$@"
