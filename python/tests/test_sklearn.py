"""scikit-learn's own conformance checks of the estimator."""

import pytest

import velmar

estimator_checks = pytest.importorskip("sklearn.utils.estimator_checks")


def test_hierarchy_passes_the_estimator_checks():
    estimator_checks.check_estimator(velmar.Hierarchy())


def test_parameters_follow_the_table_of_settings():
    h = velmar.Hierarchy()
    assert (h.tau1, h.tau2, h.expand_cycles, h.initial_size, h.normalisation, h.random_seed) == (
        0.25, 0.1, 25, (2, 2), "none", 123456789)
    clone = __import__("sklearn.base", fromlist=["clone"]).clone(h.set_params(tau2=0.05))
    assert clone.tau2 == 0.05 and not hasattr(clone, "labels_")
