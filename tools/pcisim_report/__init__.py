"""pcisim-report: one self-contained HTML page of a pcisim run (its statistics
document, and when given its transaction and compliance files)."""


class ReportError(Exception):
    """A problem with an input or the output: one line for standard error."""
