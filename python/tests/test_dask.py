"""Mapping grows with a collection: a fitted hierarchy ships to the worker
processes of an existing engine and maps each partition there."""

import numpy as np
import pandas as pd
import pytest

import velmar
from conftest import rng

dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")


def test_dask_workers_map_partitions_as_one_frame():
    X = rng(12).rand(200_000, 8).astype(np.float32)
    frame = pd.DataFrame(X, columns=[f"f{k}" for k in range(8)], index=[f"r{k}" for k in range(len(X))])
    h = velmar.Hierarchy(tau2=0.05).fit(frame.iloc[:4000])
    expected = h.map(frame)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0") as cluster:
        with distributed.Client(cluster):
            parts = dd.from_pandas(frame, npartitions=8, sort=False).map_partitions(h.map, meta=expected.iloc[:0])
            result = parts.compute()
    assert len(result) == len(frame)
    pd.testing.assert_frame_equal(result.reset_index(drop=True), expected)
