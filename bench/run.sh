#!/bin/sh
# Builds the Windows side and runs every benchmark under a private Wine prefix; prints one table.
#   OMBRU_BENCH_TRANSITIONS (default 60), OMBRU_BENCH_STARTS (default 15),
#   OMBRU_BENCH_BROADCASTS (default 10000),
#   OMBRU_BENCH_ROUNDS (default 5), OMBRU_BENCH_IDLE_WINDOWS (default 6) of
#   OMBRU_BENCH_IDLE_SECONDS (default 10)
# Every ratio against a floor is measured in interleaved rounds and shown as the median with the
# lowest and the highest round.
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

rounds="${OMBRU_BENCH_ROUNDS:-5}"
# "median (lowest-highest)" of the numbers on standard input, one a line.
spread() { sort -g | awk '{ v[NR] = $1 } END {
  m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
  printf "%.2f (%.2f-%.2f)", m, v[1], v[NR] }'; }

echo "| measure | value | target |"
echo "|---|---|---|"
wine $bin/log_info_bench.exe
# LogInfo hardened and unhardened, one run each per round, alternately.
rate() { wine "$1/bin/log_info_bench.exe" | awk -F'|' '/LogInfo, records/ { print $3 + 0 }'; }
ratios=""
for i in $(seq "$rounds"); do
  h=$(rate build/windows); p=$(rate "$plain")
  ratios="$ratios $(awk -v h="$h" -v p="$p" 'BEGIN { print h / p }')"
done
printf '| LogInfo records/s, hardened / unhardened, median of %s rounds (lowest-highest) | %s | >= 0.95 |\n' \
  "$rounds" "$(printf '%s\n' $ratios | spread)"

# Throw and catch with the translator's wrapper and without, alternately.
micros() { wine "$bin/$1.exe" | awk -v k="$2" '$1 == k { print $2 }'; }
plain_throws=""; wrapped_throws=""; faults=""; ratios=""
for i in $(seq "$rounds"); do
  p=$(micros throw_bench throw); w=$(micros throw_bench_wrapped throw)
  plain_throws="$plain_throws $p"; wrapped_throws="$wrapped_throws $w"
  faults="$faults $(micros throw_bench_wrapped fault)"
  ratios="$ratios $(awk -v p="$p" -v w="$w" 'BEGIN { print w / p }')"
done
median() { printf '%s\n' $1 | spread | cut -d' ' -f1; }
printf '| throw and catch through four frames, without the translator, median | %s us | |\n' "$(median "$plain_throws")"
printf '| the same with the translator installed, median | %s us | |\n' "$(median "$wrapped_throws")"
printf '| throw and catch, translator / without, median of %s rounds (lowest-highest) | %s | <= 1.1 |\n' \
  "$rounds" "$(printf '%s\n' $ratios | spread)"
printf '| one translated fault, thrown and caught, median | %s us | |\n' "$(median "$faults")"
# Many agents at once into the log viewer, and into two floors, round by round.
wine $bin/log_burst_bench.exe "$rounds"
wine $bin/session_bench.exe latency "${OMBRU_BENCH_TRANSITIONS:-60}"
wine $bin/session_bench.exe start "${OMBRU_BENCH_STARTS:-15}"
wine $bin/session_bench.exe flood "${OMBRU_BENCH_BROADCASTS:-10000}" "$rounds"

# Idle: the agent, the floor and the bare window run side by side; their CPU is sampled at the
# end of every window, and each window is one round.
windows="${OMBRU_BENCH_IDLE_WINDOWS:-6}"
seconds="${OMBRU_BENCH_IDLE_SECONDS:-10}"
ready="$(mktemp)"
wine $bin/session_bench.exe idle "$((windows * seconds))" >"$ready" &
while ! grep -q ready "$ready"; do sleep 0.2; done
samples="$(mktemp -d)"
sample() {
  threads 'ombru\.exe' >"$samples/agent$1"
  threads 'bare_timer_window\.exe --shell-test' >"$samples/floor$1"
  threads 'bare_timer_window\.exe *$' >"$samples/bare$1"
}
sample 0
agent=0; floor=0; bare=0; to_floor=""; to_bare=""
for i in $(seq "$windows"); do
  sleep "$seconds"
  sample "$i"
  a=$(cpu_ns "$samples/agent$((i - 1))" "$samples/agent$i")
  f=$(cpu_ns "$samples/floor$((i - 1))" "$samples/floor$i")
  b=$(cpu_ns "$samples/bare$((i - 1))" "$samples/bare$i")
  agent=$((agent + a)); floor=$((floor + f)); bare=$((bare + b))
  to_floor="$to_floor $(awk -v a="$a" -v f="$f" 'BEGIN { print (f > 0 ? a / f : 0) }')"
  to_bare="$to_bare $(awk -v a="$a" -v b="$b" 'BEGIN { print (b > 0 ? a / b : 0) }')"
done
wait
rm -rf "$ready" "$samples"
awk -v a="$agent" -v f="$floor" -v b="$bare" -v s="$((windows * seconds))" 'BEGIN {
  printf "| idle CPU over %d s with a shell running: agent | %.1f ms | |\n", s, a / 1e6
  printf "| floor: a window whose 100 ms tick makes the shell test'"'"'s calls | %.1f ms | |\n", f / 1e6
  printf "| bare window with the same timer, doing nothing | %.1f ms | |\n", b / 1e6 }'
printf '| idle CPU, agent / floor, median of %s windows of %s s (lowest-highest) | %s | <= 1.1 |\n' \
  "$windows" "$seconds" "$(printf '%s\n' $to_floor | spread)"
printf '| idle CPU, agent / bare, the same windows | %s | |\n' "$(printf '%s\n' $to_bare | spread)"
size=$(stat -c %s $bin/ombru.exe)
plain_size=$(stat -c %s $plain/bin/ombru.exe)
awk -v s="$size" -v p="$plain_size" 'BEGIN {
  printf "| size of the static ombru.exe | %.2f MiB | <= 1.5 MiB |\n", s / 1048576
  printf "| size without hardening | %.2f MiB (hardened: %+.1f %%) | |\n", p / 1048576, 100 * (s - p) / p }'
