"""pcisim-sweep: run pcisim over a grid of settings and seeds, on Dask, and
gather the statistics documents into one table."""


class SweepError(Exception):
    """A problem the user must fix (bad grid, missing file); printed as one line."""
