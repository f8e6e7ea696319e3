"""Command line: pcisim-sweep GRID.toml -o DIR [options], or --plot METRIC -o DIR."""
import argparse
import sys

from . import SweepError

USAGE_EXAMPLES = """examples:
  pcisim-sweep examples/mtt_latency.toml -o sweep-out
  pcisim-sweep examples/mtt_latency.toml -o sweep-out --scheduler tcp://10.0.0.1:8786
  pcisim-sweep --plot pm1_latency_mean -o sweep-out
  pcisim-sweep --plot bus_busy_share --plot-x mtt --plot-y pm1.latency_timer -o sweep-out

exit status: 0 all runs succeeded (or the plot was written), 1 bad grid or
options, 2 some runs failed (see the status and error columns of results.csv)"""


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        raise SweepError(message)


def parser():
    p = _Parser(prog="pcisim-sweep", description="Run pcisim over a grid of settings and seeds on Dask "
                "and gather the statistics into DIR/results.csv.", epilog=USAGE_EXAMPLES,
                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("grid", nargs="?", help="grid file (TOML); leave out with --plot to plot an existing DIR")
    p.add_argument("-o", "--output", required=True, metavar="DIR", help="output folder (created if needed)")
    p.add_argument("--binary", help="pcisim to run (overrides the grid's 'binary')")
    p.add_argument("--scheduler", metavar="tcp://HOST:PORT", help="use this Dask cluster instead of a local one")
    p.add_argument("--workers", type=int, metavar="N", help="local worker processes (default: every core)")
    p.add_argument("--timeout", type=float, metavar="SECONDS", help="per-run limit (overrides the grid's 'timeout')")
    p.add_argument("--process-per-run", action="store_true",
                   help="start one pcisim process per run instead of one `pcisim --batch` process per task")
    p.add_argument("--plot", metavar="METRIC", help="plot this results.csv column (after the sweep, if any)")
    p.add_argument("--plot-out", metavar="FILE", help="plot file, .png or .svg (default DIR/METRIC.png)")
    p.add_argument("--plot-x", metavar="SETTING", help="setting on the x axis (default: the first varied)")
    p.add_argument("--plot-y", metavar="SETTING", help="second setting: draw a heat map of x against y")
    p.add_argument("--report", action="store_true",
                   help="write the sweep's page: table of runs, each metric against the settings (after the sweep)")
    p.add_argument("--report-out", metavar="FILE", help="page file (default DIR/report.html)")
    return p


def _check(args):
    if args.grid is None and args.plot is None and not (args.report or args.report_out):
        raise SweepError("give a grid file to run, or --plot METRIC to plot an existing output folder")
    if args.workers is not None and args.workers < 1:
        raise SweepError("--workers needs at least 1")
    if args.timeout is not None and args.timeout <= 0:
        raise SweepError("--timeout needs a positive number of seconds")
    if args.plot is None and (args.plot_out or args.plot_x or args.plot_y):
        raise SweepError("--plot-out, --plot-x and --plot-y go with --plot METRIC")
    if args.grid is None and (args.binary or args.scheduler or args.workers or args.timeout or args.process_per_run):
        raise SweepError("--binary, --scheduler, --workers, --timeout and --process-per-run need a grid file")


def main(argv=None):
    try:
        args = parser().parse_args(argv)
        _check(args)
        failed = 0
        if args.grid is not None:
            from .grid import load_grid
            from .runner import run_sweep
            grid = load_grid(args.grid, args.binary)
            failed = run_sweep(grid, args.output, args.scheduler, args.workers, args.timeout,
                               process_per_run=args.process_per_run)
        if args.plot is not None:
            from .plot import plot
            print(f"plot written to {plot(args.output, args.plot, args.plot_out, args.plot_x, args.plot_y)}",
                  file=sys.stderr)
        if args.report or args.report_out:
            from .report import write_report
            print(f"report written to {write_report(args.output, args.report_out)}", file=sys.stderr)
        return 2 if failed else 0
    except SweepError as err:
        print(f"pcisim-sweep: {err}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("\npcisim-sweep: interrupted; finished runs are in results.csv", file=sys.stderr)
        return 130
