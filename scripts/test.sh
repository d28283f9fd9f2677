#!/bin/sh
# Installs what is missing, builds both builds and runs every test.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

sh scripts/install-deps.sh
jobs="$(nproc)"

cmake -S . -B build/native -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/clang-native.cmake \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"

cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows -j "$jobs"

status=0
(cd build/native && ctest --output-on-failure -j "$jobs") || status=1
# The Wine tests one at a time (they share the session's named pipes, mutex, hot keys and debug
# output: a resource lock says so), the release check beside them.
(cd build/windows && ctest --output-on-failure -j 2) || status=1
exit $status
