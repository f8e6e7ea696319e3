#!/usr/bin/python3
"""Runs pcisim with --stats-json, validates the document against
outputs/stats.schema.json and draws it with tools/plot-stats as PNG and SVG.
Usage: check_stats.py PCISIM REPO WORKDIR"""

import json
import os
import subprocess
import sys

import jsonschema


def main(pcisim, repo, work):
    os.makedirs(work, exist_ok=True)
    stats = os.path.join(work, "stats.json")
    with open(os.path.join(repo, "outputs", "stats.schema.json"), encoding="utf-8") as handle:
        schema = json.load(handle)
    for args in (["-m1c20", "-m2c10", "-m3c10"], ["--seed=7", "--max-cycles=300"], ["-cl1", "-cr0"]):
        subprocess.run([pcisim, *args, "--stats-json", stats], check=True, stdout=subprocess.DEVNULL)
        with open(stats, encoding="utf-8") as handle:
            jsonschema.validate(json.load(handle), schema)
    # A broken document must fail, or the schema checks nothing.
    with open(stats, encoding="utf-8") as handle:
        broken = json.load(handle)
    broken["cards"][0]["initial_latency"].pop()
    try:
        jsonschema.validate(broken, schema)
        raise SystemExit("schema accepted a short histogram")
    except jsonschema.ValidationError:
        pass
    tool = os.path.join(repo, "tools", "plot-stats")
    subprocess.run([tool, stats], check=True)
    with open(os.path.join(work, "stats.png"), "rb") as handle:
        assert handle.read(8) == b"\x89PNG\r\n\x1a\n", "default output is not a PNG"
    svg = os.path.join(work, "plot.svg")
    subprocess.run([tool, stats, "-o", svg], check=True)
    with open(svg, encoding="utf-8") as handle:
        assert "<svg" in handle.read(), "no SVG written"
    bad = subprocess.run([tool, os.path.join(work, "missing.json")], capture_output=True, text=True)
    assert bad.returncode == 1 and bad.stderr.startswith("plot-stats: "), bad
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(*sys.argv[1:4])
