#!/usr/bin/env bash
# Installs what is missing, builds tarnwick with its tests and runs every test,
# then builds the Debian package from that same build and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTARNWICK_BUILD_TESTS=ON
cmake --build build -j"$(nproc)"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300)
bash tests/package/check-deb.sh build
