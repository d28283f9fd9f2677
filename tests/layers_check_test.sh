#!/bin/sh
# scripts/check-layers.sh against planted includes, one at a time, in a scratch copy of the tree:
# each must fail and name the file and line; the unchanged copy must pass.
#   layers_check_test.sh SOURCE-DIR SCRATCH-DIR
set -eu
source_dir="$1"
scratch="$2/layers-check"
failures=0

fresh_copy() {
  rm -rf "$scratch"
  mkdir -p "$scratch/tools" "$scratch/scripts"
  cp -r "$source_dir/src" "$source_dir/lab" "$scratch/"
  cp -r "$source_dir/tools/log_viewer" "$scratch/tools/"
  cp "$source_dir/scripts/check-layers.sh" "$scratch/scripts/"
}

fresh_copy
if ! sh "$scratch/scripts/check-layers.sh" >/dev/null; then
  echo "FAILED: the unchanged tree"
  failures=$((failures + 1))
fi

# FILE|INCLUDE|what the report must say
while IFS='|' read -r file include expected; do
  cp "$source_dir/$file" "$scratch/$file"
  printf '#include "%s"\n' "$include" >>"$scratch/$file"
  line=$(wc -l <"$scratch/$file")
  if report=$(sh "$scratch/scripts/check-layers.sh" 2>/dev/null); then
    echo "FAILED: $file including $include passed"
    failures=$((failures + 1))
  elif ! echo "$report" | grep -qF "$file:$line: $expected"; then
    echo "FAILED: $file including $include: $report"
    failures=$((failures + 1))
  else
    echo "ok: $file including $include"
  fi
  cp "$source_dir/$file" "$scratch/$file"
done <<'CASES'
src/log/log_record.cpp|monitor/main_frame.h|log includes src/monitor/main_frame.h, which is not below it
src/log/pipe_sender.cpp|drivers/agent.h|includes "drivers/agent.h", which is not part of the program
src/log/win_log_impl.h|log_viewer/pipe_server.h|includes "log_viewer/pipe_server.h", which is not part of the program
src/log/log_record.h|../../lab/common/clock.h|includes "../../lab/common/clock.h", which is not part of the program
src/framework/format.cpp|failure/translate.h|framework includes src/failure/translate.h, which is not below it
lab/stand_ins/waiter.cpp|runtime_link/runtime_interfaces.h|includes "runtime_link/runtime_interfaces.h" from outside the lab
lab/drivers/agent.cpp|../../src/framework/format.h|includes "../../src/framework/format.h" from outside the lab
tools/log_viewer/main.cpp|common/clock.h|the shipped viewer includes "common/clock.h", which does not ship
CASES

rm -rf "$scratch"
echo "$failures failed"
[ "$failures" -eq 0 ]
