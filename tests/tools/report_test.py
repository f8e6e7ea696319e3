"""Tests of tools/pcisim-report without a browser: the figures it computes, its
inputs and errors, and the page of real runs read back with an HTML parser.
The program is $PCISIM (CTest sets it), else build/dev/pcisim; the tests that
run it are skipped when there is none."""
import csv
import html.parser
import json
import math
import os
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
REPORT = os.path.join(ROOT, "tools", "pcisim-report")
PCISIM = os.environ.get("PCISIM") or os.path.join(ROOT, "build", "dev", "pcisim")
PYTHON = "/usr/bin/python3"
sys.path.insert(0, os.path.join(ROOT, "tools"))

from pcisim_report import ReportError, figures, inputs  # noqa: E402
from pcisim_report import page as page_module  # noqa: E402
from pcisim_report.run_page import build  # noqa: E402

STOPS = ("retry", "disconnect_with_data", "disconnect_without_data", "target_abort")


def histogram(values, bins=128):
    counts = [0] * bins
    for v in values:
        counts[min(v, bins - 1)] += 1
    return counts


def make_doc(master_names, card_names, cycles=1000, extra_master=None):
    """A small statistics document with any number of named masters and cards."""
    masters = []
    for i, name in enumerate(master_names):
        lat = [3 + i, 5, 9 + i]
        masters.append({"name": name, "transactions": 10 + i, "done": True, "retries": i, "data_words": 100 * (i + 1),
                        "latency": {"count": 3, "total": sum(lat), "mean": sum(lat) / 3, "min": min(lat),
                                    "max": max(lat), "histogram": histogram(lat), **(extra_master or {})}})
    cards = [{"card": i, "name": name, "base": f"0x{i << 20:08x}", "mask": "0xfff00000", "claimed": 5,
              "decode": {"FAST": 5, "MED": 0, "SLOW": 0, "SUB": 0}, "data_phases": 9, "average_burst_length": 1.8,
              "initial_latency": [0, 5] + [0] * 31, "initial_latency_average": 1.0,
              "burst_latency": [0, 4] + [0] * 15, "burst_latency_average": 1.0,
              "terminations": {"completed": 4, "retry": 1, "disconnect_with_data": 0, "disconnect_without_data": 0,
                               "target_abort": 0, "master_abort": 0, "unfinished": 0}}
             for i, name in enumerate(card_names)]
    return {"format": "pcisim-stats", "version": 1,
            "config": {"arguments": [], "seed": None, "max_cycles": 5000, "mtt": 48,
                       "masters": [{"name": n, "transactions": 10, "latency_timer": 48, "retry_overhead": 0,
                                    "seed": 1} for n in master_names],
                       "targets": [{"name": "tgt", "init_retry_threshold": 16, "burst_retry_threshold": 8,
                                    "decode_speed": "FAST", "seed": 2}]},
            "run": {"cycles": cycles, "closing_index": cycles - 1, "finished": True, "stopped_by": "masters_done"},
            "masters": masters, "targets": [{"name": "tgt", "transfers": 5}], "total_transfers": 5,
            "cards": cards, "bus": {"cycles": cycles, "busy": 10, "idle": cycles - 11, "turnaround": 1,
                                    "busy_share": 0.01, "idle_share": (cycles - 11) / cycles,
                                    "turnaround_share": 1 / cycles},
            "rules": [{"rule": "frame_known", "checked": cycles, "violated": 0},
                      {"rule": "target_initial_latency", "checked": 40, "violated": 7}]}


class Tables(html.parser.HTMLParser):
    """Every table of a page by id: rows of cell texts (header row first);
    the JSON script blocks by id; the ids of the canvases."""

    def __init__(self, text):
        super().__init__()
        self.tables, self.blocks, self.text, self.canvases = {}, {}, [], []
        self._table = self._row = self._cell = self._block = None
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "table":
            self._table = self.tables.setdefault(attrs.get("id", f"t{len(self.tables)}"), [])
        elif tag == "tr" and self._table is not None:
            self._row = []
            self._table.append(self._row)
        elif tag in ("td", "th") and self._row is not None:
            self._cell = []
        elif tag == "script" and attrs.get("type") == "application/json":
            self._block = attrs["id"]
            self.blocks[self._block] = ""
        elif tag == "canvas":
            self.canvases.append(attrs["id"])
        elif tag == "br" and self._cell is not None:
            self._cell.append("\n")

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self._cell is not None:
            self._row.append("".join(self._cell).strip())
            self._cell = None
        elif tag == "table":
            self._table = None
        elif tag == "script":
            self._block = None

    def handle_data(self, data):
        if self._block:
            self.blocks[self._block] += data
        elif self._cell is not None:
            self._cell.append(data)
        self.text.append(data)


def column(table, name):
    """{first cell: cell of column `name`} of a parsed table."""
    index = table[0].index(name)
    return {row[0]: row[index] for row in table[1:]}


def number(text):
    return None if text == "—" else float(text.replace(",", "").replace(" %", ""))


class FiguresTest(unittest.TestCase):
    def test_percentile_is_the_nearest_rank_of_the_histogram(self):
        cases = [  # (values, fraction, expected)
            ([], 0.95, None),
            ([7], 0.95, 7),
            (list(range(1, 21)), 0.95, 19),  # rank ceil(19) = 19th value
            (list(range(1, 21)), 0.5, 10),
            (list(range(1, 101)), 0.95, 95),
            ([0] * 94 + [50] * 6, 0.95, 50),  # rank 95 falls among the six
            ([0] * 95 + [50] * 5, 0.95, 0),
            ([200, 300], 0.95, 127),  # the open last bin
        ]
        for values, fraction, expected in cases:
            with self.subTest(values=values[:5], fraction=fraction):
                self.assertEqual(figures.percentile(histogram(values), fraction), expected)

    def test_jain_index(self):
        cases = [([5, 5, 5], 1.0), ([9, 0, 0], 1 / 3), ([1, 2, 3], 36 / 42), ([4, 0, 0, 0, 0, 0, 0, 0], 1 / 8),
                 ([0, 0], None), ([], None)]
        for values, expected in cases:
            with self.subTest(values=values):
                if expected is None:
                    self.assertIsNone(figures.jain(values))
                else:
                    self.assertAlmostEqual(figures.jain(values), expected, places=12)

    def test_throughput_is_four_bytes_a_phase_at_33_mhz(self):
        self.assertAlmostEqual(figures.throughput_mb_s(1000, 33000), 4.0, places=12)
        self.assertAlmostEqual(figures.throughput_mb_s(1, 1), 132.0, places=12)  # a word every clock
        self.assertIsNone(figures.throughput_mb_s(5, 0))

    def test_window_sizes_are_round(self):
        for cycles, size in ((0, 1), (150, 1), (200, 1), (201, 2), (1000, 5), (85107, 500), (100001, 1000),
                             (2_000_000, 10000)):
            with self.subTest(cycles=cycles):
                self.assertEqual(figures.window_size(cycles), size)

    def test_bus_windows_count_busy_turnaround_and_idle(self):
        # Busy 2..4 and 5..6 (back to back: no turnaround between), 7 turnaround,
        # busy 12..12, 13 turnaround, the unfinished one busy 18 to the end (19).
        rows = [{"start": 2, "end": 4}, {"start": 5, "end": 6}, {"start": 12, "end": 12},
                {"start": 18, "end": None}]
        w = figures.bus_windows(rows, 20, 5)
        self.assertEqual(w["start"], [0, 5, 10, 15])
        self.assertEqual(w["busy"], [3, 2, 1, 2])
        self.assertEqual(w["turnaround"], [0, 1, 1, 0])
        self.assertEqual(w["idle"], [2, 2, 3, 3])
        one = figures.bus_windows(rows, 20, 1)
        self.assertEqual([one["busy"][c] for c in range(20)],
                         [0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1])
        self.assertEqual(one["turnaround"][7], 1)
        self.assertEqual(one["turnaround"][13], 1)
        cases = [  # (rows as (start, end), cycles, size, busy, turnaround, idle per window)
            ([(3, 12), (8, 9)], 15, 5, [2, 5, 3], [0, 0, 1], [3, 0, 1]),  # across windows, overlapping
            ([(10, 14)], 15, 5, [0, 0, 5], [0, 0, 0], [5, 5, 0]),  # busy to the end: no turnaround after
            ([(0, 0), (2, 2)], 7, 3, [2, 0, 0], [1, 1, 0], [0, 2, 1]),  # a short last window
            ([(5, 8)], 7, 10, [2], [0], [5]),  # a row past the counted cycles is cut there
            ([], 4, 2, [0, 0], [0, 0], [2, 2]),
        ]
        for spans, cycles, size, busy, turnaround, idle in cases:
            with self.subTest(spans=spans, cycles=cycles):
                w = figures.bus_windows([{"start": a, "end": b} for a, b in spans], cycles, size)
                self.assertEqual((w["busy"], w["turnaround"], w["idle"]), (busy, turnaround, idle))

    def test_rules_take_the_first_violations_in_cycle_order(self):
        doc = make_doc(["a"], ["c"])
        rows = [{"cycle": c, "rule": "target_initial_latency", "agents": "pt1", "detail": "late"}
                for c in (90, 10, 50, 70, 30, 20, 60)]
        rows.append({"cycle": 5, "rule": "contention", "agents": "pm1 pt2", "detail": "AD"})
        out = figures.rule_rows(doc, rows)
        self.assertEqual([r["rule"] for r in out], ["frame_known", "target_initial_latency", "contention"])
        self.assertEqual([v["cycle"] for v in out[1]["first"]], [10, 20, 30, 50, 60])
        self.assertEqual((out[1]["checked"], out[1]["violated"], out[1]["listed"]), (40, 7, 7))
        self.assertEqual((out[2]["checked"], out[2]["violated"]), (None, 1))
        self.assertEqual(out[0]["first"], [])

    def test_figures_the_document_holds_are_taken_not_computed(self):
        doc = make_doc(["x", "y"], ["c"], extra_master={"p95": 42})
        for i, m in enumerate(doc["masters"]):
            m["data_share"], m["throughput_mb_s"] = 0.25 * (i + 1), 10.5 + i
        doc["fairness"] = {"jain_throughput": 0.875}
        rows = figures.master_rows(doc)
        self.assertEqual([(r["data_share"], r["throughput_mb_s"], r["latency_p95"]) for r in rows],
                         [(0.25, 10.5, 42), (0.5, 11.5, 42)])
        self.assertEqual([r["computed"] for r in rows], [[], []])
        self.assertEqual(figures.fairness(doc, rows), (0.875, False))
        computed = figures.master_rows(make_doc(["x", "y"], ["c"]))
        self.assertEqual([r["computed"] for r in computed], [["throughput_mb_s", "data_share", "latency_p95"]] * 2)
        self.assertAlmostEqual(computed[0]["data_share"], 1 / 3, places=12)
        self.assertAlmostEqual(computed[1]["throughput_mb_s"], 200 * 4 * 33e6 / 1000 / 1e6, places=9)


class PageTest(unittest.TestCase):
    def test_any_number_of_masters_and_cards_by_their_names(self):
        for count in (1, 5, 8):
            masters = [f"dma{i}" for i in range(count)]
            cards = [f"win{i}" for i in range(count + 2)]
            with self.subTest(count=count):
                page = Tables(build(make_doc(masters, cards)))
                self.assertEqual([r[0] for r in page.tables["masters-table"][1:]], masters)
                self.assertEqual([r[0] for r in page.tables["cards-table"][1:]], cards)
                figs = json.loads(page.blocks["pcisim-figures"])
                self.assertEqual(sorted(f["id"] for f in figs),
                                 sorted([f"master-{i}" for i in range(count)]
                                        + [f"card-{i}-{k}" for i in range(count + 2) for k in ("initial", "burst")]))
                self.assertEqual(sorted(page.canvases), sorted(f["id"] for f in figs))

    def test_design_source_and_rules_with_compliance_rows(self):
        doc = make_doc(["cpu"], ["mem"])
        doc["config"]["design_file"] = {"path": "examples/designs/five.toml", "sha256": "ab" * 32}
        doc["config"]["design"] = {"masters": [{"name": "cpu"}]}
        violations = [{"cycle": 117, "rule": "target_initial_latency", "agents": "pt1", "detail": "no TRDY#"}]
        text = build(doc, violations=violations)
        page = Tables(text)
        self.assertIn("examples/designs/five.toml", "".join(page.text))
        self.assertIn('"name": "cpu"', "".join(page.text))  # the resolved design, shown as JSON
        rules = {r[0]: r[1:] for r in page.tables["rules-table"][1:]}
        self.assertEqual(rules["target_initial_latency"], ["40", "7", "cycle 117 · pt1: no TRDY#"])
        self.assertEqual(rules["frame_known"], ["1,000", "0", ""])

    def test_chart_js_embedded_once_and_its_absence_is_one_clear_error(self):
        text = build(make_doc(["cpu"], ["mem"]))
        self.assertEqual(text.count("Chart.js v3.9.1"), 1)
        self.assertNotIn(" src=", text)
        with mock.patch.object(page_module, "CHART_JS", "/nonexistent/chart.min.js"):
            with self.assertRaises(ReportError) as caught:
                build(make_doc(["cpu"], ["mem"]))
        self.assertEqual(str(caught.exception), "the charts need Chart.js: cannot read /nonexistent/chart.min.js: "
                                                "No such file or directory (apt-get install libjs-chart.js)")

    def test_scripts_cannot_end_early(self):
        doc = make_doc(["a</script><b>"], ["c"])
        page = Tables(build(doc))
        self.assertEqual(json.loads(page.blocks["pcisim-data"])["stats"]["masters"][0]["name"], "a</script><b>")


class InputErrorTest(unittest.TestCase):
    def run_report(self, *args):
        return subprocess.run([PYTHON, REPORT, *args], capture_output=True, text=True, timeout=120)

    def test_errors_are_one_line_naming_file_and_place(self):
        with tempfile.TemporaryDirectory() as work:
            def path(name, text):
                full = os.path.join(work, name)
                with open(full, "w", encoding="utf-8") as out:
                    out.write(text)
                return full
            good = path("good.json", json.dumps(make_doc(["a"], ["c"])))
            header = ",".join(inputs.TRANSACTION_COLUMNS)
            out = os.path.join(work, "page.html")
            cases = [
                (["--stats-json", os.path.join(work, "none.json")], "cannot read .*none.json: No such file"),
                (["--stats-json", path("bad.json", '{"format": "pcisim-stats",\n "x": }')], r"bad.json:2:7: not JSON"),
                (["--stats-json", path("other.json", '{"format": "other"}')],
                 "other.json: not a pcisim statistics document"),
                (["--stats-json", path("half.json", '{"format": "pcisim-stats", "config": {}}')],
                 'half.json: the statistics document has no "run"'),
                (["--stats-json", good, "--transactions", path("t1.csv", "start_cycle,master\r\n")],
                 "t1.csv:1:1: the header lacks end_cycle, card"),
                (["--stats-json", good, "--transactions", path("t2.csv", header + "\r\n1,2,pm1,0,Memory Read,"
                                                                "0x00000000,1,x,completed\r\n")],
                 "t2.csv:2:8: initial_wait is 'x', not a number"),
                (["--stats-json", good, "--transactions", path("t3.csv", header + "\r\n1,2,pm1\r\n")],
                 "t3.csv:2:1: 3 cells, the header has 9"),
                (["--stats-json", good, "--compliance", path("c.csv", "cycle,rule,agents,detail\r\nlate,x,,\r\n")],
                 "c.csv:2:1: cycle is 'late', not a number"),
                (["--stats-json", good, "--compliance", path("e.csv", "")], "e.csv:1:1: empty file"),
                (["--stats-json", good, "-o", os.path.join(work, "no", "such", "page.html")],
                 "cannot write .*page.html: No such file"),
                (["--transactions", "x.csv"], "the following arguments are required: --stats-json"),
            ]
            for args, pattern in cases:
                with self.subTest(args=args[-1]):
                    if "-o" not in args:
                        args = [*args, "-o", out]
                    result = self.run_report(*args)
                    self.assertEqual(result.returncode, 1)
                    self.assertEqual(result.stdout, "")
                    self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                    self.assertRegex(result.stderr, "^pcisim-report: (.*/)?" + pattern)
            self.assertFalse(os.path.exists(out))


@unittest.skipUnless(os.access(PCISIM, os.X_OK), f"no pcisim at {PCISIM}")
class RealRunTest(unittest.TestCase):
    """Pages of real runs, read back: the page's numbers against the document's."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.runs = {}
        for name, args in (("short", ["-m1c20", "-m2c20", "-m3c20", "-t1i3", "--seed=5"]),
                           ("limited", ["--max-cycles=3000"])):
            stats, rows = (os.path.join(cls.work.name, f"{name}.{ext}") for ext in ("json", "csv"))
            page = os.path.join(cls.work.name, f"{name}.html")
            subprocess.run([PCISIM, *args, "--stats-json", stats, "--transactions", rows], check=True,
                           stdout=subprocess.DEVNULL, timeout=120)
            subprocess.run([PYTHON, REPORT, "--stats-json", stats, "--transactions", rows, "-o", page], check=True,
                           timeout=120)
            with open(stats, encoding="utf-8") as handle:
                doc = json.load(handle)
            with open(rows, newline="", encoding="utf-8") as handle:
                transactions = list(csv.DictReader(handle))
            with open(page, encoding="utf-8") as handle:
                cls.runs[name] = (doc, transactions, Tables(handle.read()))

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_embedded_document_is_the_run_s(self):
        for name, (doc, rows, page) in self.runs.items():
            with self.subTest(run=name):
                data = json.loads(page.blocks["pcisim-data"])
                self.assertEqual(data["stats"], doc)
                self.assertEqual(data["transactions"], len(rows))

    def test_master_table_equals_the_document(self):
        for name, (doc, rows, page) in self.runs.items():
            table = page.tables["masters-table"]
            cycles = doc["run"]["cycles"]
            words = sum(m["data_words"] for m in doc["masters"])
            for m in doc["masters"]:
                with self.subTest(run=name, master=m["name"]):
                    lat = m["latency"]
                    values = {h: number(column(table, h)[m["name"]]) for h in table[0][1:]}
                    self.assertEqual(values["transactions"], m["transactions"])
                    self.assertEqual(values["data words"], m["data_words"])
                    self.assertEqual(values["retries"], m["retries"])
                    self.assertEqual(values["accesses"], lat["count"])
                    self.assertEqual(values["latency max"], lat["max"])
                    self.assertEqual(values["latency mean"], None if lat["mean"] is None else round(lat["mean"], 2))
                    # Computed here from the words (4 bytes at 33 MHz), and the document's own when it has them.
                    self.assertAlmostEqual(values["throughput MB/s"], m["data_words"] * 132 / cycles, delta=0.0051)
                    self.assertAlmostEqual(values["share of data"], 100 * m["data_words"] / words, delta=0.051)
                    if "throughput_mb_s" in m:
                        self.assertEqual(values["throughput MB/s"], round(m["throughput_mb_s"], 2))
                        self.assertEqual(values["share of data"], round(100 * m["data_share"], 1))
                    # p95 from the latencies the histogram stands for, sorted.
                    flat = sorted(v for v, n in enumerate(lat["histogram"]) for _ in range(n))
                    p95 = flat[math.ceil(0.95 * len(flat)) - 1] if flat else None
                    if lat.get("p95") is None or lat["p95"] < 127:  # the histogram's last bin is open
                        self.assertEqual(p95, lat.get("p95", p95))
                    self.assertEqual(values["latency p95"], lat.get("p95", p95))
                    mine = [r for r in rows if r["master"] == m["name"]]
                    self.assertEqual(values["bus transactions"], len(mine))

    def test_card_tables_equal_the_document(self):
        for name, (doc, rows, page) in self.runs.items():
            cards, ends = page.tables["cards-table"], page.tables["terminations-table"]
            for c in doc["cards"]:
                key = figures.card_name(c)
                with self.subTest(run=name, card=key):
                    self.assertEqual(number(column(cards, "transfers")[key]), c["claimed"])
                    self.assertEqual(number(column(cards, "data phases")[key]), c["data_phases"])
                    for speed, count in c["decode"].items():
                        self.assertEqual(number(column(cards, speed)[key]), count)
                    for end, count in c["terminations"].items():
                        self.assertEqual(number(column(ends, end.replace("_", " "))[key]), count)

    def test_charts_hold_the_histograms_and_every_transaction(self):
        for name, (doc, rows, page) in self.runs.items():
            figs = {f["id"]: f for f in json.loads(page.blocks["pcisim-figures"])}
            with self.subTest(run=name):
                def data(figure_id):
                    return figs[figure_id]["config"]["data"]["datasets"][0]["data"]
                for i, m in enumerate(doc["masters"]):
                    shown = data(f"master-{i}")
                    self.assertEqual(shown + [0] * (128 - len(shown)), m["latency"]["histogram"])
                for i, c in enumerate(doc["cards"]):
                    initial, burst = data(f"card-{i}-initial"), data(f"card-{i}-burst")
                    self.assertEqual(initial + [0] * (33 - len(initial)), c["initial_latency"])
                    self.assertEqual(burst + [0] * (17 - len(burst)), c["burst_latency"])
                bars = figs["timeline-chart"]["config"]["data"]["datasets"]
                self.assertEqual(sum(len(d["data"]) for d in bars), len(rows))
                spans = sorted((d["termination"], p["y"], p["x"][0], p["x"][1] - 1) for d in bars for p in d["data"])
                last = max(doc["run"]["cycles"], max(int(r["end_cycle"] or 0) + 1 for r in rows)) - 1
                self.assertEqual(spans, sorted((r["termination"], r["master"], int(r["start_cycle"]),
                                                int(r["end_cycle"]) if r["end_cycle"] else last) for r in rows))
                bus = figs["bus-chart"]["config"]["data"]["datasets"]
                windows = json.loads(page.blocks["pcisim-data"])["bus_windows"]
                for d in bus:  # the shares of each window add up to 100 %, the counts are the windows'
                    self.assertEqual(d["counts"], windows[d["label"]])
                self.assertTrue(all(abs(sum(s) - 100) < 0.01 for s in zip(*(d["data"] for d in bus))))

    def test_bus_windows_against_the_wires(self):
        # The windows miss only the clock a master holds IRDY# after a stop with
        # FRAME# still asserted: at most one busy cycle per stopped transaction.
        for name, (doc, rows, page) in self.runs.items():
            with self.subTest(run=name):
                w = json.loads(page.blocks["pcisim-data"])["bus_windows"]
                busy = sum(w["busy"])
                stops = sum(r["termination"] in STOPS for r in rows)
                self.assertLessEqual(busy, doc["bus"]["busy"])
                self.assertGreaterEqual(busy, doc["bus"]["busy"] - stops)
                self.assertEqual(sum(w["busy"]) + sum(w["turnaround"]) + sum(w["idle"]),
                                 max([doc["run"]["cycles"]] + [int(r["end_cycle"]) + 1 for r in rows
                                                               if r["end_cycle"]]))



RESULTS = """run_id,mtt,pm2.latency_timer,seed,status,cycles,finished,bus_busy_share,error
a16_l16_s1,16,16,1,0,1000,true,0.5,
a16_l16_s2,16,16,2,0,1200,true,0.7,
a32_l16_s1,32,16,1,0,900,false,0.25,
a16_l128_s1,16,128,1,0,2000,true,0.125,
a32_l128_s1,32,128,1,2,,,,pcisim: boom
"""


class SweepPageTest(unittest.TestCase):
    def test_runs_table_and_metric_charts(self):
        from pcisim_sweep.report import build, layout_of, read_results
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "results.csv"), "w", encoding="utf-8") as out:
                out.write(RESULTS)
            header, rows = read_results(work)
            self.assertEqual(layout_of(header, rows),
                             (["mtt", "pm2.latency_timer"], ["cycles", "finished", "bus_busy_share"]))
            page = Tables(build(work, header, rows))
        runs = page.tables["runs-table"]
        self.assertEqual(runs[0], header)  # the error column too, since a run failed
        self.assertEqual([r[0] for r in runs[1:]], [r["run_id"] for r in rows])
        self.assertEqual(runs[5][-1], "pcisim: boom")
        figs = {f["config"]["options"]["plugins"]["title"]["text"]: f["config"]["data"]["datasets"]
                for f in json.loads(page.blocks["pcisim-figures"])}
        self.assertEqual(sorted(figs), ["bus_busy_share", "cycles", "finished"])
        means = [(d["label"], [(p["x"], p["y"]) for p in d["data"]]) for d in figs["cycles"] if not d.get("dots")]
        # The failed run is left out; lines in the order of the second setting's numbers.
        self.assertEqual(means, [("pm2.latency_timer=16", [(16, 1100), (32, 900)]),
                                 ("pm2.latency_timer=128", [(16, 2000)])])
        dots = [d["data"] for d in figs["finished"] if d.get("dots")]
        self.assertEqual([[p["y"] for p in d] for d in dots], [[1, 1, 0], [1]])
        self.assertEqual([p["run"] for p in dots[0]], ["a16_l16_s1", "a16_l16_s2", "a32_l16_s1"])

    def test_a_text_setting_is_a_category_axis_in_the_order_first_seen(self):
        from pcisim_sweep.report import metric_figure
        rows = [{"run_id": f"r{i}", "decode": d, "seed": 1, "status": 0, "cycles": c}
                for i, (d, c) in enumerate((("SLOW", 9), ("FAST", 5), ("SLOW", 7)))]
        config = metric_figure("m", "cycles", ["decode"], rows)["config"]
        self.assertEqual(config["options"]["scales"]["x"]["labels"], ["SLOW", "FAST"])
        self.assertEqual(config["data"]["datasets"][0]["data"], [{"x": "SLOW", "y": 8}, {"x": "FAST", "y": 5}])

    def test_the_sweep_tool_writes_the_page(self):
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "results.csv"), "w", encoding="utf-8") as out:
                out.write(RESULTS)
            sweep = os.path.join(ROOT, "tools", "pcisim-sweep")
            done = subprocess.run([PYTHON, sweep, "--report", "-o", work], capture_output=True, text=True, timeout=120)
            self.assertEqual((done.returncode, done.stdout), (0, ""))
            self.assertEqual(done.stderr, f"report written to {os.path.join(work, 'report.html')}\n")
            other = os.path.join(work, "other.html")
            done = subprocess.run([PYTHON, sweep, "--report-out", other, "-o", work], capture_output=True,
                                  text=True, timeout=120)
            self.assertEqual(done.returncode, 0)
            with open(other, encoding="utf-8") as handle:
                self.assertEqual(len(Tables(handle.read()).tables["runs-table"]), 6)
            missing = subprocess.run([PYTHON, sweep, "--report", "-o", os.path.join(work, "none")],
                                     capture_output=True, text=True, timeout=120)
            self.assertEqual(missing.returncode, 1)
            self.assertEqual(missing.stderr, f"pcisim-sweep: no results.csv in {os.path.join(work, 'none')} "
                                             "(run a sweep into it first)\n")


if __name__ == "__main__":
    unittest.main()
