#!/usr/bin/python3
"""Trains two real data sets under a grid of TAU_1 and TAU_2 values and prints
one Markdown table, a row per pair of values: for each data set the maps,
units, mean quantization error (QE), explained variance (EV), leaf purity and
the adjusted Rand index of the leaf units against the known classes (ARI),
all read from the run's summary file. The time of each run goes to standard
error.

The data sets are scikit-learn's wine (178 x 13) and digits (1797 x 64),
which Debian ships in python3-sklearn; pandas (python3-pandas) writes them as
tables and reads the summaries. Every run normalises with INTERVAL and uses
the seed 123456789, so the tables come out the same on any machine.

    /usr/bin/python3 bench/tau_sweep.py                  # build/velmar
    /usr/bin/python3 bench/tau_sweep.py --binary PATH --tau1 0.5 0.1 --tau2 0.05
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import pandas as pd
from sklearn.datasets import load_digits, load_wine

DATA_SETS = {"wine": load_wine, "digits": load_digits}


def write_data_set(name, folder):
    """The data set as a table (identifier column "id") and its class file."""
    bunch = DATA_SETS[name]()
    table = pd.DataFrame(bunch.data, columns=[str(c).replace(" ", "_") for c in bunch.feature_names])
    ids = [f"{name}_{k}" for k in range(len(table))]
    table.insert(0, "id", ids)
    table.to_csv(os.path.join(folder, name + ".csv"), index=False)
    classes = pd.DataFrame({"id": ids, "class": [str(bunch.target_names[t]) for t in bunch.target]})
    classes.to_csv(os.path.join(folder, name + "_classes.csv"), index=False)
    return table.shape


def train(binary, folder, name, tau1, tau2):
    """One run; returns its summary's hierarchy figures and the seconds it took."""
    out = os.path.join(folder, f"{name}-{tau1}-{tau2}")
    os.mkdir(out)
    props = os.path.join(out, "run.prop")
    with open(props, "w") as f:
        f.write(f"inputFile={folder}/{name}.csv\ninputFormat=csv\nidColumn=id\nclassFile={folder}/{name}_classes.csv\n"
                f"savePath={out}\nsaveAsHTML=false\nsaveSummary=true\nnormInputVectors=INTERVAL\n"
                f"randomSeed=123456789\nTAU_1={tau1}\nTAU_2={tau2}\nquiet=true\n")
    start = time.monotonic()
    run = subprocess.run([binary, props], capture_output=True, text=True)
    seconds = time.monotonic() - start
    if run.returncode != 0:
        sys.exit(f"{name} TAU_1={tau1} TAU_2={tau2}: velmar failed:\n{run.stdout}{run.stderr}")
    with open(os.path.join(out, "map_summary.json")) as f:
        summary = json.load(f)
    # pd.read_json cannot read the summary (its parts differ in shape); json_normalize reads each part.
    maps = pd.json_normalize(summary["maps"])
    hierarchy = summary["hierarchy"]
    assert len(maps) == hierarchy["maps"]
    return hierarchy, seconds


def sweep(binary, folder, names, tau1s, tau2s):
    """One row per pair of values, the figures of every data set side by side."""
    header, rule = "| `TAU_1` | `TAU_2` |", "|---|---|"
    for name in names:
        rows, cols = write_data_set(name, folder)
        print(f"{name}: {rows} vectors, {cols - 1} components", file=sys.stderr)
        header += f" {name}: maps | units | QE | EV | purity | ARI |"
        rule += "---|" * 6
    print(header + "\n" + rule)
    for tau1 in tau1s:
        for tau2 in tau2s:
            row = f"| {tau1} | {tau2} |"
            for name in names:
                h, seconds = train(binary, folder, name, tau1, tau2)
                print(f"{name} TAU_1={tau1} TAU_2={tau2}: {seconds:.2f} s", file=sys.stderr)
                row += (f" {h['maps']} | {h['units']} | {h['meanQuantizationError']:.3f} | "
                        f"{h['explainedVariance']:.3f} | {h['purity']:.3f} | {h['adjustedRandIndex']:.2f} |")
            print(row, flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", default="build/velmar")
    parser.add_argument("--data", nargs="+", default=list(DATA_SETS), choices=list(DATA_SETS))
    parser.add_argument("--tau1", nargs="+", default=["0.5", "0.25", "0.1", "0.05"])
    parser.add_argument("--tau2", nargs="+", default=["0.1", "0.05", "0.02", "0.01"])
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    with tempfile.TemporaryDirectory(prefix="velmar-tau-") as folder:
        sweep(binary, folder, args.data, args.tau1, args.tau2)


if __name__ == "__main__":
    main()
