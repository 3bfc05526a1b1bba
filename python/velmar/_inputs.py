"""Vectors handed to velmar: numpy arrays, SciPy sparse matrices and pandas
tables checked and turned into the matrices of the compiled core, without a
copy where the values can be read as they are."""

import numbers

import numpy as np

from . import _velmar

try:  # scikit-learn's checks give the messages its users know; optional
    from sklearn.base import BaseEstimator as _SklearnBase
    from sklearn.exceptions import NotFittedError
except ImportError:  # pragma: no cover - exercised only without scikit-learn
    _SklearnBase = None

    class NotFittedError(ValueError, AttributeError):
        """The estimator is used before it was fitted."""


try:
    import scipy.sparse as _sparse
except ImportError:  # pragma: no cover
    _sparse = None

_VALUE_TYPES = (np.float32, np.float64, np.int32, np.int64)


def is_sparse(X):
    return _sparse is not None and _sparse.issparse(X)


def is_frame(X):
    return hasattr(X, "columns") and hasattr(X, "index") and hasattr(X, "iloc")


def _check_finite(values, what):
    if values.dtype.kind == "f" and not np.isfinite(values).all():
        kind = "NaN" if np.isnan(values).any() else "infinity"
        raise ValueError(f"Input {what} contains {kind}: velmar trains on finite numbers only.")


def _native(array):
    return array if array.dtype.isnative else array.astype(array.dtype.newbyteorder("="))


def _plain_array(X):
    """X as a 2-D numpy array of real numbers (numpy only)."""
    array = np.asarray(X)
    if array.dtype.kind == "c":
        raise ValueError("Complex data not supported: velmar trains on real numbers.")
    if array.dtype.kind not in "fiub":
        try:
            array = array.astype(np.float64)
        except (TypeError, ValueError) as error:
            raise TypeError(f"X holds values that are not numbers: {error}") from None
    return array


def validate(estimator, X, reset):
    """X checked as scikit-learn checks it (when installed): 2-D, not empty,
    finite, real; a dense array of float32 or float64, or a CSR matrix. With
    reset, n_features_in_ (and feature_names_in_ for a table of string
    column names) are set; otherwise X must have as many features."""
    if _SklearnBase is not None and isinstance(estimator, _SklearnBase):
        validated = getattr(estimator, "_validate_data", None)
        kwargs = dict(accept_sparse="csr", dtype=[np.float64, np.float32], reset=reset)
        if validated is not None:
            return validated(X, **kwargs)
        from sklearn.utils.validation import validate_data  # newer scikit-learn

        return validate_data(estimator, X, **kwargs)
    return _validate_without_sklearn(estimator, X, reset)


def _validate_without_sklearn(estimator, X, reset):
    if is_sparse(X):
        X = X.tocsr()
        values = X.data
    else:
        X = _plain_array(X)
        if X.ndim != 2:
            raise ValueError(f"Expected a 2D array, got {X.ndim}D input: give one vector per row.")
        if X.dtype not in (np.float32, np.float64):
            X = X.astype(np.float64)
        values = X
    if X.shape[0] < 1 or X.shape[1] < 1:
        raise ValueError(f"Found array with shape {X.shape}: velmar needs at least one vector of one feature.")
    _check_finite(values, "X")
    if reset:
        estimator.n_features_in_ = X.shape[1]
    elif X.shape[1] != estimator.n_features_in_:
        raise ValueError(
            f"X has {X.shape[1]} features, but {type(estimator).__name__} is expecting "
            f"{estimator.n_features_in_} features as input."
        )
    return X


def matrix_of(X):
    """The compiled core's matrix over a validated X (no copy for native
    float arrays in any memory order and for CSR matrices in canonical form;
    the core checks once more that every value is finite)."""
    if is_sparse(X):
        if X.format != "csr":
            X = X.tocsr()
        if not X.has_canonical_format:
            X = X.copy()
            X.sum_duplicates()
        indptr, indices, data = (_native(np.ascontiguousarray(a)) for a in (X.indptr, X.indices, X.data))
        if data.dtype.type not in _VALUE_TYPES:
            data = data.astype(np.float64)
        return _velmar.Matrix.sparse(indptr, indices, data, X.shape[0], X.shape[1]), X
    X = _native(np.asarray(X))
    if X.dtype.type not in _VALUE_TYPES:
        X = X.astype(np.float64)
    if X.ndim != 2:
        raise ValueError(f"Expected a 2D array, got {X.ndim}D input: give one vector per row.")
    return _velmar.Matrix.dense(X), X


def identifiers(X, ids, n):
    """The vectors' identifiers: `ids`, else a table's index of strings, else
    None (the core numbers them 1, 2, ...)."""
    if ids is None and is_frame(X):
        index = X.index
        if index.dtype == object and all(isinstance(v, str) for v in index):
            ids = index
    if ids is None:
        return None
    ids = [str(v) for v in ids]
    if len(ids) != n:
        raise ValueError(f"{len(ids)} identifiers for {n} vectors")
    for k, text in enumerate(ids):
        if text == "":
            raise ValueError(f"the identifier of vector {k + 1} is empty")
    return ids


def component_names(X, names, n_features):
    """The components' names: `names`, else a table's column names, else None
    (the core names them 1, 2, ...)."""
    if names is None and is_frame(X):
        names = list(X.columns)
    if names is None:
        return None
    names = [str(v) for v in names]
    if len(names) != n_features:
        raise ValueError(f"{len(names)} component names for {n_features} components")
    seen = {}
    for k, name in enumerate(names):
        if name == "":
            raise ValueError(f"component {k + 1} has an empty name")
        if name in seen:
            raise ValueError(f"components {seen[name] + 1} and {k + 1} have the same name {name!r}")
        seen[name] = k
    return names


def known_classes(y, n):
    """One class text per vector, or None."""
    if y is None:
        return None
    y = np.asarray(y)
    if y.ndim != 1:
        y = y.ravel() if y.ndim == 2 and 1 in y.shape else None
        if y is None:
            raise ValueError("y must hold one class per vector (a 1-D array)")
    if len(y) != n:
        raise ValueError(f"{len(y)} classes for {n} vectors")
    return [str(v) for v in y.tolist()]


def check_integer(name, value, lowest=None):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} must be an integer, not {value!r}")
    if lowest is not None and value < lowest:
        raise ValueError(f"{name} must be at least {lowest}, not {value}")
    return int(value)


def check_real(name, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a number, not {value!r}")
    return float(value)
