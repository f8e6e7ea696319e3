"""Plots of one results.csv column: against one varied setting (a line per
combination of the other settings, mean over seeds with the min-max band), or
a heat map of the mean over two settings."""
import csv
import os
import statistics

from . import SweepError
from .results import succeeded

_NOT_METRICS = {"run_id", "seed", "status", "error"}


def _value(text):
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return text


def _axis(values):
    """Distinct values in plotting order: sorted when all numeric, else as first seen."""
    distinct = list(dict.fromkeys(values))
    if all(isinstance(v, (int, float)) for v in distinct):
        return sorted(distinct)
    return distinct


def read_table(folder):
    path = os.path.join(folder, "results.csv")
    try:
        with open(path, newline="", encoding="utf-8") as handle:
            reader = csv.DictReader(handle)
            return reader.fieldnames or [], list(reader)
    except FileNotFoundError:
        raise SweepError(f"no results.csv in {folder} (run a sweep into it first)") from None


def _points(header, rows, metric):
    """The varied setting names, and (settings dict, metric value) of every usable run."""
    settings = header[1:header.index("seed")] if "seed" in header else []
    if metric not in header or metric in _NOT_METRICS or metric in settings:
        usable = [c for c in header if c not in _NOT_METRICS and c not in settings]
        raise SweepError(f"no metric '{metric}' in results.csv (choose from: {', '.join(usable)})")
    if not settings:
        raise SweepError("results.csv has no varied setting to plot against")
    points = []
    for row in rows:
        if succeeded(row) and row[metric] != "":
            value = _value(row[metric])
            if isinstance(value, str):
                value = {"true": 1, "false": 0}.get(value)
            if value is not None:
                points.append(({s: _value(row[s]) for s in settings}, float(value)))
    if not points:
        raise SweepError(f"no successful run has a value for '{metric}'")
    return settings, points


def _check_setting(name, settings, option):
    if name not in settings:
        raise SweepError(f"{option} {name}: not a varied setting (varied: {', '.join(settings)})")


def _lines(axes, settings, points, metric, x):
    others = [s for s in settings if s != x]
    xs = _axis([p[x] for p, _ in points])
    positions = xs if all(isinstance(v, (int, float)) for v in xs) else list(range(len(xs)))
    groups = {}
    for point, value in points:
        key = tuple(point[s] for s in others)
        groups.setdefault(key, {}).setdefault(point[x], []).append(value)
    for key in _sorted_keys(groups):
        series = groups[key]
        at = [(pos, series[v]) for pos, v in zip(positions, xs) if v in series]
        where = [pos for pos, _ in at]
        label = ", ".join(f"{s}={v}" for s, v in zip(others, key)) or metric
        line, = axes.plot(where, [statistics.fmean(vs) for _, vs in at], marker="o", label=label)
        axes.fill_between(where, [min(vs) for _, vs in at], [max(vs) for _, vs in at],
                          color=line.get_color(), alpha=0.2, linewidth=0)
    axes.set_xticks(positions, [str(v) for v in xs])
    axes.set_xlabel(x)
    axes.set_ylabel(f"{metric} (mean over seeds, band: min-max)")
    if others:
        axes.legend(fontsize="small")


def _sorted_keys(groups):
    keys = list(groups)
    try:
        return sorted(keys)
    except TypeError:
        return sorted(keys, key=lambda k: [str(v) for v in k])


def _heat_map(figure, axes, points, metric, x, y):
    xs, ys = _axis([p[x] for p, _ in points]), _axis([p[y] for p, _ in points])
    cells = {}
    for point, value in points:
        cells.setdefault((point[x], point[y]), []).append(value)
    grid = [[statistics.fmean(cells[(vx, vy)]) if (vx, vy) in cells else float("nan") for vx in xs] for vy in ys]
    image = axes.imshow(grid, origin="lower", aspect="auto", cmap="viridis")
    axes.set_xticks(range(len(xs)), [str(v) for v in xs])
    axes.set_yticks(range(len(ys)), [str(v) for v in ys])
    axes.set_xlabel(x)
    axes.set_ylabel(y)
    figure.colorbar(image, ax=axes, label=f"{metric} (mean)")
    if len(xs) * len(ys) <= 100:
        low, high = image.get_clim()
        for row, vy in enumerate(ys):
            for column, vx in enumerate(xs):
                if (vx, vy) in cells:
                    value = grid[row][column]
                    axes.text(column, row, f"{value:.3g}", ha="center", va="center", fontsize="x-small",
                              color="black" if value > (low + high) / 2 else "white")


def plot(folder, metric, out=None, x=None, y=None):
    """Draw the plot and return the file written (PNG, SVG, ... by its extension)."""
    header, rows = read_table(folder)
    settings, points = _points(header, rows, metric)
    x = x or settings[0]
    _check_setting(x, settings, "--plot-x")
    if y is not None:
        _check_setting(y, settings, "--plot-y")
        if y == x:
            raise SweepError("--plot-x and --plot-y must name two different settings")
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib import pyplot
    out = out or os.path.join(folder, f"{metric}.png")
    figure, axes = pyplot.subplots(figsize=(8, 5))
    if y is None:
        _lines(axes, settings, points, metric, x)
        axes.grid(alpha=0.3)
        axes.set_title(f"{metric} against {x}")
    else:
        _heat_map(figure, axes, points, metric, x, y)
        rest = [s for s in settings if s not in (x, y)]
        axes.set_title(f"{metric}, mean over seeds" + (f" and {', '.join(rest)}" if rest else ""))
    figure.tight_layout()
    try:
        figure.savefig(out)
    except (OSError, ValueError) as err:
        raise SweepError(f"cannot write plot {out}: {err}") from None
    finally:
        pyplot.close(figure)
    return out
