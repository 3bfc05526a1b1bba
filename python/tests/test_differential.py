"""The Python package trains, writes, saves and maps exactly what the command
line does for the same values: every file compared byte for byte, but for
the lines that name the input file and the clock."""

import os
import pathlib
import re
import subprocess

import numpy as np
import pandas as pd
import pytest
import scipy.sparse as sp

import velmar
from conftest import EXAMPLES, rng, run_cli, without_run_lines, write_sparse, write_table

OUTPUTS = [("saveAsHTML", "html"), ("saveOverview", "overview"), ("saveAssignments", "assignments"),
           ("saveAsCartix", "map_library"), ("saveSummary", "summary")]


def comparable(path, input_name):
    """A file's text with the input file's name and the clock's lines set aside."""
    text = path.read_bytes().decode("latin-1").replace(input_name, "(memory)")
    text = re.sub(r"\$(STORAGE_DATE|TRAINING_TIME) .*", "", text)
    text = re.sub(r"<tr><th>Training time</th><td>[^<]*</td></tr>", "", text)
    text = re.sub(r'"trainingSeconds": [^,}]*', "", text)
    return without_run_lines(text) if path.suffix in (".json", ".txt") else text


def train_both(tmp_path, binary, X, params, properties, input_file, write_input, y=None, ids=None, names=None):
    """Fits in Python and runs the command line on the same values; returns the fitted estimator."""
    h = velmar.Hierarchy(**params).fit(X, y=y, ids=ids, component_names=names)
    py = tmp_path / "py"
    py.mkdir()
    h.save(py / "model.txt")
    here = pathlib.Path.cwd()
    try:  # the files name each other by the folder as given, relative in both runs
        os.chdir(py)
        h.write("out", **{name: True for _, name in OUTPUTS})
    finally:
        os.chdir(here)
    cli = tmp_path / "cli"
    (cli / "out").mkdir(parents=True)
    write_input(cli / input_file)
    switches = [(key, "true") for key, _ in OUTPUTS] + [("saveModel", "true")]
    run_cli(binary, cli, [("inputFile", input_file), ("savePath", "out")] + properties + switches)
    return h, py, cli


def assert_same_run(py, cli, input_file):
    assert without_run_lines((py / "model.txt").read_text()) == without_run_lines(
        (cli / "out" / "map_model.txt").read_text())
    written = sorted(p.name for p in (py / "out").iterdir())
    assert written == sorted(p.name for p in (cli / "out").iterdir() if p.name != "map_model.txt")
    for name in written:
        assert comparable(py / "out" / name, input_file) == comparable(cli / "out" / name, input_file), name


def assert_same_mapping(h, X, cli, binary, input_file, ids):
    csv = subprocess.run([binary, "--map", "out/map_model.txt", input_file], cwd=cli, capture_output=True,
                         check=True).stdout.decode()
    table = h.map(X, ids=ids)
    lines = ["id,map,level,column,row,distance,path"] + [
        f'{r.id},{r.map},{r.level},{r.column},{r.row},{float(r.distance):.10g},"{r.path}"'
        for r in table.itertuples()]
    assert csv.split("\r\n")[:-1] == lines
    assert (h.predict(X) == h.labels_).all()


@pytest.mark.parametrize("normalisation,orientation,threads", [
    ("none", False, 1), ("length", True, 2), ("interval", False, 3)])
def test_dense_float64_runs_as_on_the_command_line(tmp_path, binary, normalisation, orientation, threads):
    X = rng(1).rand(300, 6) * [1, 2, 3, 4, 5, 100]
    X[:40] += 3.0  # a cluster to expand
    ids = [f"v{k}" for k in range(len(X))]
    params = dict(tau1=0.2, tau2=0.01, normalisation=normalisation, orientation=orientation, threads=threads)
    properties = [("inputFormat", "csv"), ("TAU_1", "0.2"), ("TAU_2", "0.01"), ("randomSeed", "123456789"),
                  ("normInputVectors", normalisation.upper()), ("ORIENTATION", str(orientation).lower()),
                  ("threads", str(threads))]
    h, py, cli = train_both(tmp_path, binary, X, params, properties, "data.csv",
                            lambda p: write_table(p, X, ids), ids=ids, names=[f"c{k}" for k in range(6)])
    assert len(h.maps_) > 1
    assert_same_run(py, cli, "data.csv")
    assert_same_mapping(h, X, cli, binary, "data.csv", ids)


def test_float32_in_fortran_order_reads_as_nine_digits(tmp_path, binary):
    X = np.asfortranarray(rng(2).standard_normal((250, 5)).astype(np.float32))
    properties = [("inputFormat", "csv"), ("TAU_2", "0.05"), ("randomSeed", "7")]
    h, py, cli = train_both(tmp_path, binary, X, dict(tau2=0.05, random_seed=7), properties, "data.csv",
                            lambda p: write_table(p, X, None, [str(k) for k in range(1, 6)], digits=9))
    assert_same_run(py, cli, "data.csv")


def test_sparse_with_classes_runs_as_on_the_command_line(tmp_path, binary):
    X = sp.random(240, 60, density=0.08, format="csr", random_state=3, dtype=np.float64)
    X = X + sp.csr_matrix((np.ones(240), (np.arange(240), np.arange(240) % 60)), shape=(240, 60))
    ids = [f"d{k}" for k in range(240)]
    classes = [f"topic{k % 4}" for k in range(240)]
    properties = [("inputFormat", "sparse"), ("components", "60"), ("normInputVectors", "LENGTH"),
                  ("TAU_1", "0.1"), ("TAU_2", "0.02"), ("randomSeed", "123456789"), ("classFile", "classes.csv")]

    def write_input(path):
        write_sparse(path, X, ids)
        path.with_name("classes.csv").write_text("id,topic\n" + "".join(f"{i},{c}\n" for i, c in zip(ids, classes)))

    h, py, cli = train_both(tmp_path, binary, X, dict(tau1=0.1, tau2=0.02, normalisation="length"), properties,
                            "docs.sparse", write_input, y=classes, ids=ids)
    assert_same_run(py, cli, "docs.sparse")
    assert_same_mapping(h, X, cli, binary, "docs.sparse", ids)


def test_a_table_from_pandas_runs_as_the_example(tmp_path, binary):
    iris = pd.read_csv(EXAMPLES / "iris.csv", index_col="id")
    species = pd.read_csv(EXAMPLES / "iris_classes.csv", index_col="id")["species"]
    params = dict(tau1=0.03, tau2=0.02, normalisation="interval")
    properties = [("inputFormat", "csv"), ("TAU_1", "0.03"), ("TAU_2", "0.02"), ("normInputVectors", "INTERVAL"),
                  ("randomSeed", "123456789"), ("classFile", "classes.csv")]

    def write_input(path):
        path.write_bytes((EXAMPLES / "iris.csv").read_bytes())
        path.with_name("classes.csv").write_bytes((EXAMPLES / "iris_classes.csv").read_bytes())

    h, py, cli = train_both(tmp_path, binary, iris, params, properties, "iris.csv", write_input,
                            y=species.loc[iris.index])
    assert list(h.feature_names_in_) == list(iris.columns)
    assert h.summary_["hierarchy"]["maps"] == len(h.maps_)
    assert_same_run(py, cli, "iris.csv")
    assert_same_mapping(h, iris, cli, binary, "iris.csv", None)


def test_any_number_of_threads_trains_the_same_hierarchy():
    X = rng(4).rand(2000, 40)
    models = [velmar.Hierarchy(tau2=0.02, threads=t).fit(X)._model.text() for t in (1, 2, 3)]
    strip = [re.sub(rb"setting threads=\d+\n", b"", m) for m in models]
    assert strip[0] == strip[1] == strip[2]
