#!/bin/sh
# Builds the Windows side and runs every benchmark under a private Wine prefix; prints one table.
#   OMBRU_BENCH_TRANSITIONS (default 60), OMBRU_BENCH_STARTS (default 15),
#   OMBRU_BENCH_IDLE_SECONDS (default 60)
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
bin=build/windows/bin

# "thread-id cpu-nanoseconds" for every thread of the (Linux) processes running a Windows program.
threads() {
  for pid in $(pgrep -f "$1"); do
    for task in /proc/"$pid"/task/*; do
      echo "${task##*/} $(cut -d' ' -f1 "$task/schedstat" 2>/dev/null || echo 0)"
    done
  done
}

# CPU used between two samples by the threads alive at the second (threads that end in between
# would otherwise take their whole past with them).
cpu_ns() {
  awk 'NR == FNR { before[$1] = $2; next } { total += $2 - before[$1] } END { print total + 0 }' \
    "$1" "$2"
}

echo "| measure | value | target |"
echo "|---|---|---|"
wine $bin/log_info_bench.exe
wine $bin/session_bench.exe latency "${OMBRU_BENCH_TRANSITIONS:-60}"
wine $bin/session_bench.exe start "${OMBRU_BENCH_STARTS:-15}"

seconds="${OMBRU_BENCH_IDLE_SECONDS:-60}"
ready="$(mktemp)"
wine $bin/session_bench.exe idle "$seconds" >"$ready" &
while ! grep -q ready "$ready"; do sleep 0.2; done
samples="$(mktemp -d)"
sample() {
  threads 'ombru\.exe' >"$samples/agent$1"
  threads 'bare_timer_window\.exe --shell-test' >"$samples/floor$1"
  threads 'bare_timer_window\.exe *$' >"$samples/bare$1"
}
sample 0
sleep "$seconds"
sample 1
agent=$(cpu_ns "$samples/agent0" "$samples/agent1")
floor=$(cpu_ns "$samples/floor0" "$samples/floor1")
bare=$(cpu_ns "$samples/bare0" "$samples/bare1")
wait
rm -rf "$ready" "$samples"
awk -v a="$agent" -v f="$floor" -v b="$bare" -v s="$seconds" 'BEGIN {
  printf "| idle CPU over %d s with a shell running: agent | %.1f ms | |\n", s, a / 1e6
  printf "| floor: a window whose 100 ms tick makes the shell test'"'"'s calls | %.1f ms | |\n", f / 1e6
  printf "| bare window with the same timer, doing nothing | %.1f ms | |\n", b / 1e6
  printf "| idle CPU, agent / floor | %.2f | <= 1.1 |\n", (f > 0 ? a / f : 0)
  printf "| idle CPU, agent / bare | %.2f | |\n", (b > 0 ? a / b : 0) }'
size=$(stat -c %s $bin/ombru.exe)
awk -v s="$size" 'BEGIN { printf "| size of the static ombru.exe | %.2f MiB | <= 1.5 MiB |\n", s / 1048576 }'
