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

# The same source without the release's hardening (stack protector, fortified calls), for its cost.
plain=build/bench-unhardened
cmake -S . -B "$plain" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DOMBRU_HARDEN=OFF >/dev/null
cmake --build "$plain" -j "$(nproc)" --target ombru log_info_bench >/dev/null

echo "| measure | value | target |"
echo "|---|---|---|"
# LogInfo hardened and unhardened, alternately; the best of three runs each, since the rates of
# separate runs spread more than the difference.
rate() { wine "$1/bin/log_info_bench.exe" | awk -F'|' '/LogInfo, records/ { print $3 + 0 }'; }
hardened_rates=""; plain_rates=""
for i in 1 2 3; do
  hardened_rates="$hardened_rates $(rate build/windows)"; plain_rates="$plain_rates $(rate "$plain")"
done
wine $bin/log_info_bench.exe
largest() { printf '%s\n' $1 | sort -g | tail -1; }
awk -v h="$(largest "$hardened_rates")" -v p="$(largest "$plain_rates")" 'BEGIN {
  printf "| LogInfo records/s, best of three: hardened / unhardened | %.0f / %.0f = %.2f | >= 0.95 |\n",
    h, p, h / p }'

# Throw and catch with the translator's wrapper and without; the least of three runs each.
best() { for i in 1 2 3; do wine "$bin/$1.exe" | awk -v k="$2" '$1 == k { print $2 }'; done | sort -g | head -1; }
plain_throw=$(best throw_bench throw)
wrapped_throw=$(best throw_bench_wrapped throw)
fault=$(best throw_bench_wrapped fault)
awk -v p="$plain_throw" -v w="$wrapped_throw" -v f="$fault" 'BEGIN {
  printf "| throw and catch through four frames, without the translator | %.2f us | |\n", p
  printf "| the same with the translator installed | %.2f us | |\n", w
  printf "| throw and catch, translator / without | %.2f | <= 1.1 |\n", w / p
  printf "| one translated fault, thrown and caught | %.2f us | |\n", f }'
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
plain_size=$(stat -c %s $plain/bin/ombru.exe)
awk -v s="$size" -v p="$plain_size" 'BEGIN {
  printf "| size of the static ombru.exe | %.2f MiB | <= 1.5 MiB |\n", s / 1048576
  printf "| size without hardening | %.2f MiB (hardened: %+.1f %%) | |\n", p / 1048576, 100 * (s - p) / p }'
