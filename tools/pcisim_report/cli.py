"""Command line: pcisim-report --stats-json FILE [--transactions FILE] [--compliance FILE] -o PAGE.html"""
import argparse
import os
import sys

from . import ReportError

EXAMPLES = """example:
  pcisim -s --stats-json run.json --transactions run.csv
  pcisim-report --stats-json run.json --transactions run.csv -o run.html

exit status: 0 page written, 1 an input could not be read or the page not written"""


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        raise ReportError(message)


def parser():
    p = _Parser(prog="pcisim-report", epilog=EXAMPLES, formatter_class=argparse.RawDescriptionHelpFormatter,
                description="Write one self-contained HTML page of a pcisim run: its settings, per master and "
                "per card figures and histograms, bus utilisation, a transaction timeline and the protocol "
                "rules. The page opens from disk without network.")
    p.add_argument("--stats-json", required=True, metavar="FILE", help="the run's statistics document")
    p.add_argument("--transactions", metavar="FILE", help="the run's transaction file (CSV)")
    p.add_argument("--compliance", metavar="FILE", help="the run's compliance file (CSV)")
    p.add_argument("-o", "--output", required=True, metavar="PAGE.html", help="the page to write")
    return p


def write_page(path, text):
    """Write through a temporary file beside the page, then rename it over."""
    temporary = f"{path}.tmp{os.getpid()}"
    try:
        with open(temporary, "w", encoding="utf-8") as out:
            out.write(text)
        os.replace(temporary, path)
    except OSError as err:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise ReportError(f"cannot write {path}: {err.strerror}") from err


def main(argv=None):
    try:
        args = parser().parse_args(argv)
        from . import inputs, run_page
        doc = inputs.load_stats(args.stats_json)
        transactions = inputs.read_transactions(args.transactions) if args.transactions else None
        violations = inputs.read_compliance(args.compliance) if args.compliance else None
        files = [f for f in (args.stats_json, args.transactions, args.compliance) if f]
        write_page(args.output, run_page.build(doc, transactions, violations, [os.path.basename(f) for f in files]))
        return 0
    except ReportError as err:
        print(f"pcisim-report: {err}", file=sys.stderr)
        return 1
