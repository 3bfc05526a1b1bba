"""One map of a trained hierarchy, as numpy arrays."""


class Map:
    """One map of a hierarchy (an element of :attr:`Hierarchy.maps_`).

    Attributes
    ----------
    index : int
        The map's place in ``maps_``: maps are listed in the order of their
        numbers, which is the order of training (the first-layer map first,
        parents before children).
    gid : int
        The map's number, as the file names of a command-line run show it
        (the first-layer map is 1).
    level : int
        1 for the first-layer map, 2 for its child maps, and so on.
    parent : int or None
        Index in ``maps_`` of the map above; None for the first layer.
    parent_unit : tuple of (int, int) or None
        Column and row of the unit this map expands; None for the first layer.
    shape : tuple of (int, int)
        Rows and columns of units.
    weights : ndarray of float32, shape (rows, columns, n_features)
        Every unit's weight vector (after the training's normalisation).
    children : ndarray of int, shape (rows, columns)
        Per unit the index in ``maps_`` of its child map, -1 for none.
    vectors : ndarray of int64, shape (rows, columns) or None
        Per unit the number of training vectors it holds (None for a model
        read from a file).
    errors : ndarray of float32, shape (rows, columns) or None
        Per unit its error: the sum of the squared distances of its vectors
        to its weights (None for a model read from a file).
    labels : list of lists of list of str, or None
        ``labels[row][column]``: the component names that label the unit on
        its page (at most ``labels`` of them, the best first; None for a
        model read from a file).
    first_unit : int
        The unit number of this map's unit in row 0, column 0. The unit at
        (row, column) is number ``first_unit + row * columns + column``:
        these are the numbers that :meth:`Hierarchy.predict` and ``labels_``
        give (always units without a child map).
    """

    def __init__(self, index, info, first_unit):
        self.index = index
        self.gid = int(info["gid"])
        self.level = int(info["level"])
        parent = int(info["parent_map"])
        self.parent = None if parent < 0 else parent
        self.parent_unit = None if parent < 0 else (int(info["parent_column"]), int(info["parent_row"]))
        self.shape = (int(info["rows"]), int(info["columns"]))
        self.weights = info["weights"]
        self.children = info["children"]
        self.vectors = info.get("vectors")
        self.errors = info.get("errors")
        self.labels = info.get("labels")
        self.first_unit = int(first_unit)

    @property
    def n_units(self):
        """The number of units, rows x columns."""
        return self.shape[0] * self.shape[1]

    def unit_number(self, row, column):
        """The unit number of the unit at (row, column)."""
        return self.first_unit + row * self.shape[1] + column

    def __repr__(self):
        where = "" if self.parent is None else f", below map {self.parent} unit {self.parent_unit}"
        return f"Map(index={self.index}, gid={self.gid}, level={self.level}, shape={self.shape}{where})"
