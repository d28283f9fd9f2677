#!/bin/sh
# What ships is built from product code alone, and no stand-in from any of it: every file each
# binary was built from, as the build graph records it (its inputs, and the headers its objects
# were compiled from).
#   check-shipped-inputs.sh SOURCE-DIR BUILD-DIR   (BUILD-DIR: a built Windows build)
set -eu
source_dir="$(cd "$1" && pwd)"
build_dir="$2"
failures=0

built_from() {  # built_from TARGET: every file of the source tree TARGET was built from
  inputs=$(ninja -C "$build_dir" -t inputs "$1") || return 1
  objects=$(echo "$inputs" | grep '\.obj$') || return 1
  {
    echo "$inputs"
    # shellcheck disable=SC2086 # one argument per object
    ninja -C "$build_dir" -t deps $objects | sed -n 's/^ \{4\}//p'
  } | grep "^$source_dir/" | sort -u
}

expect_none() {  # expect_none DESCRIPTION FILES
  if [ -n "$2" ]; then
    echo "FAILED: $1:"
    echo "$2"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

for shipped in bin/ombru.exe bin/log_viewer.exe; do
  if ! files=$(built_from "$shipped") || [ -z "$files" ]; then
    echo "FAILED: $shipped has no recorded inputs"
    failures=$((failures + 1))
    continue
  fi
  expect_none "$shipped is built from nothing of the lab, the tests, the benchmarks or the fuzzers" \
    "$(echo "$files" | grep -E "^$source_dir/(lab|tests|bench|fuzz)/" || true)"
  # shellcheck disable=SC2086 # one argument per file
  expect_none "no source of $shipped declares namespace lab" \
    "$(grep -lE 'namespace[[:space:]]+lab([^_[:alnum:]]|$)' $files || true)"
done

for stand_in in bin/runtime_stand_in.dll bin/log_collector.exe bin/netwin32/complete/NETWIN32.DLL \
  bin/netwin32/incomplete/NETWIN32.DLL bin/console/tsl.exe bin/service_stand_in.exe \
  bin/shell_stand_in.exe bin/waiter.exe bin/hung_application.exe; do
  if ! files=$(built_from "$stand_in"); then
    echo "FAILED: $stand_in has no recorded inputs"
    failures=$((failures + 1))
    continue
  fi
  expect_none "$stand_in is built from nothing of the program" \
    "$(echo "$files" | grep "^$source_dir/src/" || true)"
done

echo "$failures failed"
[ "$failures" -eq 0 ]
