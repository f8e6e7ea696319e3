"""The output folder: runs/<run-id>.json, results.csv and the grid's copy.

results.csv has one row per run: run_id, one column per varied setting, seed,
status, the key figures of the run's statistics document, and error. The
figure columns carry the agents' names as the run's design gives them
(pm1_latency_mean for the built-in design, cpu_latency_mean for a master
named cpu).

While a sweep runs, results.csv is a journal: rows are appended in the order
the runs finish, each flushed as it is written and synced to disk at
intervals, so a sweep killed at any moment keeps every finished run. When the
sweep ends the table is written once more, sorted in grid order."""
import csv
import io
import json
import os
import tempfile
import time

BUILTIN_MASTERS = ("pm1", "pm2", "pm3")
BUILTIN_TARGETS = ("pt1", "pt2", "pt3")
MASTER_FIGURES = ("latency_mean", "latency_p95", "latency_max", "data_words", "data_share", "throughput_mb_s")
TOTALS = ("bus_busy_share", "fairness_jain", "retries", "disconnect_with_data", "disconnect_without_data")
ERROR_LINES = 5
CLOCK_NS = 30          # one bus clock at 33 MHz
BYTES_PER_PHASE = 4    # one data phase moves a 32-bit word


def figure_columns(masters=BUILTIN_MASTERS, targets=BUILTIN_TARGETS):
    """The figure columns for agents of these names, in table order."""
    return ["cycles", "finished",
            *(f"{m}_{k}" for m in masters for k in MASTER_FIGURES),
            *(f"{t}_transfers" for t in targets), *TOTALS]


def columns(setting_names, figure_names=None):
    figure_names = figure_columns() if figure_names is None else figure_names
    return ["run_id", *setting_names, "seed", "status", *figure_names, "error"]


def figure_names_of(header, setting_names):
    """The figure columns of an existing table, or None when its header does
    not belong to a grid with these settings."""
    head = ["run_id", *setting_names, "seed", "status"]
    if header[:len(head)] != head or header[-1:] != ["error"]:
        return None
    return header[len(head):-1]


def _cell(value):
    """CSV text of a JSON value: null -> empty, booleans as true/false."""
    if value is None:
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    return str(value)


def percentile_of_histogram(histogram, count, share=0.95):
    """The nearest-rank percentile of a one-clock histogram: the smallest
    latency with at least `share` of the accesses at or below it. None when
    there is no access, or when the rank falls into the last bin (which holds
    every latency from its index up)."""
    if not count:
        return None
    rank = -(-count * round(share * 100) // 100)  # ceil(count * share) in whole numbers
    seen = 0
    for latency, number in enumerate(histogram):
        seen += number
        if seen >= rank:
            return latency if latency < len(histogram) - 1 else None
    return None


def jain(values):
    """Jain's fairness index (sum x)^2 / (n sum x^2): 1 when all are equal,
    1/n when one takes everything; None for no values or all zero."""
    squares = sum(x * x for x in values)
    return round(sum(values) ** 2 / (len(values) * squares), 6) if values and squares else None


def figures(doc):
    """The key figures of one statistics document, as CSV cells keyed by column.
    Figures the document carries are taken as they are; older documents lack
    data_share, throughput_mb_s, latency.p95 and fairness, which are then
    computed from data_words, cycles and the latency histogram."""
    cycles = doc["run"]["cycles"]
    masters = doc["masters"]
    words = [m.get("data_words") for m in masters]
    total_words = sum(w for w in words if w is not None)
    terminations = [card["terminations"] for card in doc["cards"]]
    values = {"cycles": cycles, "finished": doc["run"]["finished"], "bus_busy_share": doc["bus"]["busy_share"]}
    throughputs = []
    for master, word_count in zip(masters, words):
        name, latency = master["name"], master.get("latency", {})
        p95 = latency["p95"] if "p95" in latency else \
            percentile_of_histogram(latency.get("histogram", ()), latency.get("count"))
        share = master["data_share"] if "data_share" in master else \
            (round(word_count / total_words, 6) if word_count is not None and total_words else None)
        throughput = master["throughput_mb_s"] if "throughput_mb_s" in master else \
            (round(word_count * BYTES_PER_PHASE * 1000 / (cycles * CLOCK_NS), 4)
             if word_count is not None and cycles else None)
        throughputs.append(throughput)
        values.update({f"{name}_latency_mean": latency.get("mean"), f"{name}_latency_p95": p95,
                       f"{name}_latency_max": latency.get("max"), f"{name}_data_words": word_count,
                       f"{name}_data_share": share, f"{name}_throughput_mb_s": throughput})
    for target in doc["targets"]:
        values[f"{target['name']}_transfers"] = target.get("transfers")
    fairness = doc.get("fairness") or {}
    if "jain_throughput" in fairness:
        values["fairness_jain"] = fairness["jain_throughput"]
    elif any("throughput_mb_s" in m for m in masters):
        values["fairness_jain"] = jain(throughputs) if None not in throughputs else None
    else:  # every master over the same cycles: the words give the same index, unrounded
        values["fairness_jain"] = jain(words) if None not in words else None
    for key, column in (("retry", "retries"), ("disconnect_with_data", "disconnect_with_data"),
                        ("disconnect_without_data", "disconnect_without_data")):
        values[column] = sum(t.get(key, 0) for t in terminations)
    return {k: _cell(v) for k, v in values.items()}


def agent_names(doc):
    """(master names, target names) of a statistics document, in its order."""
    return tuple(m["name"] for m in doc["masters"]), tuple(t["name"] for t in doc["targets"])


def tail(text, lines=ERROR_LINES):
    """The last few non-empty lines of a run's stderr, joined with ' | ' for one CSV cell."""
    kept = [line.strip() for line in text.splitlines() if line.strip()]
    return " | ".join(kept[-lines:])


def make_row(run_id, values, seed, status, message, json_text):
    """A results.csv row (dict) for a finished run, and its agents' names (None
    without a document). `message` (the run's last output lines) goes into the
    error column only when the run failed; a run that exits 0 without a
    readable document has failed too."""
    row = {"run_id": run_id, **{k: _cell(v) for k, v in values.items()},
           "seed": str(seed), "status": str(status), "error": ""}
    if status != 0:
        row["error"] = message or "(no output)"
        return row, None
    try:
        doc = json.loads(json_text)
        row.update(figures(doc))
        return row, agent_names(doc)
    except (TypeError, ValueError, KeyError, AttributeError) as err:
        why = "no statistics document written" if json_text is None else f"bad statistics document: {err!r}"
        row["error"] = " | ".join(filter(None, [message, why]))
        return row, None


def succeeded(row):
    return row.get("status") == "0" and not row.get("error")


class Journal:
    """results.csv open for appending: one row a line, flushed at once, synced
    to disk when `sync_every` seconds have passed since the last sync."""

    def __init__(self, path, header, sync_every=1.0):
        self.header, self.sync_every = header, sync_every
        self.handle = open(path, "a", newline="", encoding="utf-8")
        self.writer = csv.DictWriter(self.handle, header, extrasaction="ignore", lineterminator="\n")
        self.synced = time.monotonic()

    def append(self, row):
        self.writer.writerow(row)
        self.handle.flush()
        now = time.monotonic()
        if now - self.synced >= self.sync_every:
            os.fsync(self.handle.fileno())
            self.synced = now

    def close(self):
        self.handle.flush()
        os.fsync(self.handle.fileno())
        self.handle.close()


class Folder:
    """The sweep's output folder."""

    def __init__(self, path):
        self.path = path
        self.runs = os.path.join(path, "runs")
        self.csv = os.path.join(path, "results.csv")

    def create(self, grid_text):
        os.makedirs(self.runs, exist_ok=True)
        write_atomic(os.path.join(self.path, "grid.toml"), grid_text)

    def json_path(self, run_id):
        return os.path.join(self.runs, f"{run_id}.json")

    def write_json(self, run_id, text):
        write_atomic(self.json_path(run_id), text)

    def read_table(self):
        """(header, rows keyed by run id) of an existing results.csv; a later row
        of a run replaces an earlier one (a rerun appends), and a last line cut
        short by a killed sweep is dropped. ([], {}) when there is none."""
        try:
            with open(self.csv, newline="", encoding="utf-8") as handle:
                text = handle.read()
        except FileNotFoundError:
            return [], {}
        if text and not text.endswith("\n"):
            text = text[:text.rfind("\n") + 1]
        reader = csv.DictReader(io.StringIO(text))
        rows = {}
        for row in reader:
            if None not in row and None not in row.values() and row.get("run_id"):
                rows[row["run_id"]] = row
        return reader.fieldnames or [], rows

    def done(self, run, old_row):
        """A run that needs no rerun: its earlier row succeeded and its document is still there."""
        return old_row is not None and succeeded(old_row) and os.path.exists(self.json_path(run.run_id))

    def read_json(self, run_id):
        with open(self.json_path(run_id), encoding="utf-8") as handle:
            return handle.read()

    def write_rows(self, header, rows):
        out = io.StringIO()
        writer = csv.DictWriter(out, header, extrasaction="ignore", lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
        write_atomic(self.csv, out.getvalue())

    def journal(self, header):
        return Journal(self.csv, header)


def write_atomic(path, text):
    """Write through a temporary file in the same folder, sync it and rename it over the target."""
    handle, temporary = tempfile.mkstemp(dir=os.path.dirname(path) or ".", prefix=".tmp-")
    try:
        with os.fdopen(handle, "w", encoding="utf-8", newline="") as out:
            out.write(text)
            out.flush()
            os.fsync(out.fileno())
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
