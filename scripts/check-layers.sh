#!/bin/sh
# Fails, naming file and line, on any include that breaks the layering:
#   - in src/, a floor includes only itself and the floors below it:
#       app > monitor > runtime_link > log > framework; failure beside framework; res for all;
#     nothing in src/ includes anything outside src/ (the lab, the tools, the tests, the
#     benchmarks);
#   - the lab (stand-ins, drivers and what they share) includes nothing outside lab/: a witness
#     shares no code with what it witnesses;
#   - the shipped log viewer includes nothing but itself and src/.
#
#   check-layers.sh [ROOT]   (default: the repository this script belongs to)
set -eu
root="$(cd "${1:-$(dirname "$0")/..}" && pwd)"
cd "$root"

# The floors of src/ a floor may include.
floors_below() {
  case "$1" in
  framework) echo "framework" ;;
  failure) echo "failure" ;;
  log) echo "log framework" ;;
  runtime_link) echo "runtime_link log framework" ;;
  monitor) echo "monitor runtime_link log framework res" ;;
  app) echo "app monitor runtime_link log framework failure res" ;;
  *) echo "" ;;
  esac
}

# Where an include lands: beside the including file first, then in the include roots of its part
# of the tree; nothing when it lands nowhere.
resolve() {  # resolve FILE NAME ROOT...
  file="$1"
  name="$2"
  shift 2
  for base in "${file%/*}" "$@"; do
    if [ -f "$base/$name" ]; then
      case "$base/$name" in
      *..*) realpath -m --relative-to="$root" "$base/$name" ;;
      *) echo "$base/$name" ;;
      esac
      return
    fi
  done
}

violations=$(
  grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src lab tools/log_viewer \
    --include='*.h' --include='*.cpp' --include='*.S' |
    while IFS= read -r hit; do
      file="${hit%%:*}"
      rest="${hit#*:}"
      line="${rest%%:*}"
      name="${rest#*\"}"
      name="${name%%\"*}"
      case "$file" in
      src/*)
        target=$(resolve "$file" "$name" src)
        floor="${file#src/}"
        floor="${floor%%/*}"
        case "$target" in
        src/*)
          used="${target#src/}"
          used="${used%%/*}"
          case " $(floors_below "$floor") " in
          *" $used "*) ;;
          *) echo "$file:$line: $floor includes $target, which is not below it" ;;
          esac
          ;;
        *) echo "$file:$line: includes \"$name\", which is not part of the program" ;;
        esac
        ;;
      lab/*)
        target=$(resolve "$file" "$name" lab)
        case "$target" in
        lab/*) ;;
        *) echo "$file:$line: includes \"$name\" from outside the lab" ;;
        esac
        ;;
      tools/log_viewer/*)
        target=$(resolve "$file" "$name" tools src)
        case "$target" in
        tools/log_viewer/* | src/*) ;;
        *) echo "$file:$line: the shipped viewer includes \"$name\", which does not ship" ;;
        esac
        ;;
      esac
    done
)

if [ -n "$violations" ]; then
  echo "$violations"
  echo "check-layers: $(echo "$violations" | wc -l) include(s) against the layering" >&2
  exit 1
fi
echo "check-layers: every include keeps the layering"
