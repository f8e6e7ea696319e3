"""The figures the page shows beyond the statistics document's own: taken from
the document when it has them, computed from it (or from the transaction file)
when it does not. Each computed figure says how it was made."""
import math

CLOCK_HZ = 33_000_000  # the bus clock the throughput is given at
BYTES_PER_PHASE = 4  # a 32-bit data phase
TERMINATIONS = ("completed", "disconnect_with_data", "disconnect_without_data", "retry", "target_abort",
                "master_abort", "unfinished", "not_decoded")


def percentile(histogram, fraction):
    """Nearest-rank percentile of a histogram of one-clock bins: the first bin
    whose running count reaches ceil(fraction * total). None when empty."""
    total = sum(histogram)
    if total == 0:
        return None
    rank = max(1, math.ceil(fraction * total))
    running = 0
    for value, count in enumerate(histogram):
        running += count
        if running >= rank:
            return value
    return len(histogram) - 1


def jain(values):
    """Jain's fairness index (sum x)^2 / (n * sum x^2); None without values or all zero."""
    values = list(values)
    squares = sum(v * v for v in values)
    if not values or squares == 0:
        return None
    return sum(values) ** 2 / (len(values) * squares)


def throughput_mb_s(data_words, cycles):
    """MB/s (10^6 bytes) of so many data phases over so many clocks at 33 MHz."""
    if not cycles:
        return None
    return data_words * BYTES_PER_PHASE * CLOCK_HZ / cycles / 1e6


def master_rows(doc, transactions=None):
    """One dict per master of the document, in its order: the table's figures.
    `computed` lists the keys not found in the document."""
    cycles = doc["run"]["cycles"]
    all_words = sum(m["data_words"] for m in doc["masters"])
    per_master = {}
    for t in transactions or ():
        entry = per_master.setdefault(t["master"], {"count": 0, "bus_cycles": 0})
        entry["count"] += 1
        end = t["end"] if t["end"] is not None else cycles - 1
        entry["bus_cycles"] += end - t["start"] + 1
    rows = []
    for m in doc["masters"]:
        latency = m["latency"]
        computed = []
        row = {"name": m["name"], "transactions": m["transactions"], "done": m.get("done"),
               "data_words": m["data_words"], "retries": m["retries"], "latency_count": latency["count"],
               "latency_mean": latency["mean"], "latency_max": latency["max"],
               "latency_min": latency["min"], "histogram": latency["histogram"]}
        if "throughput_mb_s" in m:
            row["throughput_mb_s"] = m["throughput_mb_s"]
        else:
            row["throughput_mb_s"] = throughput_mb_s(m["data_words"], cycles)
            computed.append("throughput_mb_s")
        if "data_share" in m:
            row["data_share"] = m["data_share"]
        else:
            row["data_share"] = m["data_words"] / all_words if all_words else None
            computed.append("data_share")
        if "p95" in latency:
            row["latency_p95"] = latency["p95"]
        else:
            row["latency_p95"] = percentile(latency["histogram"], 0.95)
            computed.append("latency_p95")
        if transactions is not None:
            seen = per_master.get(m["name"], {"count": 0, "bus_cycles": 0})
            row["bus_transactions"] = seen["count"]
            row["bus_time_share"] = seen["bus_cycles"] / cycles if cycles else None
        row["computed"] = computed
        rows.append(row)
    return rows


def fairness(doc, rows):
    """Jain's index over the masters' throughputs: (value, computed?)."""
    given = doc.get("fairness", {}).get("jain_throughput") if isinstance(doc.get("fairness"), dict) else None
    if given is not None:
        return given, False
    return jain(r["throughput_mb_s"] or 0 for r in rows), True


def card_name(card):
    """A card's name: its own when the document gives one, else 'card N'."""
    return card.get("name") or f"card {card['card']}"


def card_of(transaction, cards):
    """The index of the card a transaction row names (by name or by number), or None."""
    key = transaction["card"]
    if key == "":
        return None
    for i, card in enumerate(cards):
        if key == card.get("name") or key == str(card["card"]):
            return i
    return None


def window_size(cycles, windows=200):
    """A round window (1, 2 or 5 times a power of ten) giving at most about `windows` windows."""
    if cycles <= windows:
        return 1
    raw = cycles / windows
    power = 10 ** math.floor(math.log10(raw))
    for step in (1, 2, 5, 10):
        if step * power >= raw:
            return step * power
    return 10 * power


def bus_windows(transactions, cycles, size=None):
    """Busy, turnaround and idle cycles per window of `size` cycles, from the
    transactions: a cycle from a transaction's address phase to its last data
    phase or stop (the run's end when unfinished) is busy; the first cycle
    after a busy one that is not busy itself is turnaround; the rest idle.
    Works on the merged busy spans, so long runs cost no more than short ones."""
    size = size or window_size(cycles)
    count = (cycles + size - 1) // size if cycles else 0
    out = {"size": size, "start": [i * size for i in range(count)], "busy": [0] * count,
           "turnaround": [0] * count, "idle": [0] * count}
    spans = sorted((max(t["start"], 0), min(cycles - 1 if t["end"] is None else t["end"], cycles - 1))
                   for t in transactions)
    merged = []
    for first, last in spans:
        if first > last:
            continue
        if merged and first <= merged[-1][1] + 1:  # overlapping or back to back: one busy stretch
            merged[-1][1] = max(merged[-1][1], last)
        else:
            merged.append([first, last])
    for first, last in merged:
        while first <= last:
            window = first // size
            stop = min(last, (window + 1) * size - 1)
            out["busy"][window] += stop - first + 1
            first = stop + 1
        if last + 1 < cycles:  # the next span starts two or more cycles later
            out["turnaround"][(last + 1) // size] += 1
    for w in range(count):
        length = min(size, cycles - w * size)
        out["idle"][w] = length - out["busy"][w] - out["turnaround"][w]
    return out


def rule_rows(doc, violations=None, first=5):
    """The document's rules (checked, violated) in its order, then any rule only
    the compliance file names; each with its first violations (cycle order)."""
    by_rule = {}
    for v in sorted(violations or (), key=lambda v: v["cycle"]):
        by_rule.setdefault(v["rule"], []).append(v)
    rows = []
    for r in doc["rules"]:
        found = by_rule.pop(r["rule"], [])
        rows.append({"rule": r["rule"], "checked": r["checked"], "violated": r["violated"],
                     "listed": len(found), "first": found[:first]})
    for rule, found in by_rule.items():
        rows.append({"rule": rule, "checked": None, "violated": len(found), "listed": len(found),
                     "first": found[:first]})
    return rows


def timeline(transactions, masters, cycles):
    """The timeline's bars grouped by termination, and the lanes (the document's
    masters, then any other the rows name). A bar is {x: [start, end + 1],
    y: master, h: [command, address, card, data phases, initial wait]}; an
    unfinished transaction runs to the run's last cycle."""
    groups = {}
    order = {name: i for i, name in enumerate(masters)}
    for t in transactions:
        end = t["end"] if t["end"] is not None else cycles - 1
        card = t["card"] or "none"
        if t.get("card_name") and t["card_name"] != t["card"]:
            card = f"{t['card_name']} ({t['card']})"
        groups.setdefault(t["termination"], []).append(
            {"x": [t["start"], end + 1], "y": t["master"],
             "h": [t["command"], t["address"], card, t["data_phases"], "" if t["wait"] is None else t["wait"]]})
        order.setdefault(t["master"], len(order))
    known = [k for k in TERMINATIONS if k in groups] + sorted(k for k in groups if k not in TERMINATIONS)
    return [(k, groups[k]) for k in known], sorted(order, key=order.get)
