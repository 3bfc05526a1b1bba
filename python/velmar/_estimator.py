"""velmar.Hierarchy: the estimator, and velmar.load."""

import json
import os
import warnings

import numpy as np

from . import _inputs, _velmar
from ._inputs import NotFittedError
from ._maps import Map
from ._warnings import VelmarWarning

try:
    from sklearn.base import BaseEstimator, ClusterMixin
except ImportError:  # pragma: no cover - exercised only without scikit-learn
    BaseEstimator = object
    ClusterMixin = object

# The defaults of every setting, as the command line's table of settings has them.
_TABLE = {key: (kind, default) for key, kind, default, _ in _velmar.setting_table()}


def _default(key):
    kind, text = _TABLE[key]
    if kind == "real":
        return float(text)
    if kind in ("integer", "seed"):
        return int(text)
    if kind == "switch":
        return text == "true"
    if kind == "normalisation":
        return text.lower()
    return text


# The estimator's parameters: its name, the property key, and its kind.
_PARAMETERS = [
    ("tau1", "TAU_1", "real"),
    ("tau2", "TAU_2", "real"),
    ("expand_cycles", "EXPAND_CYCLES", "integer"),
    ("max_cycles", "MAX_CYCLES", "integer"),
    ("learning_rate", "INITIAL_LEARNRATE", "real"),
    ("neighbourhood", "INITIAL_NEIGHBOURHOOD", "integer"),
    ("neighbourhood_falloff", "NEIGHBOURHOOD_FALLOFF", "real"),
    ("orientation", "ORIENTATION", "switch"),
    ("normalisation", "normInputVectors", "normalisation"),
    ("random_seed", "randomSeed", "seed"),
    ("labels", "LABELS_NUM", "integer"),
    ("labels_threshold", "LABELS_THRESHOLD", "real"),
    ("labels_only", "LABELS_ONLY", "switch"),
    ("threads", "threads", "integer"),
]
_SIZE_KEYS = ("INITIAL_X_SIZE", "INITIAL_Y_SIZE")
_NORMALISATIONS = ("none", "length", "interval")
# Keys of a property file that name files or outputs of a command-line run:
# from_properties leaves them out (fit and write set them themselves).
_RUN_KEYS = {
    "inputFile", "descriptionFile", "savePath", "printMQE", "saveAsHTML", "saveAsCartix", "saveOverview",
    "saveAssignments", "saveSummary", "saveModel", "classFile", "HTML_PREFIX", "DATAFILE_EXTENSION",
    "inputFormat", "separator", "idColumn", "components", "quiet", "MQE0_FILE",
}


def _setting_text(kind, name, value):
    """A parameter's value as the text of a property file."""
    if kind == "real":
        return repr(_inputs.check_real(name, value))
    if kind in ("integer", "seed"):
        return str(_inputs.check_integer(name, value))
    if kind == "switch":
        if not isinstance(value, (bool, np.bool_)):
            raise TypeError(f"{name} must be True or False, not {value!r}")
        return "true" if value else "false"
    if kind == "normalisation":
        if not isinstance(value, str) or value.lower() not in _NORMALISATIONS:
            raise ValueError(f"{name} must be one of {', '.join(_NORMALISATIONS)}, not {value!r}")
        return value.upper()
    raise ValueError(kind)


def _parameters_of(values):
    """The estimator's parameters from settings read as text (None: unset)."""
    params = {}
    for name, key, kind in _PARAMETERS:
        text = values.get(key, str(_TABLE[key][1]) if kind != "seed" else None)
        if kind == "real":
            params[name] = float(text)
        elif kind == "integer":
            params[name] = int(text)
        elif kind == "seed":
            params[name] = None if text is None else int(text)
        elif kind == "switch":
            params[name] = text == "true"
        elif kind == "normalisation":
            params[name] = text.lower()
    params["initial_size"] = tuple(int(values.get(key) or _TABLE[key][1]) for key in _SIZE_KEYS)
    return params


class Hierarchy(ClusterMixin, BaseEstimator):
    """A hierarchy of growing self-organizing maps, trained as ``velmar`` trains it.

    The first-layer map starts small and is trained online; after every
    growth period it measures its error and, while that is above ``tau1``
    times MQE0 (the summed squared distance of all vectors to their mean),
    inserts a row or column next to its worst unit. When a map has stopped
    growing, each unit whose error is above ``tau2`` times MQE0 becomes a
    child map one level down, trained on that unit's vectors only (a child
    map grows until its error is at most ``tau1`` times its parent unit's).

    For the same vectors and settings, ``fit`` trains exactly the hierarchy
    that the command line trains from a file holding the same values (written
    with 17 significant digits, or 9 for float32): :meth:`save` writes the
    same model file and :meth:`write` the same pages and files.

    Parameters
    ----------
    tau1 : float, default=0.25
        A map grows while its error is above ``tau1`` x the error above it
        (MQE0 for the first layer, the parent unit's error below). Smaller
        values give larger maps. Property key ``TAU_1``.
    tau2 : float, default=0.1
        A unit whose error is above ``tau2`` x MQE0 is expanded into a child
        map. Smaller values give more maps and levels. ``TAU_2``.
    expand_cycles : int, default=25
        Growth period, in passes over a map's vectors. ``EXPAND_CYCLES``.
    max_cycles : int, default=0
        Stops a map after this many passes (checked at growth checks);
        0 = no limit. ``MAX_CYCLES``.
    learning_rate : float, default=0.3
        Learning rate at the start of each growth period; it falls in a
        sawtooth. ``INITIAL_LEARNRATE``.
    neighbourhood : int, default=2
        Neighbourhood radius at the start of each growth period.
        ``INITIAL_NEIGHBOURHOOD``.
    neighbourhood_falloff : float, default=0.3
        Accepted for the record of the run; has no effect.
        ``NEIGHBOURHOOD_FALLOFF``.
    initial_size : tuple of (int, int), default=(2, 2)
        Columns and rows of a new map. ``INITIAL_X_SIZE``, ``INITIAL_Y_SIZE``.
    orientation : bool, default=False
        Start child maps at 2 x 2 units spread towards the parent unit's
        neighbours instead of randomly. ``ORIENTATION``.
    normalisation : {"none", "length", "interval"}, default="none"
        "length" scales each vector to length 1, "interval" divides each
        component by its largest value. ``normInputVectors``.
    random_seed : int or None, default=123456789
        Seeds the random sequence: the same seed, the same hierarchy. None
        leaves the sequence unseeded, as a property file without
        ``randomSeed`` does. ``randomSeed``.
    labels : int, default=5
        At most this many component names label each unit on the pages.
        ``LABELS_NUM``.
    labels_threshold : float, default=0.7
        A label's weight must exceed this share of the unit's largest weight.
        ``LABELS_THRESHOLD``.
    labels_only : bool, default=True
        On the pages, a unit with a child map links "down" once instead of
        once per vector. ``LABELS_ONLY``.
    threads : int, default=1
        Threads of the training and of the mapping; N = exactly N. With 0
        the training uses as many as pay (it times its work on every core
        and on one thread in turn and keeps the faster, so beside other
        work it trains on one thread) and the mapping one per core, which
        maps about 1.7 times as fast on two free cores. Every number of
        threads gives the same results. ``threads``.
    verbose : int, default=0
        0: silent; 1: the training's status line on standard error; 2: also
        the command line's console report, on standard error.

    Attributes
    ----------
    labels_ : ndarray of int32, shape (n_samples,)
        The unit number of each training vector's deepest unit (a unit
        without a child map); see :class:`velmar.Map` for the numbering.
    maps_ : list of :class:`velmar.Map`
        Every map of the hierarchy, in the order of the map numbers (the
        first-layer map first), with its weights, its child maps, and the
        vectors and error of each unit.
    summary_ : dict
        The quality figures of every map and of the hierarchy, and the
        settings of the run: what ``PREFIX_summary.json`` holds.
    mqe0_ : float
        MQE0 of the run.
    n_features_in_ : int
        The number of components of the training vectors.
    feature_names_in_ : ndarray of str, shape (n_features_in_,)
        The column names of a table fitted on (only when they are all strings).

    Notes
    -----
    The trainer keeps its run in process-wide state, so calls into it (fit,
    predict, map, write) run one at a time in a process: a lock serialises
    them, also across threads. Training releases the GIL, and Ctrl-C during
    ``fit`` raises KeyboardInterrupt within about a tenth of a second,
    leaving the process usable. Use processes (Dask, Spark, multiprocessing)
    to map in parallel beyond the ``threads`` of one call; fitted
    hierarchies pickle through their model text.

    Slips that the command line warns about (a value read as 0, say) come as
    :class:`velmar.VelmarWarning`; anything it refuses raises
    :class:`velmar.VelmarError` (a ValueError) with its message.

    Examples
    --------
    >>> import numpy as np, velmar
    >>> X = np.random.RandomState(0).rand(200, 4)
    >>> h = velmar.Hierarchy(tau2=0.05).fit(X)
    >>> h.predict(X[:3]).shape
    (3,)
    >>> table = h.map(X[:3])          # the columns of velmar --map
    """

    def __init__(
        self,
        tau1=_default("TAU_1"),
        tau2=_default("TAU_2"),
        expand_cycles=_default("EXPAND_CYCLES"),
        max_cycles=_default("MAX_CYCLES"),
        learning_rate=_default("INITIAL_LEARNRATE"),
        neighbourhood=_default("INITIAL_NEIGHBOURHOOD"),
        neighbourhood_falloff=_default("NEIGHBOURHOOD_FALLOFF"),
        initial_size=(_default("INITIAL_X_SIZE"), _default("INITIAL_Y_SIZE")),
        orientation=_default("ORIENTATION"),
        normalisation=_default("normInputVectors"),
        random_seed=_default("randomSeed"),
        labels=_default("LABELS_NUM"),
        labels_threshold=_default("LABELS_THRESHOLD"),
        labels_only=_default("LABELS_ONLY"),
        threads=_default("threads"),
        verbose=0,
    ):
        self.tau1 = tau1
        self.tau2 = tau2
        self.expand_cycles = expand_cycles
        self.max_cycles = max_cycles
        self.learning_rate = learning_rate
        self.neighbourhood = neighbourhood
        self.neighbourhood_falloff = neighbourhood_falloff
        self.initial_size = initial_size
        self.orientation = orientation
        self.normalisation = normalisation
        self.random_seed = random_seed
        self.labels = labels
        self.labels_threshold = labels_threshold
        self.labels_only = labels_only
        self.threads = threads
        self.verbose = verbose

    # ---- parameters ----

    if BaseEstimator is object:  # pragma: no cover - scikit-learn gives these

        def get_params(self, deep=True):
            """The estimator's parameters, by name."""
            return {name: getattr(self, name) for name, _, _ in _PARAMETERS} | {
                "initial_size": self.initial_size,
                "verbose": self.verbose,
            }

        def set_params(self, **params):
            """Sets parameters by name; returns the estimator."""
            for name, value in params.items():
                if name not in self.get_params():
                    raise ValueError(f"Invalid parameter {name!r} for estimator {type(self).__name__}")
                setattr(self, name, value)
            return self

    @classmethod
    def from_properties(cls, properties, **params):
        """The estimator a property file describes.

        Parameters
        ----------
        properties : dict or str or os.PathLike
            Property keys and values (``{"TAU_1": "0.05", ...}``, values as
            text or numbers), or the path of a property file. Values are read
            as the command line reads them (leniently, with the same
            warnings). Keys that name files or outputs of a command-line run
            (``inputFile``, ``savePath``, ``saveAsHTML``, ``inputFormat``, ...)
            are left out: ``fit`` reads the vectors it is given and
            ``write`` writes what it is asked for.
        **params
            Parameters that override the file's (``verbose=1``, say).

        Returns
        -------
        Hierarchy
        """
        if isinstance(properties, (str, bytes, os.PathLike)):
            pairs = _velmar.read_property_file(os.fspath(properties))
        else:
            pairs = [(str(key), _property_text(value)) for key, value in dict(properties).items()]
        if any(key == "MQE0_FILE" for key, _ in pairs):
            warnings.warn("MQE0_FILE is left out: fit computes MQE0 from the vectors", VelmarWarning, stacklevel=2)
        kept = [(key, value) for key, value in pairs if key not in _RUN_KEYS]
        values = dict(_velmar.read_settings(kept))
        return cls(**(_parameters_of(values) | params))

    def _settings(self):
        """The estimator's parameters as property pairs, checked."""
        pairs = []
        for name, key, kind in _PARAMETERS:
            value = getattr(self, name)
            if kind == "seed" and value is None:
                continue  # an unseeded sequence
            pairs.append((key, _setting_text(kind, name, value)))
        size = self.initial_size
        if not isinstance(size, (tuple, list)) or len(size) != 2:
            raise ValueError(f"initial_size must be (columns, rows), not {size!r}")
        for key, value in zip(_SIZE_KEYS, size):
            pairs.append((key, _setting_text("integer", "initial_size", value)))
        _inputs.check_integer("verbose", self.verbose)
        return pairs

    # ---- training ----

    def fit(self, X, y=None, ids=None, component_names=None):
        """Trains the hierarchy on X.

        Parameters
        ----------
        X : array-like of shape (n_samples, n_features), sparse matrix or DataFrame
            The training vectors, one a row: a numpy array (any real dtype,
            any memory order), a SciPy sparse matrix (CSR, CSC, COO, ...;
            kept sparse) or a pandas DataFrame (its columns name the
            components, an index of strings gives the identifiers). Values
            must be finite.
        y : array-like of shape (n_samples,), default=None
            Known classes of the vectors, if any: the figures then include
            class purity and the adjusted Rand index, the overview shows the
            classes, the assignments file gets a class column (as with a
            ``classFile``).
        ids : sequence of str, default=None
            An identifier per vector; by default a DataFrame's index of
            strings, else 1, 2, ... as for a table without an identifier
            column.
        component_names : sequence of str, default=None
            A name per component, used for the labels; by default a
            DataFrame's column names, else 1, 2, ...

        Returns
        -------
        self : Hierarchy
        """
        names = _inputs.component_names(X, component_names, _n_columns(X))
        identifiers = _inputs.identifiers(X, ids, _n_rows(X))
        settings = self._settings()
        X = _inputs.validate(self, X, reset=True)
        classes = _inputs.known_classes(y, X.shape[0])
        matrix, _ = _inputs.matrix_of(X)
        trained = _velmar.train(
            settings, matrix, identifiers or [], names or [], classes or [], "(memory)",
            progress=self.verbose >= 1, console=self.verbose >= 2,
        )
        self._trained = trained
        self._model = _velmar.Model.parse(trained.model_text(), "the fitted model")
        self._summary = None
        self._set_model_attributes(self._model, trained.maps())
        self.mqe0_ = float(trained.mqe0)
        maps, units, _ = trained.placements()
        first = np.asarray(self._model.units()["first_unit"], dtype=np.int32)
        self.labels_ = first[maps] + units
        return self

    def fit_predict(self, X, y=None, ids=None, component_names=None):
        """Fits and returns ``labels_``: each training vector's unit number."""
        return self.fit(X, y, ids=ids, component_names=component_names).labels_

    def _set_model_attributes(self, model, maps):
        units = model.units()
        units["path_array"] = np.asarray(units["path"], dtype=object)
        self._units = units
        self.maps_ = [Map(k, info, first) for k, (info, first) in enumerate(zip(maps, units["first_unit"]))]

    # ---- the fitted hierarchy ----

    def _check_fitted(self):
        if getattr(self, "_model", None) is None:
            raise NotFittedError(
                f"This {type(self).__name__} instance is not fitted yet. Call 'fit' with appropriate arguments "
                "before using this estimator."
            )

    @property
    def summary_(self):
        """The quality figures of every map and of the hierarchy, as ``PREFIX_summary.json`` holds them."""
        if getattr(self, "_summary", None) is None:
            trained = getattr(self, "_trained", None)
            if trained is None:
                raise NotFittedError("summary_ needs a fitted Hierarchy (a loaded model has no figures)")
            self._summary = trained.summary_json()
        return json.loads(self._summary)

    def _map(self, X):
        self._check_fitted()
        X = _inputs.validate(self, X, reset=False)
        matrix, _ = _inputs.matrix_of(X)
        return self._model.map(matrix, _inputs.check_integer("threads", self.threads))

    def predict(self, X):
        """The unit number of each vector's deepest unit, as ``velmar --map`` places it.

        Parameters
        ----------
        X : array-like of shape (n_samples, n_features), sparse matrix or DataFrame

        Returns
        -------
        labels : ndarray of int32, shape (n_samples,)
            Unit numbers (see :class:`velmar.Map`): ``maps_[m].first_unit +
            row * columns + column`` for the unit at (row, column) of map m.
        """
        units, _ = self._map(X)
        return units

    def map(self, X, ids=None):
        """Each vector's map, unit, distance and path: the rows ``velmar --map`` writes.

        Parameters
        ----------
        X : array-like of shape (n_samples, n_features), sparse matrix or DataFrame
        ids : sequence of str, default=None
            An identifier per vector; by default a DataFrame's index of
            strings, else the vectors are numbered 1, 2, ...

        Returns
        -------
        pandas.DataFrame (a dict of numpy arrays where pandas is missing)
            Columns ``id`` (the identifiers as str, or the numbers 1, 2, ...
            as int64 where there are none: what pandas reads from the
            output of ``velmar --map`` either way), ``map`` (the map's
            number), ``level``, ``column``, ``row``, ``distance`` (the
            squared distance to the unit, float32) and ``path`` (the units
            from the first layer down, ``"column,row/column,row/..."``), one
            row per vector in order.
        """
        identifiers = _inputs.identifiers(X, ids, _n_rows(X))
        units, distances = self._map(X)
        table = self._units
        if identifiers is None:
            id_column = np.arange(1, len(units) + 1, dtype=np.int64)
        else:
            id_column = np.asarray(identifiers, dtype=object)
        columns = {
            "id": id_column,
            "map": table["gid"][units],
            "level": table["level"][units],
            "column": table["column"][units],
            "row": table["row"][units],
            "distance": distances,
            "path": table["path_array"][units],
        }
        try:
            import pandas as pd
        except ImportError:  # pragma: no cover
            return columns
        return pd.DataFrame(columns, copy=False)

    def save(self, path):
        """Writes the model file: the bytes ``saveModel=true`` writes for the same run."""
        self._check_fitted()
        with open(path, "wb") as file:
            file.write(self._model.text())

    def write(self, folder, html=True, overview=True, assignments=True, map_library=False, summary=False,
              model=False, prefix="map", datafile_extension=""):
        """Writes the files a command-line run writes into `folder` (created if missing).

        The same bytes as the command line with the same switches, but for
        the date and training time in the map-library files and the input
        file's name.

        Parameters
        ----------
        folder : str or os.PathLike
        html : bool, default=True
            A page per map (``saveAsHTML``).
        overview : bool, default=True
            ``PREFIX_overview.html``, the whole hierarchy on one page (``saveOverview``).
        assignments : bool, default=True
            ``PREFIX_assignments.csv``, every vector's map and unit (``saveAssignments``).
        map_library : bool, default=False
            The three map-library files per map (``saveAsCartix``).
        summary : bool, default=False
            ``PREFIX_summary.json`` (``saveSummary``).
        model : bool, default=False
            ``PREFIX_model.txt`` (``saveModel``).
        prefix : str, default="map"
            The first part of every file name (``HTML_PREFIX``).
        datafile_extension : str, default=""
            Appended to the pages' per-vector links (``DATAFILE_EXTENSION``).
        """
        self._check_fitted()
        if getattr(self, "_trained", None) is None:
            raise NotFittedError(
                "write needs the hierarchy fitted in this process: a loaded or unpickled model holds no "
                "training vectors"
            )
        folder = os.fspath(folder)
        os.makedirs(folder, exist_ok=True)
        self._trained.write(folder, html, overview, assignments, map_library, summary, model, prefix,
                            datafile_extension)

    # ---- pickling ----

    def __getstate__(self):
        state = super().__getstate__() if hasattr(super(), "__getstate__") else self.__dict__.copy()
        state = dict(state)
        if state.get("_trained") is not None and state.get("_summary") is None:
            state["_summary"] = state["_trained"].summary_json()
        state.pop("_trained", None)
        model = state.pop("_model", None)
        state["_model_text"] = None if model is None else model.text()
        return state

    def __setstate__(self, state):
        state = dict(state)
        text = state.pop("_model_text", None)
        if hasattr(super(), "__setstate__"):
            super().__setstate__(state)
        else:
            self.__dict__.update(state)
        self._trained = None
        self._model = None if text is None else _velmar.Model.parse(text, "the pickled model")


def load(path, **params):
    """A Hierarchy from a model file (``saveModel=true`` or :meth:`Hierarchy.save`).

    It maps vectors (``predict``, ``map``) and describes its maps (``maps_``
    without vectors and errors); its parameters are the settings the model
    recorded. It cannot ``write`` (a model holds no training vectors) and
    has no ``summary_``.
    """
    model = _velmar.Model.read(os.fspath(path))
    values = {key: value for key, value in model.settings()}
    estimator = Hierarchy(**(_parameters_of(values) | params))
    estimator._model = model
    estimator._trained = None
    estimator._summary = None
    estimator._set_model_attributes(model, model.maps())
    estimator.mqe0_ = float(model.mqe0)
    estimator.n_features_in_ = model.components
    names = list(model.component_names)
    if names != [str(k) for k in range(1, len(names) + 1)]:
        estimator.feature_names_in_ = np.asarray(names, dtype=object)
    return estimator


def _property_text(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, float):
        return repr(value)
    return str(value)


def _n_rows(X):
    shape = getattr(X, "shape", None)
    return shape[0] if shape is not None and len(shape) >= 1 else len(X)


def _n_columns(X):
    shape = getattr(X, "shape", None)
    if shape is not None:
        return shape[1] if len(shape) == 2 else 0
    return len(X[0]) if len(X) and hasattr(X[0], "__len__") else 0

