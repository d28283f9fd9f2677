#!/bin/sh
# Installs what is missing, builds ombru.exe and plays a session against the stand-ins.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

sh scripts/install-deps.sh
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows -j "$(nproc)" >/dev/null

export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sh scripts/wine-prefix.sh start
trap 'sh scripts/wine-prefix.sh stop' EXIT
wine build/windows/bin/demo_session.exe
