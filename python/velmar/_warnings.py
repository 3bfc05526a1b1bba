"""The warnings velmar gives while it goes on as asked."""


class VelmarWarning(UserWarning):
    """Something velmar did as asked but that is probably not what was meant.

    The command line prints the same text on standard error as a line
    ``velmar: warning: ...``.
    """
