"""What fit, predict and map accept, and what they refuse before any training."""

import numpy as np
import pandas as pd
import pytest
import scipy.sparse as sp

import velmar
from conftest import rng, without_run_lines


@pytest.mark.parametrize("X,message", [
    (np.array([[1.0, np.nan], [2.0, 3.0]]), "NaN"),
    (np.array([[1.0, np.inf], [2.0, 3.0]]), "infinity"),
    (sp.csr_matrix(np.array([[1.0, 0.0], [0.0, -np.inf]])), "infinity"),
    (np.zeros((0, 3)), "0 sample"),
    (np.zeros((3, 0)), "0 feature"),
    (np.arange(4.0), "1D"),
    (np.zeros((2, 2, 2)), "dim"),
])
def test_bad_vectors_are_refused_before_training(X, message):
    with pytest.raises(ValueError, match=message):
        velmar.Hierarchy().fit(X)


def test_refusals_of_the_trainer_come_with_its_message():
    with pytest.raises(velmar.VelmarError, match="TAU_2"):
        velmar.Hierarchy(tau2=0.0).fit(rng().rand(10, 2))
    with pytest.raises(ValueError, match="normalisation"):
        velmar.Hierarchy(normalisation="unit").fit(rng().rand(10, 2))


def test_every_layout_of_the_same_values_trains_the_same_hierarchy():
    X = rng(5).rand(120, 7)
    X[X < 0.6] = 0.0
    def trained(layout):  # a sparse matrix is recorded as sparse input
        return without_run_lines(velmar.Hierarchy(tau2=0.05).fit(layout)._model.text().decode())

    expected = trained(X)
    layouts = [np.asfortranarray(X), X[:, ::-1][:, ::-1], sp.csr_matrix(X), sp.csc_matrix(X), sp.coo_matrix(X),
               pd.DataFrame(X, columns=[str(k) for k in range(1, 8)])]
    for layout in layouts:
        assert trained(layout) == expected, type(layout)
    unsorted = sp.csr_matrix(X)
    unsorted.indices = unsorted.indices.copy()
    unsorted.has_sorted_indices = False
    assert trained(unsorted) == expected


def test_a_table_names_components_and_identifiers():
    frame = pd.DataFrame(rng(6).rand(40, 3), columns=["a", "b", "c"], index=[f"row{k}" for k in range(40)])
    h = velmar.Hierarchy().fit(frame)
    assert list(h.feature_names_in_) == ["a", "b", "c"]
    assert b"component 0 a\n" in h._model.text()
    assert list(h.map(frame)["id"][:2]) == ["row0", "row1"]
    assert list(h.map(frame.to_numpy())["id"][:2]) == [1, 2]  # as pandas reads the numbers of velmar --map
    with pytest.raises(ValueError, match="same name"):
        velmar.Hierarchy().fit(frame, component_names=["a", "b", "a"])
    with pytest.raises(ValueError, match="features"):
        h.predict(np.zeros((2, 4)))


def test_the_unit_numbers_are_those_of_the_maps():
    X = rng(7).rand(300, 3)
    X[:100] += 5
    h = velmar.Hierarchy(tau2=0.02).fit(X)
    table = h.map(X)
    for unit, gid, column, row in zip(h.labels_, table["map"], table["column"], table["row"]):
        m = next(m for m in h.maps_ if m.gid == gid)
        assert unit == m.unit_number(row, column)
        assert m.children[row, column] == -1
    counted = sum(int(m.vectors[m.children == -1].sum()) for m in h.maps_ if m.level == max(x.level for x in h.maps_))
    assert counted <= len(X)
