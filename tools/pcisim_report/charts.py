"""The page's charts as Plotly figures (plain dicts of data and layout, which
the page hands to Plotly.newPlot)."""

# Colours: one per termination (the timeline and the cards), one per bus state.
TERMINATION_COLOURS = {
    "completed": "#3b8a5a", "disconnect_with_data": "#3f6fb5", "disconnect_without_data": "#8a5fbf",
    "retry": "#e08a2e", "target_abort": "#c8363d", "master_abort": "#7a2a2a", "unfinished": "#9aa0a6",
    "not_decoded": "#333333"}
OTHER_COLOUR = "#b08d57"
BUS_COLOURS = {"busy": "#3f6fb5", "turnaround": "#e08a2e", "idle": "#d5d9de"}
BAR_COLOUR = "#3f6fb5"
SECOND_COLOUR = "#3b8a5a"
FONT = {"family": "system-ui, -apple-system, 'Segoe UI', Roboto, 'DejaVu Sans', sans-serif", "size": 12,
        "color": "#1f2933"}


def label(key):
    """'disconnect_with_data' -> 'disconnect with data'."""
    return key.replace("_", " ")


def _layout(height, **more):
    layout = {"height": height, "margin": {"l": 56, "r": 16, "t": 36, "b": 44}, "font": FONT,
              "paper_bgcolor": "rgba(0,0,0,0)", "plot_bgcolor": "#ffffff", "bargap": 0.15,
              "hoverlabel": {"font": {"family": FONT["family"]}}}
    layout.update(more)
    return layout


def _axis(title, **more):
    axis = {"title": {"text": title, "standoff": 6}, "gridcolor": "#e6e9ed", "zeroline": False,
            "linecolor": "#c3c8ce", "ticks": "outside", "tickcolor": "#c3c8ce"}
    axis.update(more)
    return axis


def trimmed(counts):
    """A histogram up to its last non-empty bin (at least one bin)."""
    last = max((i for i, n in enumerate(counts) if n), default=0)
    return counts[: last + 1]


def _histogram_trace(counts, name, colour, axes="x"):
    """Bars of a histogram of one-clock bins whose last bin holds 'that or more'."""
    shown = trimmed(counts)
    open_bin = len(counts) - 1
    text = [f"{i}{'+' if i == open_bin else ''}" for i in range(len(shown))]
    return {"type": "bar", "x": list(range(len(shown))), "y": shown, "name": name, "text": text,
            "width": 0.8,
            "textposition": "none", "marker": {"color": colour}, "xaxis": axes, "yaxis": axes.replace("x", "y"),
            "hovertemplate": "%{text} clocks: %{y}<extra>" + name + "</extra>"}


def _bins_axis(title, shown, **more):
    """An x axis of one-clock bins showing at least eight of them."""
    return _axis(title, range=[-0.6, max(len(shown), 8) - 0.4], **more)


def master_histogram(row):
    """A master's access-latency histogram."""
    counts = row["histogram"]
    title = f"{row['name']}: access latency"
    return {"data": [_histogram_trace(counts, row["name"], BAR_COLOUR)],
            "layout": _layout(230, title={"text": title, "x": 0.02, "font": {"size": 13}}, showlegend=False,
                              xaxis=_bins_axis(f"clocks (bin {len(counts) - 1} = {len(counts) - 1} or more)",
                                               trimmed(counts)),
                              yaxis=_axis("accesses"))}


def card_histograms(card, name):
    """A card's initial and burst latency histograms side by side."""
    initial, burst = card["initial_latency"], card["burst_latency"]
    return {"data": [_histogram_trace(initial, "initial", BAR_COLOUR, "x"),
                     _histogram_trace(burst, "burst", SECOND_COLOUR, "x2")],
            "layout": _layout(
                240, showlegend=False,
                title={"text": f"{name}: initial and burst latency", "x": 0.02, "font": {"size": 13}},
                xaxis=_bins_axis(f"initial latency, clocks ({len(initial) - 1} = that or more)", trimmed(initial),
                                 domain=[0, 0.47]),
                yaxis=_axis("data phases"),
                xaxis2=_bins_axis(f"burst latency, clocks ({len(burst) - 1} = that or more)", trimmed(burst),
                                  domain=[0.53, 1]),
                yaxis2=_axis("", anchor="x2"))}


def bus_utilisation(windows):
    """Stacked busy, turnaround and idle shares (percent) per window."""
    size = windows["size"]
    data = []
    lengths = [sum(windows[k][i] for k in ("busy", "turnaround", "idle")) for i in range(len(windows["start"]))]
    for state in ("busy", "turnaround", "idle"):
        shares = [round(100 * n / length, 3) if length else 0 for n, length in zip(windows[state], lengths)]
        data.append({"type": "bar", "name": state, "x": [s + size / 2 for s in windows["start"]],
                     "y": shares, "width": size,
                     "customdata": [[s, s + n - 1, c] for s, n, c in zip(windows["start"], lengths, windows[state])],
                     "marker": {"color": BUS_COLOURS[state], "line": {"width": 0}},
                     "hovertemplate": "cycles %{customdata[0]}..%{customdata[1]}: %{customdata[2]} "
                                      + state + " (%{y:.1f} %)<extra></extra>"})
    return {"data": data, "toolbar": ["zoom2d", "pan2d", "resetScale2d"],
            "layout": _layout(300, barmode="stack", bargap=0, legend={"orientation": "h", "y": 1.12, "x": 0},
                              xaxis=_axis("cycle", tickformat="d"),
                              yaxis=_axis(f"% of each window of {size} cycles", range=[0, 100], fixedrange=True))}


def timeline(groups, lanes, cycles):
    """One lane per master, one bar per transaction from its address phase to
    its end, one trace per termination (so the legend filters them). SVG bars:
    a default run's couple of thousand draw at once and zoom to single cycles."""
    data = []
    for termination, g in groups:
        data.append({
            "type": "bar", "orientation": "h", "name": label(termination), "base": g["base"],
            "x": g["length"], "y": g["lane"], "customdata": g["hover"], "width": 0.62,
            "marker": {"color": TERMINATION_COLOURS.get(termination, OTHER_COLOUR), "line": {"width": 0}},
            "hovertemplate": ("<b>%{customdata[0]}</b> %{customdata[1]}<br>card %{customdata[2]}, "
                              "%{customdata[3]} data phases, initial wait %{customdata[4]}<br>"
                              "cycles %{customdata[5]}..%{customdata[6]}<extra>" + label(termination)
                              + "</extra>")})
    return {"data": data, "toolbar": ["zoom2d", "pan2d", "zoomIn2d", "zoomOut2d", "resetScale2d"],
            "layout": _layout(
                120 + 46 * max(len(lanes), 1), barmode="overlay", dragmode="zoom", hovermode="closest",
                legend={"orientation": "h", "y": 1.02, "yanchor": "bottom", "x": 0},
                margin={"l": 70, "r": 16, "t": 30, "b": 44},
                xaxis=_axis("cycle", range=[0, max(cycles, 1)], tickformat="d", rangemode="tozero"),
                yaxis=_axis("", type="category", categoryorder="array", categoryarray=list(reversed(lanes)),
                            fixedrange=True, gridcolor="rgba(0,0,0,0)"))}
