#!/usr/bin/env bash
# Installs what is missing, builds tarnwick and converts the bundled sample PNG.
# The BMP is left in ./out/ (printed at the end).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
mkdir -p out
./build/bin/tarnwick -i assets/samples/sample.png -o "$PWD/out"
echo
echo "The converted picture is in: $PWD/out/sample.bmp"
