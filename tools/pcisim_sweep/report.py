"""The sweep's page: DIR/results.csv as one self-contained HTML file with the
table of runs (sortable: click a column's header) and, per metric, a chart of
its value against the varied settings (mean over the seeds as a line per
combination of the other settings, each seed's run as a dot)."""
import csv
import os
import statistics

from . import SweepError

_NOT_METRICS = {"run_id", "seed", "status", "error"}
_PALETTE = ["#3f6fb5", "#e08a2e", "#3b8a5a", "#c8363d", "#8a5fbf", "#7a5a3a", "#d16ba5", "#5f6b7a", "#b5a33f",
            "#2aa1b3"]

# Sorts the table of runs by the clicked column (numbers as numbers; empty cells last).
SORT_SCRIPT = """
document.querySelectorAll('table.sortable-table').forEach(function (table) {
  table.querySelectorAll('th').forEach(function (th, column) {
    th.addEventListener('click', function () {
      var dir = th.getAttribute('data-dir') === 'asc' ? 'desc' : 'asc';
      table.querySelectorAll('th').forEach(function (h) { h.removeAttribute('data-dir'); });
      th.setAttribute('data-dir', dir);
      var body = table.tBodies[0], rows = Array.from(body.rows), sign = dir === 'asc' ? 1 : -1;
      function key(row) { return row.cells[column].getAttribute('data-v'); }
      rows.sort(function (a, b) {
        var x = key(a), y = key(b);
        if (x === '' || y === '') { return (x === '') - (y === ''); }
        var nx = Number(x), ny = Number(y);
        if (!isNaN(nx) && !isNaN(ny)) { return sign * (nx - ny); }
        return sign * x.localeCompare(y);
      });
      rows.forEach(function (r) { body.appendChild(r); });
    });
  });
});
"""


def _value(text):
    """A cell as int, float, or the text itself."""
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return {"true": True, "false": False}.get(text, text)


def _number(value):
    if isinstance(value, bool):
        return int(value)
    return value if isinstance(value, (int, float)) else None


def read_results(folder):
    """(header, rows) of DIR/results.csv, cells parsed."""
    path = os.path.join(folder, "results.csv")
    try:
        with open(path, newline="", encoding="utf-8") as handle:
            reader = csv.DictReader(handle)
            return reader.fieldnames or [], [{k: _value(v) for k, v in row.items()} for row in reader]
    except FileNotFoundError:
        raise SweepError(f"no results.csv in {folder} (run a sweep into it first)") from None
    except (OSError, csv.Error) as err:
        raise SweepError(f"cannot read {path}: {err}") from err


def layout_of(header, rows):
    """The varied settings (the columns between run_id and seed) and the metrics
    (the other columns with a number in some run)."""
    settings = header[1:header.index("seed")] if "seed" in header else []
    metrics = [c for c in header if c not in _NOT_METRICS and c not in settings
               and any(_number(r.get(c)) is not None for r in rows)]
    return settings, metrics


def _ok(row):
    return row.get("status") == 0 and not row.get("error")


def _order(values):
    distinct = list(dict.fromkeys(values))
    if all(_number(v) is not None for v in distinct):
        return sorted(distinct)
    return distinct


def metric_figure(element_id, metric, settings, rows):
    """The metric against the first varied setting: per combination of the
    others a line through the means over seeds, and each run as a dot."""
    from pcisim_report.charts import axis, figure, options
    x_name, others = settings[0], settings[1:]
    groups = {}
    for row in rows:
        value = _number(row.get(metric))
        if _ok(row) and value is not None:
            groups.setdefault(tuple(row[s] for s in others), []).append((row[x_name], value, row["run_id"]))

    def order(item):  # numbers before texts, each in its own order
        return [(0, k, "") if _number(k) is not None else (1, 0, str(k)) for k in item[0]]

    values = _order(row[x_name] for row in rows if _ok(row))
    numeric = all(_number(v) is not None for v in values)
    at = _number if numeric else str  # a setting's value as the x scale reads it
    datasets = []
    for i, (key, points) in enumerate(sorted(groups.items(), key=order)):
        colour = _PALETTE[i % len(_PALETTE)]
        name = ", ".join(f"{s}={v}" for s, v in zip(others, key)) or metric
        xs = _order(p[0] for p in points)
        means = [statistics.fmean(v for x, v, _ in points if x == wanted) for wanted in xs]
        datasets.append({"type": "line", "label": name, "data": [{"x": at(x), "y": y} for x, y in zip(xs, means)],
                         "borderColor": colour, "backgroundColor": colour, "borderWidth": 2, "pointRadius": 3})
        datasets.append({"type": "scatter", "label": name, "dots": True,
                         "data": [{"x": at(x), "y": y, "run": run} for x, y, run in points],
                         "backgroundColor": colour + "59", "borderWidth": 0, "pointRadius": 3})
    x_axis = axis(x_name, type="linear") if numeric else axis(x_name, type="category", offset=True,
                                                                labels=[str(v) for v in values])
    return figure(element_id, "metric", 300, "line", {"datasets": datasets},
                  options(metric, legend=len(groups) > 1, scales={"x": x_axis, "y": axis("")}), setting=x_name)


def build(folder, header, rows):
    from pcisim_report.page import document, esc, table
    settings, metrics = layout_of(header, rows)
    ok = sum(_ok(r) for r in rows)
    shown = [c for c in header if c != "error"] + (["error"] if any(r.get("error") for r in rows) else [])

    def cell(value):
        if value is None or value == "":
            return ("", "")
        if isinstance(value, bool):
            text = "true" if value else "false"
        else:
            text = f"{value:.4g}" if isinstance(value, float) else str(value)
        return (esc(text), _number(value) if _number(value) is not None else value)

    body = [[cell(r.get(c)) for c in shown] for r in rows]
    runs = table(shown, body, "runs-table", sortable=True,
                 numeric=[i for i, c in enumerate(shown) if c not in ("run_id", "error")])
    figures = []
    plots = ""
    if settings:
        for i, metric in enumerate(metrics):
            figures.append(metric_figure(f"metric-{i}", metric, settings, rows))
        plots = "".join(f'<canvas id="metric-{i}"></canvas>' for i in range(len(metrics)))
        plot_note = (f"Each metric against {settings[0]}" + (f"; one line per value of {', '.join(settings[1:])}"
                                                             if len(settings) > 1 else "")
                     + ": the line joins the means over the seeds, the dots are the single runs (hover for the run).")
    else:
        plot_note = "No setting was varied: nothing to plot against."
    seeds = sorted({r["seed"] for r in rows if r.get("seed") not in (None, "")}, key=str)
    header_html = (f"<h1>pcisim sweep report</h1><div class=\"sub\"><code>{esc(os.path.abspath(folder))}</code> · "
                   f"{len(rows)} runs, {ok} succeeded · varied: {esc(', '.join(settings) or 'nothing')} · "
                   f"{len(seeds)} seeds</div>")
    body_html = (f'<section id="plots"><h2>Metrics against the settings</h2><p class="note">{esc(plot_note)}</p>'
                 f'<div class="grid">{plots}</div></section>'
                 f'<section id="runs"><h2>Runs</h2><p class="note">Click a column\'s header to sort by it (again '
                 "for the other direction). A run failed where its status is not 0 or its error column is set."
                 f"</p>{runs}</section>")
    data = {"settings": settings, "metrics": metrics, "header": header, "rows": rows}
    return document("pcisim sweep report", header_html, [("plots", "Metrics"), ("runs", "Runs")], body_html,
                    data, figures, SORT_SCRIPT)


def write_report(folder, output=None):
    """Write the page (default DIR/report.html); returns its path."""
    header, rows = read_results(folder)
    path = output or os.path.join(folder, "report.html")
    from pcisim_report import ReportError
    from pcisim_report.cli import write_page
    try:
        write_page(path, build(folder, header, rows))
    except ReportError as err:
        raise SweepError(str(err)) from err
    return path
