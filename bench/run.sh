#!/bin/sh
# Builds the Windows side and runs every benchmark under a private Wine prefix.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
sh scripts/install-deps.sh
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows -j "$(nproc)" >/dev/null

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$root/build/windows/wineprefix"
sh scripts/wine-prefix.sh start
trap 'sh scripts/wine-prefix.sh stop' EXIT
echo "LogInfo throughput"
wine build/windows/bin/log_info_bench.exe
