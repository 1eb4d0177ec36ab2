#!/usr/bin/env python3
"""Frame costs of the whole show per timeline entry, from headless runs of
invitation-capture: frame count, median, 99th percentile (nearest rank) and
maximum of the entry's frame costs (each frame's drawing with the GL
pipeline finished, after loading), and, with --counter, the code the
renderer compiled during the entry's frames.

    frame_costs.py INVITATION_CAPTURE [--runs N] [--counter LIBCOMPILE_COUNTER.so]
                   [--shader-cache]
    frame_costs.py --from RUN_DIR...

--from reads runs made elsewhere instead, each RUN_DIR holding show.log and
timings.log (the web page's, from tests/web/web_frame_costs.mjs).

With --runs N each frame keeps its smallest cost over N runs, which takes
out most of what other processes on the machine add. Mesa's on-disk shader
cache is off unless --shader-cache is given: the figures are those of a
first run on a viewer's machine."""
import argparse
import collections
import os
import subprocess
import sys
import tempfile

parser = argparse.ArgumentParser()
parser.add_argument("capture", nargs="?")
parser.add_argument("--from", dest="run_dirs", nargs="+", default=[])
parser.add_argument("--runs", type=int, default=1)
parser.add_argument("--counter", help="compile_counter shared object to preload")
parser.add_argument("--shader-cache", action="store_true")
args = parser.parse_args()

env = dict(os.environ)
if not args.shader_cache:
    env["MESA_SHADER_CACHE_DISABLE"] = "true"

if not args.capture and not args.run_dirs:
    parser.error("give INVITATION_CAPTURE or --from RUN_DIR...")


def keep_best(frame_entries, frame_costs):
    """Each frame keeps its smallest cost over the runs."""
    global costs, entries
    if costs is None:
        costs, entries = frame_costs, frame_entries
    elif frame_entries != entries:
        sys.exit("frame_costs: the runs' logs differ")
    else:
        costs = [min(a, b) for a, b in zip(costs, frame_costs)]


costs, entries, compiles = None, None, None
for run_dir in args.run_dirs:
    keep_best([int(line.split()[4]) for line in open(os.path.join(run_dir, "show.log"))],
              [int(line.split()[1]) for line in open(os.path.join(run_dir, "timings.log"))])
if args.run_dirs:
    args.runs = len(args.run_dirs)
with tempfile.TemporaryDirectory() as work:
    log, timings, compile_log = (os.path.join(work, name) for name in ("log", "timings", "compiles"))
    for run in range(args.runs if args.capture and not args.run_dirs else 0):
        run_env = dict(env)
        if args.counter:
            run_env["LD_PRELOAD"] = os.path.abspath(args.counter)
            run_env["INVITATION_COMPILE_LOG"] = compile_log
        subprocess.run([args.capture, "--log", log, "--timings", timings], check=True, env=run_env)
        keep_best([int(line.split()[4]) for line in open(log)], [int(line.split()[1]) for line in open(timings)])
        if args.counter and compiles is None:
            lines = [line.split() for line in open(compile_log)]
            total_swaps = int(lines[-1][1])
            loading_swaps = total_swaps - len(entries)
            compiles = collections.Counter()
            compiles["loading"] = 0
            for kind, swaps, _name in (line for line in lines if line[0] == "compile"):
                frame = int(swaps) - loading_swaps
                compiles[entries[frame] if frame >= 0 else "loading"] += 1


def quantile(sorted_values, q):
    rank = max(1, -(-len(sorted_values) * q // 100))
    return sorted_values[rank - 1]


def row(name, values, compiled):
    values = sorted(values)
    line = (f"{name:>7} {len(values):7} {quantile(values, 50) / 1000:9.2f} "
            f"{quantile(values, 99) / 1000:9.2f} {values[-1] / 1000:9.2f}")
    return line + (f" {compiled:9}" if compiles is not None else "")


print(f"{'entry':>7} {'frames':>7} {'median':>9} {'p99':>9} {'max':>9}"
      + (f" {'compiles':>9}" if compiles is not None else "")
      + f"   (ms; {args.runs} run(s)"
      + ("" if args.run_dirs else f", shader cache {'on' if args.shader_cache else 'off'}") + ")")
if compiles is not None:
    print(f"{'loading':>7} {'':7} {'':9} {'':9} {'':9} {compiles['loading']:9}")
for entry in sorted(set(entries)):
    print(row(str(entry), [c for c, e in zip(costs, entries) if e == entry],
              compiles[entry] if compiles is not None else 0))
print(row("all", costs, sum(v for k, v in compiles.items() if k != "loading") if compiles else 0))
