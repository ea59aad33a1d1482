#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when some are missing.
# Usage: install-deps.sh [test]   ("test" adds the Python oracles used by the tests)
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev libeigen3-dev libtinyxml2-dev libgtest-dev
          libbenchmark-dev libspectra-dev)
if [ "${1:-}" = "test" ]; then
    packages+=(python3-numpy python3-scipy python3-sklearn)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
