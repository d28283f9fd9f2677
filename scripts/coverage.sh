#!/bin/sh
# Line coverage of the product in one command: a Debug cross build with --coverage in its own
# folder, the Windows suite under Wine (the soak and the release check left out), every native
# test, then a report per file of src/ and of the log viewer: a table here and HTML in
# build/coverage/html/index.html. Last, every line of src/ that no test executed and that carries
# no reason as a comment, at the line or just above it; the command fails when there is one.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
sh scripts/install-deps.sh gcovr
jobs="$(nproc)"
build=build/coverage

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Debug -DOMBRU_COVERAGE=ON >/dev/null
cmake --build "$build" -j "$jobs"
find "$build" -name '*.gcda' -delete

cmake -S . -B build/native -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/clang-native.cmake \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"
status=0
(cd build/native && ctest --output-on-failure) || status=1

# A Windows process writes its counters where its objects were built; Z: is the drive of the
# Linux root, whatever the current drive of the process.
(cd "$build" && GCOV_PREFIX=Z: ctest --output-on-failure -j 1 -E 'soak_test|release_test') ||
  status=1

mkdir -p "$build/html"
gcovr --gcov-executable x86_64-w64-mingw32-gcov --root . --object-directory "$build" \
  --filter 'src/' --filter 'tools/log_viewer/' \
  --txt --html-details "$build/html/index.html" --json "$build/coverage.json" --print-summary
echo "HTML report: $build/html/index.html"
python3 scripts/unexplained_lines.py "$build/coverage.json" || status=1
exit $status
