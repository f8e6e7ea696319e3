"""The output folder: runs/<run-id>.json, results.csv and the grid's copy.

results.csv has one row per run: run_id, one column per varied setting, seed,
status, the key figures of the run's statistics document, and error."""
import csv
import io
import json
import os
import tempfile

MASTERS = ("pm1", "pm2", "pm3")
TARGETS = ("pt1", "pt2", "pt3")
FIGURES = (
    "cycles", "finished",
    *(f"{m}_latency_{k}" for m in MASTERS for k in ("mean", "max")),
    *(f"{t}_transfers" for t in TARGETS),
    "bus_busy_share", "retries", "disconnect_with_data", "disconnect_without_data",
)
ERROR_LINES = 5


def columns(setting_names):
    return ["run_id", *setting_names, "seed", "status", *FIGURES, "error"]


def _cell(value):
    """CSV text of a JSON value: null -> empty, booleans as true/false."""
    if value is None:
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    return str(value)


def figures(doc):
    """The key figures of one statistics document, as CSV cells."""
    masters = {m["name"]: m for m in doc["masters"]}
    targets = {t["name"]: t for t in doc["targets"]}
    terminations = [card["terminations"] for card in doc["cards"]]
    values = {"cycles": doc["run"]["cycles"], "finished": doc["run"]["finished"],
              "bus_busy_share": doc["bus"]["busy_share"]}
    for name in MASTERS:
        latency = masters.get(name, {}).get("latency", {})
        values[f"{name}_latency_mean"] = latency.get("mean")
        values[f"{name}_latency_max"] = latency.get("max")
    for name in TARGETS:
        values[f"{name}_transfers"] = targets.get(name, {}).get("transfers")
    for key, column in (("retry", "retries"), ("disconnect_with_data", "disconnect_with_data"),
                        ("disconnect_without_data", "disconnect_without_data")):
        values[column] = sum(t.get(key, 0) for t in terminations)
    return {k: _cell(v) for k, v in values.items()}


def tail(text, lines=ERROR_LINES):
    """The last few non-empty lines of a run's stderr, joined with ' | ' for one CSV cell."""
    kept = [line.strip() for line in text.splitlines() if line.strip()]
    return " | ".join(kept[-lines:])


def make_row(run, status, message, json_text):
    """A results.csv row (dict) for a finished run. `message` (the run's last
    output lines) goes into the error column only when the run failed; a run
    that exits 0 without a readable document has failed too."""
    row = {"run_id": run.run_id, **{k: _cell(v) for k, v in run.values.items()},
           "seed": str(run.seed), "status": str(status), "error": ""}
    if status != 0:
        row["error"] = message or "(no output)"
        return row
    try:
        row.update(figures(json.loads(json_text)))
    except (TypeError, ValueError, KeyError, AttributeError) as err:
        why = "no statistics document written" if json_text is None else f"bad statistics document: {err!r}"
        row["error"] = " | ".join(filter(None, [message, why]))
    return row


def succeeded(row):
    return row.get("status") == "0" and not row.get("error")


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

    def read_rows(self):
        """Rows of an existing results.csv keyed by run id (empty when there is none)."""
        try:
            with open(self.csv, newline="", encoding="utf-8") as handle:
                return {row["run_id"]: row for row in csv.DictReader(handle)}
        except FileNotFoundError:
            return {}

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


def write_atomic(path, text):
    """Write through a temporary file in the same folder and rename it over the target."""
    handle, temporary = tempfile.mkstemp(dir=os.path.dirname(path) or ".", prefix=".tmp-")
    try:
        with os.fdopen(handle, "w", encoding="utf-8", newline="") as out:
            out.write(text)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
