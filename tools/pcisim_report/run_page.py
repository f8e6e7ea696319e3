"""The page of one run: summary, masters, cards, bus utilisation, timeline, rules."""
import json

from . import charts, figures
from .page import esc, fmt_int, fmt_num, fmt_share, table, document

STOPPED_BY = {"masters_done": "every master finished its transactions",
              "iteration_limit": "the iteration limit (--max-cycles) was reached",
              "dump_window": "the dump window (-cl/-cr) had passed"}


def _tile(value, key, mood=""):
    return f'<div class="tile {mood}"><div class="v">{value}</div><div class="k">{esc(key)}</div></div>'


def _design_source(config):
    """Where the design came from: its file (path and SHA-256) or the built-in design."""
    source = config.get("design_file")
    if isinstance(source, dict) and source.get("path"):
        sha = source.get("sha256") or ""
        return f"<code>{esc(source['path'])}</code> (SHA-256 <code>{esc(sha[:16])}…</code>)"
    return "the built-in design"


def summary(doc, files, rows, fairness, violations):
    config, run = doc["config"], doc["run"]
    masters, cards = doc["masters"], doc["cards"]
    total_violated = sum(r["violated"] for r in doc["rules"])
    if violations is not None:
        total_violated = max(total_violated, len(violations))
    tiles = "".join([
        _tile(fmt_int(run["cycles"]), "cycles simulated"),
        _tile("yes" if run["finished"] else "no", "every master finished", "good" if run["finished"] else "bad"),
        _tile(fmt_int(doc.get("total_transfers")), "total transfers (report)"),
        _tile(fmt_share(doc["bus"].get("busy_share")), "bus busy"),
        _tile(fmt_num(sum(r["throughput_mb_s"] or 0 for r in rows), 1), "MB/s, all masters"),
        _tile(fmt_num(fairness[0], 3), "fairness (Jain, throughput)"),
        _tile(fmt_int(total_violated), "rule violations", "bad" if total_violated else "good"),
    ])
    arguments = " ".join(config.get("arguments") or []) or "(none)"
    seeds = ", ".join(f"{a['name']} {a['seed']}" for a in config.get("masters", []) + config.get("targets", []))
    settings = [("design", _design_source(config)),
                ("arguments", f"<code>pcisim {esc(arguments)}</code>"),
                ("--seed", esc(config.get("seed") if config.get("seed") is not None else "none (built-in seeds)")),
                ("seeds used", esc(seeds)),
                ("max cycles", fmt_int(config.get("max_cycles"))),
                ("arbiter MTT", fmt_int(config.get("mtt"))),
                ("agents", f"{len(masters)} masters, {len(doc.get('targets', []))} targets, {len(cards)} cards"),
                ("cycles", f"{fmt_int(run['cycles'])} (closing index {fmt_int(run.get('closing_index'))})"),
                ("stopped by", f"<code>{esc(run['stopped_by'])}</code>: "
                 f"{esc(STOPPED_BY.get(run['stopped_by'], ''))}"),
                ("files", ", ".join(f"<code>{esc(f)}</code>" for f in files))]
    kv = "".join(f"<dt>{esc(k)}</dt><dd>{v}</dd>" for k, v in settings)
    master_cfg = table(["master", "transactions", "Latency Timer", "retry overhead", "seed", "multiplier"],
                       [[esc(m["name"]), fmt_int(m.get("transactions")), fmt_int(m.get("latency_timer")),
                         fmt_int(m.get("retry_overhead")), fmt_int(m.get("seed")), fmt_int(m.get("multiplier"))]
                        for m in config.get("masters", [])], numeric=range(1, 6), wide=False)
    target_cfg = table(["target", "decode speed", "initial retry threshold", "burst retry threshold", "seed",
                        "multiplier"],
                       [[esc(t["name"]), esc(t.get("decode_speed", "")), fmt_int(t.get("init_retry_threshold")),
                         fmt_int(t.get("burst_retry_threshold")), fmt_int(t.get("seed")),
                         fmt_int(t.get("multiplier"))] for t in config.get("targets", [])], numeric=range(2, 6),
                       wide=False)
    design = ""
    if config.get("design") is not None:
        design = ("<details><summary>The resolved design (as the statistics document holds it)</summary>"
                  f"<pre>{esc(json.dumps(config['design'], indent=2))}</pre></details>")
    return (f'<div class="tiles">{tiles}</div><section id="run"><h2>Run</h2><div class="split">'
            f'<dl class="kv">{kv}</dl><div><h3 class="first">Masters as configured</h3>{master_cfg}'
            f"<h3>Targets as configured</h3>{target_cfg}</div></div>{design}</section>")


def masters_section(rows, fairness, transactions_given):
    computed = sorted({k for r in rows for k in r["computed"]})
    headers = ["master", "transactions", "data words", "throughput MB/s", "share of data", "latency mean",
               "latency p95", "latency max", "accesses", "retries"]
    if transactions_given:
        headers += ["bus transactions", "share of bus time"]
    body = []
    for r in rows:
        cells = [f"<b>{esc(r['name'])}</b>", fmt_int(r["transactions"]), fmt_int(r["data_words"]),
                 fmt_num(r["throughput_mb_s"]), fmt_share(r["data_share"]), fmt_num(r["latency_mean"]),
                 fmt_int(r["latency_p95"]), fmt_int(r["latency_max"]), fmt_int(r["latency_count"]),
                 fmt_int(r["retries"])]
        if transactions_given:
            cells += [fmt_int(r["bus_transactions"]), fmt_share(r["bus_time_share"])]
        body.append(cells)
    notes = ["Latency: the bus-access latency each master measures from REQ# to its first completed data phase, "
             "once per access (a retried transaction again for each attempt), in clocks."]
    how = {"throughput_mb_s": "throughput = data words × 4 bytes × 33 MHz ÷ cycles",
           "data_share": "share of data = the master's data words ÷ all masters' data words",
           "latency_p95": "p95 = nearest rank of the latency histogram (a value in its last bin means that or more)"}
    if computed:
        notes.append("Computed here (the document does not hold them): " + "; ".join(how[k] for k in computed) + ".")
    notes.append(f"Fairness: Jain's index over the masters' throughputs, {fmt_num(fairness[0], 4)}"
                 f"{' (computed here)' if fairness[1] else ''}.")
    if transactions_given:
        notes.append("Bus transactions and share of bus time: the master's rows in the transaction file and the "
                     "cycles from their address phases to their ends, over the run's cycles.")
    plots = "".join(f'<canvas id="master-{i}"></canvas>' for i in range(len(rows)))
    return (f'<section id="masters"><h2>Masters</h2>{table(headers, body, "masters-table", numeric=range(1, 12))}'
            + "".join(f'<p class="note">{esc(n)}</p>' for n in notes)
            + f'<h3>Access latency</h3><div class="grid">{plots}</div></section>')


def _colour(termination):
    return charts.TERMINATION_COLOURS.get(termination, charts.OTHER_COLOUR)


def cards_section(doc):
    cards = doc["cards"]
    speeds = ["FAST", "MED", "SLOW", "SUB"]
    ends = sorted({k for c in cards for k in c["terminations"]},
                  key=lambda k: figures.TERMINATIONS.index(k) if k in figures.TERMINATIONS else 99)
    headers = ["card", "base", "mask", "transfers", "data phases", "average burst", "initial latency avg",
               "burst latency avg", *speeds]
    body = [[f"<b>{esc(figures.card_name(c))}</b>", f"<code>{esc(c['base'])}</code>",
             f"<code>{esc(c['mask'])}</code>", fmt_int(c["claimed"]), fmt_int(c["data_phases"]),
             fmt_num(c["average_burst_length"]), fmt_num(c.get("initial_latency_average")),
             fmt_num(c.get("burst_latency_average")), *(fmt_int(c["decode"].get(s, 0)) for s in speeds)]
            for c in cards]
    end_headers = ["card", *(charts.label(e) for e in ends)]
    end_body = [[f"<b>{esc(figures.card_name(c))}</b>", *(fmt_int(c["terminations"].get(e, 0)) for e in ends)]
                for c in cards]
    swatches = " ".join(f'<span class="swatch" style="background:{_colour(e)}"></span>{esc(charts.label(e))}'
                        for e in ends)
    plots = "".join(f'<canvas id="card-{i}-initial"></canvas><canvas id="card-{i}-burst"></canvas>'
                    for i in range(len(cards)))
    return (f'<section id="cards"><h2>Cards</h2>'
            f'{table(headers, body, "cards-table", numeric=range(3, len(headers)))}'
            '<p class="note">The figures of the text report (-s) per card of the monitor\'s address map: transfers '
            "claimed, data phases, average burst length, average initial and burst latency, and how many claims "
            "were decoded at each speed (FAST, MED, SLOW, SUB).</p>"
            "<h3>Terminations</h3>"
            f'{table(end_headers, end_body, "terminations-table", numeric=range(1, len(end_headers)), wide=False)}'
            f'<p class="note">How the card\'s transactions ended ({swatches}: the timeline\'s colours).</p>'
            '<h3>Initial and burst latency</h3><p class="note">Initial latency: clocks from the address phase to the '
            "first data phase; burst latency: clocks between later data phases.</p>"
            f'<div class="grid">{plots}</div></section>')


def bus_section(doc, windows, transactions_given):
    bus = doc["bus"]
    measured = (f"Measured on the wires over the whole run (statistics document): busy {fmt_int(bus['busy'])} "
                f"({fmt_share(bus.get('busy_share'))}), turnaround {fmt_int(bus['turnaround'])} "
                f"({fmt_share(bus.get('turnaround_share'))}), idle {fmt_int(bus['idle'])} "
                f"({fmt_share(bus.get('idle_share'))}) of {fmt_int(bus['cycles'])} cycles.")
    if not transactions_given:
        return (f'<section id="bus"><h2>Bus utilisation</h2><p>{esc(measured)}</p><p class="note">Give the run\'s '
                "transaction file (--transactions) for the utilisation over time.</p></section>")
    how = (f"Per window of {fmt_int(windows['size'])} cycles, computed from the transaction file: a cycle from a "
           "transaction's address phase (start_cycle) to its last data phase or stop (end_cycle; the run's end "
           "when unfinished) is busy; the first cycle after a busy one that is not busy itself is turnaround; "
           "every other cycle is idle. Windows add up to busy "
           f"{fmt_int(sum(windows['busy']))}, turnaround {fmt_int(sum(windows['turnaround']))}, idle "
           f"{fmt_int(sum(windows['idle']))}. They differ slightly from the wires' counts: after a stop with "
           "FRAME# still asserted the master holds IRDY# one more clock, which the transaction file does not "
           "record.")
    return (f'<section id="bus"><h2>Bus utilisation</h2><canvas id="bus-chart"></canvas><p class="note">{esc(how)}</p>'
            f'<p class="note">{esc(measured)}</p></section>')


def timeline_section(groups, rows_count, transactions_given):
    if not transactions_given:
        return ('<section id="timeline"><h2>Transaction timeline</h2><p class="note">Give the run\'s transaction '
                "file (--transactions) for the timeline.</p></section>")
    legend = " ".join(f'<span class="swatch" style="background:{_colour(k)}"></span>{esc(charts.label(k))} '
                      f"{fmt_int(len(g))}" for k, g in groups)
    return ('<section id="timeline"><h2>Transaction timeline</h2><canvas id="timeline-chart"></canvas>'
            f'<p class="note">{fmt_int(rows_count)} transactions: {legend}. One lane per master, a bar from the '
            "address phase to the last data phase or stop, coloured by how it ended. Turn the mouse wheel over the "
            "chart to zoom around the pointer (down to single cycles), drag to pan, double-click or press 'whole "
            "run' to see it all, or type a range of cycles; click a legend entry to hide those transactions; hover "
            "a bar for its command, address, card, data phases and initial wait.</p>"
            "</section>")


def rules_section(rows, compliance_given):
    body = []
    for r in rows:
        first = "<br>".join(
            f"cycle {fmt_int(v['cycle'])}{' · ' + esc(v['agents']) if v['agents'] else ''}"
            f"{': ' + esc(v['detail']) if v['detail'] else ''}" for v in r["first"])
        if r["listed"] > len(r["first"]):
            first += f"<br>… {fmt_int(r['listed'] - len(r['first']))} more"
        violated = fmt_int(r["violated"])
        body.append([f"<code>{esc(r['rule'])}</code>", fmt_int(r["checked"]),
                     f'<span class="{"bad" if r["violated"] else ""}">{violated}</span>', first])
    note = ("Checked: the cycles (or edges) in which the rule applied; violated: how often it broke. "
            + ("First violations: the compliance file's rows (cycle, agents, what was seen)."
               if compliance_given else "Give the run's compliance file (--compliance) for the cycles and agents "
               "of each violation."))
    return (f'<section id="rules"><h2>Protocol rules</h2>'
            f'{table(["rule", "checked", "violated", "first violations"], body, "rules-table", numeric=(1, 2))}'
            f'<p class="note">{esc(note)}</p></section>')


def build(doc, transactions=None, violations=None, files=()):
    """The page's HTML for a statistics document and, when given, its
    transactions and compliance rows."""
    cycles = doc["run"]["cycles"]
    rows = figures.master_rows(doc, transactions)
    fair = figures.fairness(doc, rows)
    rules = figures.rule_rows(doc, violations)
    given = transactions is not None
    span = max([cycles] + [t["end"] + 1 for t in transactions or () if t["end"] is not None])
    windows = figures.bus_windows(transactions, span) if given else None
    groups, lanes = figures.timeline(transactions or (), [m["name"] for m in doc["masters"]], span)

    figs = [charts.master_histogram(f"master-{i}", r) for i, r in enumerate(rows)]
    for i, c in enumerate(doc["cards"]):
        figs += charts.card_histograms(f"card-{i}", c, figures.card_name(c))
    if given:
        figs.append(charts.bus_utilisation("bus-chart", windows))
        figs.append(charts.timeline("timeline-chart", groups, lanes, span))
    body = "".join([summary(doc, files, rows, fair, violations),
                    timeline_section(groups, len(transactions or ()), given), bus_section(doc, windows, given),
                    masters_section(rows, fair, given), cards_section(doc),
                    rules_section(rules, violations is not None)])
    data = {"stats": doc,
            "masters": [{k: v for k, v in r.items() if k != "histogram"} for r in rows],
            "fairness": {"jain_throughput": fair[0], "computed": fair[1]},
            "bus_windows": windows, "rules": rules,
            "transactions": len(transactions) if given else None,
            "violations": len(violations) if violations is not None else None}
    arguments = " ".join(doc["config"].get("arguments") or [])
    header = (f"<h1>pcisim run report</h1><div class=\"sub\"><code>pcisim {esc(arguments)}</code> · "
              f"{fmt_int(cycles)} cycles · {len(doc['masters'])} masters · {len(doc['cards'])} cards</div>")
    nav = [("run", "Run"), ("timeline", "Timeline"), ("bus", "Bus utilisation"), ("masters", "Masters"),
           ("cards", "Cards"), ("rules", "Rules")]
    return document("pcisim run report", header, nav, body, data, figs)
