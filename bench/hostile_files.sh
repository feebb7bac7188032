#!/usr/bin/env bash
# Runs vantrel-convert on each hostile file (written by make_hostile_files) and on
# /dev/zero, and prints the wall time and peak resident memory of each run with how it
# ended. Each is meant to end within 2 s and 1.2 GiB. Each run's address space is capped
# at 4 GiB, so that one that does not keep to that cannot take the machine's memory, and a
# run still going after 20 s (one waiting on the FIFO) is stopped.
# Usage: bench/hostile_files.sh [build folder]   (default: build)
set -euo pipefail

build=${1:-build}
cli="$build/cli/vantrel-convert"
maker="$build/bench/make_hostile_files"
for program in "$cli" "$maker"; do
  if [ ! -x "$program" ]; then
    echo "hostile_files: $program is not built (make bench builds it)" >&2
    exit 1
  fi
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$maker" "$out/files"

printf '%-22s %9s %8s %9s  %s\n' file bytes seconds "peak MiB" "how it ended"
for file in "$out"/files/* /dev/zero; do
  status=0
  (ulimit -v $((4 << 20)) && exec /usr/bin/time -o "$out/time" -f '%e %M' \
    timeout 20 "$cli" "$file" -o "$out/out.prg") >/dev/null 2>"$out/err" </dev/null || status=$?
  read -r seconds kib < <(tail -n 1 "$out/time")
  size=$([ -f "$file" ] && stat -c %s "$file" || echo -)
  if [ "$status" -eq 0 ]; then
    ended="converted"
  elif [ "$status" -eq 124 ]; then
    ended="still waiting after 20 s: stopped"
  elif [ "$status" -gt 128 ]; then
    ended="killed by signal $((status - 128))"
  else
    ended=$(head -n 1 "$out/err" | sed "s|$out/files/||")
  fi
  printf '%-22s %9s %8s %9d  %s\n' "$(basename "$file")" "$size" "$seconds" \
    $((kib / 1024)) "$ended"
done
