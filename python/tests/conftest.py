"""Shared pieces of the Python tests: the command-line binary to compare
with, and runs of it in a temporary folder."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
BINARY = pathlib.Path(os.environ.get("VELMAR_BINARY", ROOT / "build" / "velmar")).resolve()
EXAMPLES = ROOT / "examples"

# Keys of a run that name its files and outputs; the rest of a model's or a
# summary's record of settings is the training's and must agree.
RUN_KEYS = (
    "inputFile", "descriptionFile", "savePath", "printMQE", "saveAsHTML", "saveAsCartix", "saveOverview",
    "saveAssignments", "saveSummary", "saveModel", "classFile", "inputFormat", "separator", "idColumn",
    "components", "quiet",
)


@pytest.fixture(scope="session")
def binary():
    if not BINARY.exists():
        pytest.fail(f"the command line {BINARY} is not built (set VELMAR_BINARY)")
    return str(BINARY)


def run_cli(binary, folder, properties, *args, stdin=None):
    """Runs velmar in `folder` with a property file of `properties` (pairs)."""
    folder = pathlib.Path(folder)
    (folder / "run.prop").write_text("".join(f"{k}={v}\n" for k, v in properties))
    command = [binary, *args] if args else [binary, "run.prop"]
    return subprocess.run(command, cwd=folder, input=stdin, capture_output=True, check=True)


def write_table(path, X, ids=None, names=None, digits=17):
    """X as a table with the digits that give every value back; without
    `ids`, no identifier column (the rows are numbered)."""
    names = names or [f"c{k}" for k in range(X.shape[1])]
    with open(path, "w") as f:
        f.write(("id," if ids else "") + ",".join(names) + "\n")
        for k, row in enumerate(X):
            f.write((ids[k] + "," if ids else "") + ",".join(format(float(v), f".{digits}g") for v in row) + "\n")


def write_sparse(path, X, ids):
    """A CSR matrix as sparse vector lines (1-based indices)."""
    X = X.tocsr()
    with open(path, "w") as f:
        for k, id_ in enumerate(ids):
            row = X.getrow(k)
            pairs = " ".join(f"{i + 1}:{float(v):.17g}" for i, v in zip(row.indices, row.data))
            f.write(f"{id_} {pairs}\n")


def without_run_lines(text):
    """A model's or summary's text without the lines that name the run's files and outputs."""
    kept = []
    for line in text.splitlines():
        stripped = line.strip()
        if any(stripped.startswith(f"setting {key}") or stripped.startswith(f'"{key}"') for key in RUN_KEYS):
            continue
        kept.append(line)
    return "\n".join(kept)


def rng(seed=0):
    return np.random.RandomState(seed)


def pytest_sessionfinish(session, exitstatus):
    """Where the Python tests are required (CI), a skipped test fails the run."""
    if os.environ.get("VELMAR_REQUIRE_PYTHON") != "1":
        return
    reporter = session.config.pluginmanager.get_plugin("terminalreporter")
    skipped = reporter.stats.get("skipped", []) if reporter is not None else []
    if skipped:
        reporter.write_line(f"{len(skipped)} Python tests were skipped, but VELMAR_REQUIRE_PYTHON=1 requires them all")
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
