#!/usr/bin/python3
"""The rulebook's counts checked against a count of its own.

Runs the default design with --vcd, --compliance and --stats-json, and once
without them: standard output must be the same bytes. Then it reads the
waveform (its own small VCD reader) and counts target_initial_latency and
frame_stable_in_data_phase from FRAME#, IRDY#, TRDY#, STOP# and DEVSEL#
alone, and compares the cycles with the rows of the compliance file. Every
rule's row count must equal its `violated` in the statistics document.
Usage: count_from_waveform.py PCISIM WORKDIR [ARGS...]"""

import csv
import json
import os
import subprocess
import sys

PERIOD = 30  # ns per cycle: the k-th cycle after the reset stands at k * PERIOD
FIRST_CYCLE = 2  # the number the bus dump gives the first cycle after the reset
LINES = ("frame_n", "irdy_n", "trdy_n", "stop_n", "devsel_n")

RULES = [
    "target_initial_latency", "target_subsequent_latency", "master_initial_latency",
    "master_subsequent_latency", "frame_stable_in_data_phase", "irdy_stable_in_data_phase",
    "frame_needs_grant", "one_grant", "trdy_stop_need_devsel", "devsel_held", "stop_held",
    "write_data_stable", "byte_enables_stable", "parity", "reserved_command", "contention",
    "turnaround",
]


def read_cycles(path):
    """Yields, per cycle as the bus dump numbers it, a dict line -> asserted
    (0 or weak low)."""
    ids = {}
    scopes = []
    values = {}
    samples = []  # (time, snapshot)
    time = 0
    with open(path, encoding="ascii") as handle:
        tokens = handle.read().split()
    i = 0
    while i < len(tokens):
        token = tokens[i]
        if token == "$scope":
            scopes.append(tokens[i + 2])
            i += 4
        elif token == "$upscope":
            scopes.pop()
            i += 2
        elif token == "$var":
            name = tokens[i + 4]
            if scopes[-1:] == ["pb"] and name in LINES:
                ids[tokens[i + 3]] = name
            i += 5
            while tokens[i] != "$end":
                i += 1
            i += 1
        elif token.startswith("#"):
            new_time = int(token[1:])
            samples.append((time, dict(values)))
            time = new_time
            i += 1
        elif token[0] in "bBrR":
            i += 2  # vectors: not needed here
        elif token[0] in "01xXzZlLhH" and len(token) > 1:
            if token[1:] in ids:
                values[ids[token[1:]]] = token[0].lower()
            i += 1
        else:
            i += 1
    samples.append((time, dict(values)))
    # The levels at k * PERIOD: the last change at or before that time.
    last_time = samples[-1][0]
    at = 0
    for k in range(1, last_time // PERIOD + 1):
        while at + 1 < len(samples) and samples[at + 1][0] <= k * PERIOD:
            at += 1
        levels = {line: samples[at][1].get(line) in ("0", "l") for line in LINES}
        yield FIRST_CYCLE + k - 1, levels


def count(path):
    """The cycles of both rules' violations, from the waveform alone."""
    late, changed = [], []
    running = claimed = waiting = pending = False
    address = 0
    previous = None
    for cycle, now in read_cycles(path):
        frame, irdy, trdy, stop, devsel = (now[line] for line in LINES)
        if waiting and frame != previous["frame_n"]:
            changed.append(cycle)
        starts = not running and frame
        if starts:
            running, claimed, pending, address = True, False, True, cycle
        elif running:
            claimed = claimed or devsel
            if pending and (trdy or stop or cycle - address > 16):
                pending = False
                if cycle - address > 16:
                    late.append(cycle)
            if not frame and (not irdy or trdy or stop):
                running = False
        unclaimed_too_long = not claimed and cycle - address >= 4
        waiting = (running and not starts and irdy and not trdy and not stop
                   and not unclaimed_too_long)
        previous = now
    return {"target_initial_latency": late, "frame_stable_in_data_phase": changed}


def main(pcisim, work, *args):
    os.makedirs(work, exist_ok=True)
    vcd = os.path.join(work, "run.vcd")
    rows_file = os.path.join(work, "compliance.csv")
    stats = os.path.join(work, "stats.json")
    plain = subprocess.run([pcisim, *args], capture_output=True, check=True)
    checked = subprocess.run([pcisim, *args, "--vcd", vcd, "--compliance", rows_file,
                              "--stats-json", stats], capture_output=True, check=True)
    assert plain.stdout == checked.stdout, "standard output differs with --compliance"
    assert checked.stderr == b"", checked.stderr

    with open(rows_file, newline="", encoding="utf-8") as handle:
        raw = handle.read()
    assert raw.startswith("cycle,rule,agents,detail\r\n"), raw[:40]
    rows = list(csv.DictReader(raw.splitlines()))
    cycles = [int(row["cycle"]) for row in rows]
    assert cycles == sorted(cycles), "rows not in cycle order"
    assert all(row["rule"] in RULES for row in rows)

    with open(stats, encoding="utf-8") as handle:
        rules = json.load(handle)["rules"]
    assert [rule["rule"] for rule in rules[-len(RULES):]] == RULES, rules
    for rule in rules[-len(RULES):]:
        found = sum(1 for row in rows if row["rule"] == rule["rule"])
        assert rule["violated"] == found, (rule, found)
        assert rule["checked"] >= rule["violated"], rule

    counted = count(vcd)
    for rule, expected in counted.items():
        seen = [int(row["cycle"]) for row in rows if row["rule"] == rule]
        assert seen == expected, (rule, seen[:10], expected[:10])
        print(f"{rule}: {len(seen)} in the compliance file, {len(expected)} in the waveform")
    late = [row for row in rows if row["rule"] == "target_initial_latency"]
    print("agents of target_initial_latency:", sorted({row["agents"] for row in late}))
    print("1 passed, 0 failed")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
