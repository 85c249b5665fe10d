#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: once in a normal build and
# once with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
# Line tables only (-g1): enough for a backtrace, with a smaller and quicker build.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
cmake --build build -j2
(cd build && ctest --output-on-failure -j2)

# Line tables are all a sanitizer report needs; full debug information would triple the size of
# this build's programs.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
    -DVEXLOR_SANITIZE=ON -DVEXLOR_BENCH=OFF
cmake --build build-asan -j2
(cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2)
