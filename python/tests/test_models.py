"""Models travel: saved, loaded, pickled, and a failed or stopped run leaves
the process as it was."""

import os
import pickle
import signal
import threading
import time

import numpy as np
import pytest

import velmar
from conftest import rng, run_cli, write_table


def test_pickled_and_loaded_models_map_alike(tmp_path):
    X = rng(8).rand(200, 4)
    h = velmar.Hierarchy(tau2=0.03).fit(X)
    summary = h.summary_
    copy = pickle.loads(pickle.dumps(h))
    assert (copy.predict(X) == h.predict(X)).all() and copy.summary_ == summary
    h.save(tmp_path / "model.txt")
    loaded = velmar.load(tmp_path / "model.txt")
    assert (loaded.predict(X) == h.predict(X)).all()
    assert loaded.get_params() == h.get_params()
    assert [m.shape for m in loaded.maps_] == [m.shape for m in h.maps_]
    with pytest.raises(Exception, match="write needs"):
        loaded.write(tmp_path / "out")


def test_a_command_line_setup_carries_over(tmp_path, binary):
    X = rng(9).rand(150, 3)
    write_table(tmp_path / "x.csv", X, [f"v{k}" for k in range(150)])
    properties = [("inputFile", "x.csv"), ("inputFormat", "csv"), ("savePath", "."), ("saveAsHTML", "false"),
                  ("saveModel", "true"), ("TAU_1", "0.1"), ("TAU_2", "0.03"), ("normInputVectors", "LENGTH"),
                  ("randomSeed", "42")]
    run_cli(binary, tmp_path, properties)
    from_file = velmar.Hierarchy.from_properties(tmp_path / "run.prop")
    assert (from_file.tau1, from_file.normalisation, from_file.random_seed) == (0.1, "length", 42)
    loaded = velmar.load(tmp_path / "map_model.txt")
    assert loaded.get_params() == from_file.get_params()
    assert (from_file.fit(X).predict(X) == loaded.predict(X)).all()
    with pytest.warns(velmar.VelmarWarning):
        velmar.Hierarchy.from_properties({"TAU_1": "10%"})


def test_ctrl_c_stops_fit_soon_and_the_next_fit_is_as_in_a_fresh_process():
    small = rng(10).rand(100, 3)
    before = velmar.Hierarchy().fit(small)._model.text()
    big = rng(11).rand(20000, 60)
    timer = threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT))
    started = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        velmar.Hierarchy(tau1=0.001, tau2=0.0001).fit(big)
    stopped = time.monotonic() - started - 0.5
    print(f"fit stopped {stopped:.3f} s after Ctrl-C")
    assert stopped < 0.5, f"fit took {stopped:.3f} s to stop"
    assert velmar.Hierarchy().fit(small)._model.text() == before
    with pytest.raises(velmar.VelmarError):
        velmar.Hierarchy(expand_cycles=0).fit(small)
    assert velmar.Hierarchy().fit(small)._model.text() == before


def test_hierarchies_set_aside_write_what_they_trained(tmp_path):
    first = velmar.Hierarchy(tau2=0.03).fit(rng(13).rand(120, 3))
    first.write(tmp_path / "before", map_library=True, summary=True)
    other = velmar.Hierarchy(tau2=0.01, normalisation="length").fit(rng(14).rand(300, 5))
    first.write(tmp_path / "after", map_library=True, summary=True)
    other.write(tmp_path / "other")
    for before in (tmp_path / "before").iterdir():
        after = (tmp_path / "after" / before.name).read_text().replace(str(tmp_path / "after"),
                                                                        str(tmp_path / "before"))
        text = before.read_text()
        if before.suffix == ".mapdescr":  # the date of writing
            text, after = ([line for line in t.splitlines() if not line.startswith("$STORAGE_DATE")]
                           for t in (text, after))
        assert text == after, before.name
