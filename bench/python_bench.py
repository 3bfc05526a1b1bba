"""The Python package against the command line, on this machine, in one run.

usage: python_bench.py BUILD_DIR [REPEAT]

BUILD_DIR holds the trainer (velmar), the data generator
(bench/velmar_bench_data) and the package (python/velmar); bench/python.sh
builds them. Prints three tables:

  fit     training a 20,000 x 300 text-like set from a numpy array against the
          command line training the same values from a table: the training
          phase alone on both sides (each run's wall time less that of a run
          refused right after reading its input, EXPAND_CYCLES=0);
  map     mapping 1,000,000 x 20 float32 rows from numpy (map(), a whole
          DataFrame; predict(), the unit numbers) against velmar --map on the
          same rows as a table, on one thread and on every core;
  memory  the peak memory fit adds beyond the caller's X, dense and sparse.

Times are the median of REPEAT (default 5) runs, each pair run back to back.
"""

import json
import os
import warnings
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = pathlib.Path(sys.argv[1]).resolve()
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 5
sys.path.insert(0, str(BUILD / "python"))

import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

import velmar  # noqa: E402

WORK = pathlib.Path(tempfile.mkdtemp(prefix="velmar-pybench-"))
TEXT_SETTINGS = [("TAU_1", "0.07"), ("TAU_2", "0.02")]


def generate(kind, *args):
    path = WORK / f"{kind}-{'-'.join(map(str, args))}.csv"
    if not path.exists():
        subprocess.run([BUILD / "bench" / "velmar_bench_data", "--format=csv", kind, *map(str, args), path,
                        WORK / "unused.tv"], check=True, capture_output=True)
    return path


def cli_wall(folder, properties):
    (folder / "run.prop").write_text("".join(f"{k}={v}\n" for k, v in properties))
    start = time.perf_counter()
    done = subprocess.run([BUILD / "velmar", "run.prop"], cwd=folder, capture_output=True)
    return time.perf_counter() - start, done.returncode


def fit_wall(X, ids, names, threads, expand_cycles=25):
    h = velmar.Hierarchy(tau1=0.07, tau2=0.02, threads=threads, expand_cycles=expand_cycles)
    start = time.perf_counter()
    try:
        h.fit(X, ids=ids, component_names=names)
    except velmar.VelmarError:
        pass  # the load-only run: refused after reading
    return time.perf_counter() - start


def bench_fit():
    table = generate("text", 20000, 300, 8)
    frame = pd.read_csv(table, index_col=0, dtype={0: str})
    X, ids, names = frame.to_numpy(np.float64), list(frame.index), list(frame.columns)
    folder = WORK / "fit"
    (folder / "out").mkdir(parents=True, exist_ok=True)
    base = [("inputFile", str(table)), ("inputFormat", "csv"), ("savePath", "out"), ("saveAsHTML", "false")]
    rows = []
    for threads in (1, 0):
        cli, py = [], []
        for _ in range(REPEAT):
            full, status = cli_wall(folder, base + TEXT_SETTINGS + [("threads", threads)])
            load, refused = cli_wall(folder, base + TEXT_SETTINGS + [("threads", threads), ("EXPAND_CYCLES", 0)])
            assert status == 0 and refused == 1
            cli.append(full - load)
            py.append(fit_wall(X, ids, names, threads) - fit_wall(X, ids, names, threads, expand_cycles=0))
        rows.append((threads, statistics.median(cli), statistics.median(py)))
    print("\nfit: 20,000 x 300 text-like vectors (TAU_1=0.07, TAU_2=0.02), training phase, median of", REPEAT)
    print("| threads | command line s | fit s | fit / command line |")
    print("|---|---|---|---|")
    for threads, cli, py in rows:
        print(f"| {threads or 'every core'} | {cli:.3f} | {py:.3f} | {py / cli:.3f} |")


def bench_map():
    table = generate("clusters", 1000000, 20, 50)
    frame = pd.read_csv(table, index_col=0, dtype={0: str})
    X = frame.to_numpy(np.float32)
    sample = WORK / "sample.csv"
    frame.iloc[::50].to_csv(sample, index_label="id")
    folder = WORK / "map"
    (folder / "out").mkdir(parents=True, exist_ok=True)
    _, status = cli_wall(folder, [("inputFile", str(sample)), ("inputFormat", "csv"), ("savePath", "out"),
                                  ("TAU_1", "0.05"), ("TAU_2", "0.02"), ("saveAsHTML", "false"),
                                  ("saveModel", "true")])
    assert status == 0
    model = folder / "out" / "map_model.txt"
    h = velmar.load(model)
    # The same rows as the command line reads them from the table: mapped alike.
    cli_csv = folder / "mapped.csv"
    subprocess.run([BUILD / "velmar", "--map", model, table, cli_csv], check=True)
    mapped = pd.read_csv(cli_csv, dtype={"id": str})
    ours = h.set_params(threads=0).map(frame)
    assert (mapped["row"].to_numpy() == ours["row"].to_numpy()).all()
    assert (mapped["path"].to_numpy() == ours["path"].to_numpy()).all()
    rows = []
    for threads in (1, 0):
        h.set_params(threads=threads)
        cli, whole, units = [], [], []
        for _ in range(REPEAT):
            start = time.perf_counter()
            subprocess.run([BUILD / "velmar", "--map", model, table, cli_csv, "--threads", str(threads)], check=True)
            cli.append(time.perf_counter() - start)
            start = time.perf_counter()
            h.map(X)
            whole.append(time.perf_counter() - start)
            start = time.perf_counter()
            h.predict(X)
            units.append(time.perf_counter() - start)
        rows.append((threads, *(statistics.median(v) for v in (cli, whole, units))))
    maps = len(h.maps_)
    print(f"\nmap: 1,000,000 x 20 float32 rows through a model of {maps} maps, median of", REPEAT)
    print("| threads | velmar --map s | map() s | predict() s | velmar --map / map() |")
    print("|---|---|---|---|---|")
    for threads, cli, whole, units in rows:
        print(f"| {threads or 'every core'} | {cli:.3f} | {whole:.3f} | {units:.3f} | {cli / whole:.2f} |")
    one, every = rows[0], rows[1]
    print(f"map() on every core is {one[2] / every[2]:.2f} times one thread; predict() {one[3] / every[3]:.2f} times")


PEAK = """
import sys, numpy as np, scipy.sparse as sp
sys.path.insert(0, sys.argv[1])
import velmar

def status(field):  # kB
    for line in open("/proc/self/status"):
        if line.startswith(field + ":"):
            return int(line.split()[1]) * 1024

rng = np.random.RandomState(0)
X = rng.rand(20000, 300)
if sys.argv[2] == "sparse":
    X[X < 0.97] = 0
    X = sp.csr_matrix(X)
    size = X.data.nbytes + X.indices.nbytes + X.indptr.nbytes
else:
    size = X.nbytes
velmar.Hierarchy(tau2=1000.0, max_cycles=1, expand_cycles=1).fit(X[:2])
open("/proc/self/clear_refs", "w").write("5")  # the peak starts again from here
before = status("VmRSS")
h = velmar.Hierarchy(tau2=1000.0, max_cycles=1, expand_cycles=1).fit(X)
print(size, status("VmHWM") - before)
"""


def bench_memory():
    print("\nmemory: the peak that fit adds beyond the caller's X (20,000 x 300; sparse: 3 % not 0)")
    print("| X | X MiB | fit adds MiB | added / X |")
    print("|---|---|---|---|")
    for kind in ("dense", "sparse"):
        out = subprocess.run([sys.executable, "-c", PEAK, str(BUILD / "python"), kind], check=True,
                             capture_output=True, text=True).stdout.split()
        size, added = int(out[0]), int(out[1])
        print(f"| {kind} float64 | {size / 2**20:.1f} | {added / 2**20:.1f} | {added / size:.2f} |")


if __name__ == "__main__":
    warnings.simplefilter("ignore")  # numpy rows through a model of named columns
    print(json.dumps({"cores": os.cpu_count(), "repeat": REPEAT}))
    bench_fit()
    bench_map()
    bench_memory()
