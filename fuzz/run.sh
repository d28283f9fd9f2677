#!/bin/sh
# Runs every fuzzer for a longer while (seconds per target, default 300); a crash fails the run.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-300}"
sh scripts/install-deps.sh
cmake -S . -B build/native -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/clang-native.cmake >/dev/null
cmake --build build/native >/dev/null
artifacts="build/native/fuzz-artifacts"
mkdir -p "$artifacts"
for fuzzer in build/native/bin/*_fuzz; do
  echo "== $fuzzer"
  corpus="build/native/corpus/$(basename "$fuzzer")"
  mkdir -p "$corpus"
  "$fuzzer" -max_total_time="$seconds" -artifact_prefix="$artifacts/" "$corpus"
done
