#!/usr/bin/env bash
# Runs the benchmark programs of a build and prints how the measured times compare with
# their goals on this machine:
#   conversion pass, with and without dithering     against 0.5 ms
#   the same with the low-flicker dithering          against 0.5 ms
#   the slowest automatic colour search              against 250 ms
#   one slider step in the window (chain + repaint)  against 5 ms
#   opening a 6000 x 4000 JPEG                       against djpeg -dct float on the same file (1.2)
#   peak memory of that open                         against the decoded 32-bit bitmap (1.15)
# Usage: scripts/run-benchmarks.sh [build folder]   (default: build)
# Benchmarks measure best on an otherwise idle machine.
set -euo pipefail

build=${1:-build}
bench="$build/bench"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

if [ ! -x "$bench/convert_bench" ]; then
  echo "run-benchmarks: no benchmark programs in $bench (is libbenchmark-dev installed?)" >&2
  exit 1
fi

# Every program, with its own output shown; JSON copies for the summary.
for program in "$bench"/*_bench; do
  name=$(basename "$program")
  echo "== $name"
  case "$name" in
    decode_bench) extra=(--benchmark_filter=BM_DecodeJpegFile) ;;
    *) extra=() ;;
  esac
  "$program" "${extra[@]}" --benchmark_out="$out/$name.json" --benchmark_out_format=json
  echo
done

# The decode benchmark leaves its 6000 x 4000 file in the temporary folder and names it
# in its label; djpeg and the memory helper open the very same file.
python3 - "$out" "$bench" <<'PY'
import json, os, subprocess, sys, time

out, bench = sys.argv[1], sys.argv[2]

def results(name):
    path = os.path.join(out, name + ".json")
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        return {b["name"]: b for b in json.load(f)["benchmarks"]}

def find(table, prefix):
    """The first result whose name is `prefix` or starts with it plus "/"."""
    for name, b in table.items():
        if name == prefix or name.startswith(prefix + "/"):
            return b
    return None

def ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * scale

def line(what, measured, goal, unit, ratio_goal):
    ratio = measured / goal
    verdict = "met" if ratio <= ratio_goal else "MISSED"
    print(f"  {what:44s} {measured:9.3f} {unit:3s} / {goal:8.3f} {unit:3s} = {ratio:5.2f}"
          f"  (goal <= {ratio_goal:.2f}: {verdict})")

print("== Ratios on this machine")
convert = results("convert_bench")
# dither:1 Floyd-Steinberg, 0 none, 2 low flicker (the order of the choices).
for dither, what in ((1, "Floyd-Steinberg"), (0, "no dithering"), (2, "low-flicker dithering")):
    b = find(convert, f"BM_ConvertPicture/dither:{dither}")
    if b:
        line(f"conversion pass, {what}", ms(b), 0.5, "ms", 1.0)

colours = results("auto_colours_bench")
searches = [b for name, b in colours.items() if name.startswith("BM_SearchColourRoles/")]
if searches:
    slowest = max(searches, key=ms)
    line(f"slowest auto-colour search ({slowest['name'].split('/', 1)[1]})", ms(slowest), 250.0,
         "ms", 1.0)

slider = results("window_slider_bench")
b = find(slider, "BM_SliderStep/progress_bar:1")
if b:
    line("slider step (chain + repaint of both views)", ms(b), 5.0, "ms", 1.0)
else:
    print("  slider step: not built (the window is off in this build)")

b = find(results("decode_bench"), "BM_DecodeJpegFile")
if b and b.get("label"):
    jpeg = b["label"]
    best = None
    for _ in range(5):
        start = time.perf_counter()
        subprocess.run(["djpeg", "-dct", "float", "-outfile", os.devnull, jpeg], check=True)
        elapsed = (time.perf_counter() - start) * 1000.0
        best = elapsed if best is None else min(best, elapsed)
    line("open 6000 x 4000 JPEG vs djpeg -dct float", ms(b), best, "ms", 1.2)
    peak, bitmap, ratio = subprocess.run(
        [os.path.join(bench, "open_peak_memory"), jpeg],
        check=True, capture_output=True, text=True).stdout.split()
    line("peak memory of that open vs its bitmap", float(peak) / 2**20, float(bitmap) / 2**20,
         "MiB", 1.15)
else:
    print("  open: the decode benchmark did not run")
PY
