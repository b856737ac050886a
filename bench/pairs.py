#!/usr/bin/env python3
"""Sums up paired rounds of a benchmark: each round is one hyperfine JSON export holding one run
of our command and one of the baseline, made back to back, so that a slow spell of a shared
machine hits both sides of a round alike. Prints one table line:

  LABEL  ours_median_s  base_median_s  median_of_round_ratios  cpu_ratio  target  met  spread

Usage: pairs.py LABEL OURS BASE OP TARGET ROUND.json [ROUND.json ...]
  OP is "<=" or ">="; the wall ratio is ours / base per round.
"""
import json
import statistics
import sys


def main():
    if len(sys.argv) < 7:
        sys.exit(__doc__)
    label, ours, base, op, target = sys.argv[1:6]
    target = float(target)
    walls = {ours: [], base: []}
    cpus = {ours: [], base: []}
    ratios = []
    for path in sys.argv[6:]:
        with open(path) as f:
            results = {r["command"]: r for r in json.load(f)["results"]}
        for name in (ours, base):
            walls[name].append(results[name]["median"])
            cpus[name].append(results[name]["user"] + results[name]["system"])
        ratios.append(results[ours]["median"] / results[base]["median"])
    ratio = statistics.median(ratios)
    cpu = statistics.median(cpus[ours]) / statistics.median(cpus[base])
    met = ratio <= target if op == "<=" else ratio >= target
    print(f"{label:<28} {statistics.median(walls[ours]):9.2f} {statistics.median(walls[base]):9.2f} "
          f"{ratio:7.3f} {cpu:7.3f}   {op + ' ' + str(target):<8} {'yes' if met else 'NO':<4} "
          f"{min(ratios):.3f}..{max(ratios):.3f} over {len(ratios)} rounds")


if __name__ == "__main__":
    main()
