#!/usr/bin/env bash
# Runs the benchmark programs of a build and prints how the measured times compare with
# their goals on this machine:
#   conversion pass, with and without dithering     against 0.5 ms
#   the same with the low-flicker dithering          against 0.5 ms
#   the slowest automatic colour search              against 250 ms
#   packing an executable (the slower sample photo)  against 200 ms
#   the search for colours per cell (slowest window) against 3 x that window's Auto Colors
#   one slider step in the window (chain + repaint)  against 5 ms
#   opening a 6000 x 4000 JPEG                       against djpeg -dct float on the same file (1.2)
#   peak memory of that open                         against the decoded 32-bit bitmap (1.15)
#   opening it at Fit and converting, whole process  against djpeg -dct float (0.5)
#   peak memory of that run                          against the full-size 32-bit bitmap (0.5)
#   one step of the scale, one pixel of scrolling    against a 60 Hz frame, 16.7 ms
#   (chain without repaint, on the open photo; the first step to Fit decodes once)
#   and last the command line on hostile files (bench/hostile_files.sh): time and peak memory
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
    decode_bench) extra=(--benchmark_filter='BM_DecodeJpegFile|BM_PhotoOpenAt100') ;;
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

packs = [b for name, b in results("pack_bench").items() if name.startswith("BM_PackExecutable/")]
if packs:
    slowest = max(packs, key=ms)
    line(f"packing an executable ({slowest['name'].split('/', 1)[1]})", ms(slowest), 200.0, "ms",
         1.0)

b = find(colours, "BM_CellColoursTable")
if b and "worst_time_ratio" in b:
    line("colours per cell vs Auto Colors (slowest window)", b["worst_time_ratio"], 1.0, "x", 3.0)

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
    photo = find(results("decode_bench"), "BM_PhotoOpenAt100")
    if photo:
        line("open at 100 % through Photo vs DecodeJpegFile", ms(photo), ms(b), "ms", 1.1)
    # vantrel-convert as a whole process, its peak memory read by a process of its own.
    cli = os.path.join(os.path.dirname(bench.rstrip("/")), "cli", "vantrel-convert")

    def convert(scale):
        measure = ("import resource, subprocess, sys; subprocess.run(sys.argv[1:], check=True); "
                   "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024)")
        start = time.perf_counter()
        run = subprocess.run([sys.executable, "-c", measure, cli, jpeg, "--scale", scale, "-o",
                              os.devnull], check=True, capture_output=True, text=True)
        return (time.perf_counter() - start) * 1000.0, float(run.stdout)

    bitmap = 6000 * 4000 * 4
    _, peak100 = convert("100")
    line("peak memory of vantrel-convert at 100 % vs its bitmap", peak100 / 2**20,
         bitmap / 2**20, "MiB", 1.15)
    # The command line's open at Fit, as a whole process: best of five against djpeg's best
    # (the python that measures the memory starts first, and its start is not counted).
    fit_best, fit_peak = None, None
    for _ in range(5):
        start = time.perf_counter()
        subprocess.run([cli, jpeg, "--scale", "fit", "-o", os.devnull], check=True)
        elapsed = (time.perf_counter() - start) * 1000.0
        fit_best = elapsed if fit_best is None else min(fit_best, elapsed)
    _, fit_peak = convert("fit")
    line("vantrel-convert big.jpg --scale fit vs djpeg", fit_best, best, "ms", 0.5)
    line("peak memory of that run vs the full bitmap", fit_peak / 2**20, bitmap / 2**20, "MiB",
         0.5)
else:
    print("  open: the decode benchmark did not run")

scale = results("window_scale_bench")
frame = 1000.0 / 60.0
for name, what in (("BM_ScaleStep/0", "window: scale step Fit <-> Fit + 1 (24 MP)"),
                   ("BM_ScaleStep/37", "window: scale step 37 % <-> 38 % (24 MP)"),
                   ("BM_ScrollStep/0", "window: scroll step at Fit (24 MP)"),
                   ("BM_ScrollStep/37", "window: scroll step at 37 % (24 MP)")):
    b = find(scale, name)
    if b:
        line(what, ms(b), frame, "ms", 1.0)
b = find(scale, "BM_FirstStepToFit/iterations:5")
if b:
    print(f"  window: first step to Fit after opening (decodes the 1/8 level once): {ms(b):.1f} ms")
PY

echo
echo "== Hostile files on the command line (each within 2 s and 1.2 GiB)"
"$(dirname "$0")/../bench/hostile_files.sh" "$build"
