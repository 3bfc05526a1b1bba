"""velmar: hierarchies of growing self-organizing maps, trained exactly as the
``velmar`` command line trains them, from numpy arrays, SciPy sparse matrices
and pandas tables.

The main class is :class:`Hierarchy`, an estimator in scikit-learn's
conventions::

    import velmar
    from sklearn.datasets import load_wine

    wine = load_wine(as_frame=True)
    h = velmar.Hierarchy(tau1=0.25, tau2=0.05, normalisation="interval")
    h.fit(wine.data, y=wine.target)
    h.summary_["hierarchy"]           # the quality figures
    h.map(wine.data).head()           # each vector's map, unit, distance, path
    h.write("out", summary=True)      # the pages and files of a command-line run

:func:`load` reads a model file written by ``saveModel=true`` or by
:meth:`Hierarchy.save`.
"""

from ._estimator import Hierarchy, load
from ._maps import Map
from ._velmar import VelmarError
from ._warnings import VelmarWarning

VelmarError.__doc__ = """What velmar refuses, with the one line the command line prints for it.

A ValueError: settings no map could be trained with, vectors that cannot be
used, a model file that is not a complete model, and the like.
"""

__all__ = ["Hierarchy", "Map", "VelmarError", "VelmarWarning", "load"]
__version__ = "1.4"
