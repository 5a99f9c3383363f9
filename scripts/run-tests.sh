#!/usr/bin/env bash
# Installs what is missing, builds tarnwick with its tests and runs every test,
# then builds the Debian package from that same build and checks it. Then two
# sanitizer builds: build-asan (AddressSanitizer with UndefinedBehaviorSanitizer)
# runs the whole suite again, build-tsan (ThreadSanitizer) builds only the test
# programs and runs the tests of the conversion threads: the worker and its
# pausing and stopping, the PNG reader with its inflating thread on both
# paths, the progress window, and the window's start, which decodes its
# images on a thread of their own. SKIP_SANITIZERS=1 leaves both out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTARNWICK_BUILD_TESTS=ON
cmake --build build -j"$(nproc)"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300)
bash tests/package/check-deb.sh build

if [ "${SKIP_SANITIZERS:-0}" = 1 ]; then exit 0; fi
# shellcheck source=../tests/sanitizers/env.sh
source tests/sanitizers/env.sh
sanitized() {
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_BUILD_TESTS=ON \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" \
    -DTARNWICK_SANITIZE="$2"
}
sanitized build-asan address,undefined,float-cast-overflow
cmake --build build-asan -j"$(nproc)"
(cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600)

sanitized build-tsan thread
cmake --build build-tsan -j"$(nproc)" --target tarnwick_tests tarnwick_gui_tests
(cd build-tsan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600 \
  -R '^(PipelineTest|StreamConvertTest|PngDecodeTest|ConvertTest|Answers/StopTest|SessionTest|ScheduledCheckTest)\.')
