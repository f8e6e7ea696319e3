"""Reading a run's files: the statistics document (--stats-json), the
transaction file (--transactions) and the compliance file (--compliance)."""
import csv
import json

from . import ReportError

TRANSACTION_COLUMNS = ("start_cycle", "end_cycle", "master", "card", "command", "address", "data_phases",
                       "initial_wait", "termination")
COMPLIANCE_COLUMNS = ("cycle", "rule", "agents", "detail")


def load_stats(path):
    """The statistics document as a dict; ReportError names the file and what is wrong."""
    try:
        with open(path, encoding="utf-8") as handle:
            doc = json.load(handle)
    except OSError as err:
        raise ReportError(f"cannot read {path}: {err.strerror}") from err
    except json.JSONDecodeError as err:
        raise ReportError(f"{path}:{err.lineno}:{err.colno}: not JSON: {err.msg}") from err
    if not isinstance(doc, dict) or doc.get("format") != "pcisim-stats":
        raise ReportError(f"{path}: not a pcisim statistics document (no \"format\": \"pcisim-stats\")")
    for key in ("config", "run", "masters", "cards", "bus", "rules"):
        if key not in doc:
            raise ReportError(f"{path}: the statistics document has no \"{key}\"")
    return doc


def _rows(path, columns):
    """(line number, row dict) of a CSV file whose header holds `columns`."""
    try:
        with open(path, newline="", encoding="utf-8") as handle:
            reader = csv.reader(handle)
            header = next(reader, None)
            if header is None:
                raise ReportError(f"{path}:1:1: empty file, expected the header {','.join(columns)}")
            missing = [c for c in columns if c not in header]
            if missing:
                raise ReportError(f"{path}:1:1: the header lacks {', '.join(missing)} "
                                  f"(expected {','.join(columns)})")
            rows = []
            for cells in reader:
                if len(cells) != len(header):
                    raise ReportError(f"{path}:{reader.line_num}:1: {len(cells)} cells, the header has "
                                      f"{len(header)}")
                rows.append((reader.line_num, dict(zip(header, cells))))
            return rows
    except OSError as err:
        raise ReportError(f"cannot read {path}: {err.strerror}") from err
    except csv.Error as err:
        raise ReportError(f"{path}: not CSV: {err}") from err


def _int(path, line, header, row, key, empty_ok=False):
    text = row[key]
    if text == "" and empty_ok:
        return None
    try:
        return int(text, 0) if text.startswith("0x") else int(text)
    except ValueError:
        raise ReportError(f"{path}:{line}:{header.index(key) + 1}: {key} is {text!r}, not a number") from None


def read_transactions(path):
    """Transactions as dicts with integer cycles, data phases and wait (None where empty)."""
    out = []
    for line, row in _rows(path, TRANSACTION_COLUMNS):
        header = list(row)
        out.append({"start": _int(path, line, header, row, "start_cycle"),
                    "end": _int(path, line, header, row, "end_cycle", empty_ok=True),
                    "master": row["master"], "card": row["card"], "command": row["command"],
                    "address": row["address"],
                    "data_phases": _int(path, line, header, row, "data_phases"),
                    "wait": _int(path, line, header, row, "initial_wait", empty_ok=True),
                    "termination": row["termination"]})
    return out


def read_compliance(path):
    """Violations as dicts: cycle (int), rule, agents, detail, in file order."""
    out = []
    for line, row in _rows(path, COMPLIANCE_COLUMNS):
        out.append({"cycle": _int(path, line, list(row), row, "cycle"), "rule": row["rule"],
                    "agents": row["agents"], "detail": row["detail"]})
    return out
