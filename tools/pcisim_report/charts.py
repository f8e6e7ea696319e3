"""The page's charts as Chart.js configurations (plain dicts of type, data and
options). Each figure is {"id": canvas id, "kind": ..., "height": CSS pixels,
"config": ...}; the page's script (charts.js) adds what JSON cannot hold:
the tooltip texts of each kind and the timeline's zoom and pan."""

# Colours: one per termination (the timeline and the cards), one per bus state.
TERMINATION_COLOURS = {
    "completed": "#3b8a5a", "disconnect_with_data": "#3f6fb5", "disconnect_without_data": "#8a5fbf",
    "retry": "#e08a2e", "target_abort": "#c8363d", "master_abort": "#7a2a2a", "unfinished": "#9aa0a6",
    "not_decoded": "#333333"}
OTHER_COLOUR = "#b08d57"
BUS_COLOURS = {"busy": "#3f6fb5", "turnaround": "#e08a2e", "idle": "#d5d9de"}
BAR_COLOUR = "#3f6fb5"
SECOND_COLOUR = "#3b8a5a"
GRID = {"color": "#e6e9ed"}


def label(key):
    """'disconnect_with_data' -> 'disconnect with data'."""
    return key.replace("_", " ")


def axis(title, **more):
    """A scale with a title and light grid lines."""
    scale = {"title": {"display": bool(title), "text": title}, "grid": dict(GRID)}
    scale.update(more)
    return scale


def options(title=None, legend=False, **more):
    """Options every chart shares: no animation; sized by the page's script
    (charts.js), which sets each canvas to its box and follows the window."""
    result = {"animation": False, "responsive": False, "maintainAspectRatio": False, "locale": "en-US",
              "plugins": {"legend": {"display": legend, "position": "top", "align": "start"},
                          "title": {"display": bool(title), "text": title or "", "align": "start"}}}
    result.update(more)
    return result


def figure(element_id, kind, height, chart_type, data, chart_options, **more):
    """A figure of the page; `more` holds what its kind's script needs beside the chart."""
    return {"id": element_id, "kind": kind, "height": height,
            "config": {"type": chart_type, "data": data, "options": chart_options}, **more}


def trimmed(counts):
    """A histogram up to its last non-empty bin (at least one bin)."""
    last = max((i for i, n in enumerate(counts) if n), default=0)
    return counts[: last + 1]


def histogram(element_id, counts, title, x_title, y_title, colour):
    """Bars of a histogram of one-clock bins whose last bin holds 'that or more';
    at least eight bins are labelled so that short ones do not fill the width."""
    shown = trimmed(counts)
    open_bin = len(counts) - 1
    labels = [f"{i}{'+' if i == open_bin else ''}" for i in range(max(len(shown), 8))]
    return figure(element_id, "histogram", 230, "bar",
                  {"labels": labels, "datasets": [{"label": title, "data": shown, "backgroundColor": colour,
                                                   "barPercentage": 0.95, "categoryPercentage": 0.85}]},
                  options(title, scales={"x": axis(x_title, grid={"display": False}),
                                         "y": axis(y_title, beginAtZero=True, ticks={"precision": 0})}))


def master_histogram(element_id, row):
    """A master's access-latency histogram."""
    counts = row["histogram"]
    return histogram(element_id, counts, f"{row['name']}: access latency",
                     f"clocks (bin {len(counts) - 1} = {len(counts) - 1} or more)", "accesses", BAR_COLOUR)


def card_histograms(element_id, card, name):
    """A card's initial and burst latency histograms: two figures, ids ID-initial and ID-burst."""
    initial, burst = card["initial_latency"], card["burst_latency"]
    return [histogram(f"{element_id}-initial", initial, f"{name}: initial latency",
                      f"clocks ({len(initial) - 1} = that or more)", "data phases", BAR_COLOUR),
            histogram(f"{element_id}-burst", burst, f"{name}: burst latency",
                      f"clocks ({len(burst) - 1} = that or more)", "data phases", SECOND_COLOUR)]


def bus_utilisation(element_id, windows):
    """Stacked busy, turnaround and idle shares (percent) per window; each
    dataset keeps its cycle counts (counts) for the tooltip."""
    size = windows["size"]
    lengths = [sum(windows[k][i] for k in ("busy", "turnaround", "idle")) for i in range(len(windows["start"]))]
    datasets = []
    for state in ("busy", "turnaround", "idle"):
        shares = [round(100 * n / length, 3) if length else 0 for n, length in zip(windows[state], lengths)]
        datasets.append({"label": state, "data": shares, "counts": windows[state],
                         "backgroundColor": BUS_COLOURS[state], "barPercentage": 1, "categoryPercentage": 1})
    return figure(element_id, "bus", 300, "bar", {"labels": windows["start"], "datasets": datasets},
                  options(legend=True, interaction={"mode": "index", "intersect": False},
                          scales={"x": axis("cycle (window start)", stacked=True, grid={"display": False},
                                            ticks={"maxRotation": 0, "autoSkipPadding": 16}),
                                  "y": axis(f"% of each window of {size} cycles", stacked=True, min=0,
                                            max=100)}), size=size, lengths=lengths)


def timeline(element_id, groups, lanes, cycles):
    """One lane per master, one floating bar per transaction over [start, end + 1)
    (a one-cycle transaction is one unit wide), one dataset per termination (so
    the legend filters them). A point is {x: [start, end + 1], y: lane,
    h: [command, address, card, data phases, initial wait]}."""
    datasets = [{"label": label(termination), "termination": termination, "data": points,
                 "backgroundColor": TERMINATION_COLOURS.get(termination, OTHER_COLOUR), "grouped": False,
                 "barPercentage": 0.62, "categoryPercentage": 1, "borderSkipped": False,
                 "minBarLength": 1}  # every transaction a pixel wide at least, in the whole run's view too
                for termination, points in groups]
    return figure(element_id, "timeline", 120 + 46 * max(len(lanes), 1), "bar",
                  {"labels": lanes, "datasets": datasets},
                  options(legend=True, indexAxis="y", interaction={"mode": "nearest", "intersect": True},
                          scales={"x": axis("cycle", type="linear", min=0, max=max(cycles, 1),
                                            ticks={"precision": 0, "includeBounds": False}),
                                  "y": axis("", type="category", grid={"display": False})}),
                  cycles=max(cycles, 1))
