"""The sweep tool checked at the level of its command line and its files: each
row of results.csv against the run's own document read here, a failed run
recorded with its message and rerun, and --timeout from the command line."""
import csv
import json
import os
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SWEEP = os.path.join(ROOT, "tools", "pcisim-sweep")
PCISIM = os.path.abspath(os.environ.get("PCISIM") or os.path.join(HERE, "fake_pcisim"))


def sweep(*args):
    return subprocess.run(["/usr/bin/python3", SWEEP, *args], capture_output=True, text=True, timeout=180)


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as handle:
        return list(csv.DictReader(handle))


def number(cell):
    """A figure cell as a number, None when empty."""
    return None if cell == "" else float(cell)


def nearest_rank(histogram, share):
    """The smallest latency with at least share of the accesses at or below it
    (None without accesses or in the open last bin)."""
    count = sum(histogram)
    seen = 0
    for latency, number_of in enumerate(histogram):
        seen += number_of
        if count and seen >= share * count - 1e-9:
            return latency if latency < len(histogram) - 1 else None
    return None


def check_row(test, row, doc):
    """Every figure of the row against the document, read here key by key."""
    test.assertEqual(int(row["cycles"]), doc["run"]["cycles"])
    test.assertEqual(row["finished"], "true" if doc["run"]["finished"] else "false")
    cycles = doc["run"]["cycles"]
    words = [master["data_words"] for master in doc["masters"]]
    throughputs = []
    for master in doc["masters"]:
        name, latency = master["name"], master["latency"]
        test.assertEqual(number(row[name + "_latency_mean"]), latency["mean"])
        test.assertEqual(number(row[name + "_latency_max"]), latency["max"])
        # Columns added with the bandwidth figures, where the table has them.
        # Words of 4 bytes at 33 MHz (an older document without the figure:
        # the sweep works it out at 30 ns a cycle).
        clock_hz = 33e6 if "throughput_mb_s" in master else 1e9 / 30
        throughput = master["data_words"] * 4 * clock_hz / cycles / 1e6
        throughputs.append(throughput)
        expected = {"_data_words": master["data_words"], "_data_share": master["data_words"] / sum(words),
                    "_throughput_mb_s": throughput, "_latency_p95": nearest_rank(latency["histogram"], 0.95)}
        for suffix, value in expected.items():
            if name + suffix in row:
                cell = number(row[name + suffix])
                if value is None:
                    test.assertIsNone(cell, name + suffix)
                else:
                    test.assertAlmostEqual(cell, value, delta=1e-4 * max(1, abs(value)), msg=name + suffix)
    if "fairness_jain" in row:
        jain = sum(throughputs) ** 2 / (len(throughputs) * sum(t * t for t in throughputs))
        test.assertAlmostEqual(number(row["fairness_jain"]), jain, delta=1e-5)
    for target in doc["targets"]:
        test.assertEqual(int(row[target["name"] + "_transfers"]), target["transfers"])
    test.assertEqual(number(row["bus_busy_share"]), doc["bus"]["busy"] / doc["bus"]["cycles"])
    for column, key in (("retries", "retry"), ("disconnect_with_data", "disconnect_with_data"),
                        ("disconnect_without_data", "disconnect_without_data")):
        test.assertEqual(int(row[column]), sum(card["terminations"][key] for card in doc["cards"]), column)


class SweepFactsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def path(self, name):
        return os.path.join(self.tmp.name, name)

    def write(self, name, text, mode=0o644):
        with open(self.path(name), "w", encoding="utf-8") as handle:
            handle.write(text)
        os.chmod(self.path(name), mode)
        return self.path(name)

    def test_a_failed_run_keeps_its_message_and_is_rerun_then_rows_match_their_documents(self):
        # pcisim behind a wrapper whose run with -a24 and seed 5 fails once.
        flaky = self.write("flaky", f'#!/bin/sh\ncase " $* " in *" -a24 "*) case " $* " in *" --seed 5 "*)\n'
                           f'  if mkdir "{self.path("failed-once")}" 2>/dev/null; then\n'
                           f'    echo "first line" >&2\n'
                           f'    echo "pcisim: flaky failure" >&2; exit 3; fi;; esac;;\nesac\n'
                           f'exec "{PCISIM}" "$@"\n', 0o755)
        grid = self.write("grid.toml", f'binary = "{flaky}"\nseeds = [5, 9]\n[fixed]\n'
                          'options = ["-m1c15", "-m2c15", "-m3c15"]\n[vary]\nmtt = [24, 40]\n')
        out = self.path("out")
        first = sweep(grid, "-o", out, "--workers", "2", "--process-per-run")  # the wrapper sees each run
        self.assertEqual(first.returncode, 2, first.stderr)
        rows = read_csv(os.path.join(out, "results.csv"))
        failed = [r for r in rows if r["status"] != "0"]
        self.assertEqual([(r["mtt"], r["status"], r["error"], r["cycles"]) for r in failed],
                         [("24", "3", "first line | pcisim: flaky failure", "")])
        self.assertFalse(os.path.exists(os.path.join(out, "runs", failed[0]["run_id"] + ".json")))

        again = sweep(grid, "-o", out, "--workers", "1")
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn("3 skipped (already done), 1 to run", again.stderr)
        rows = read_csv(os.path.join(out, "results.csv"))
        self.assertEqual([(r["mtt"], r["seed"], r["status"], r["error"]) for r in rows],
                         [(m, s, "0", "") for m in ("24", "40") for s in ("5", "9")])
        for row in rows:
            with self.subTest(row["run_id"]):
                with open(os.path.join(out, "runs", row["run_id"] + ".json"), encoding="utf-8") as handle:
                    doc = json.load(handle)
                arguments = doc["config"]["arguments"]
                self.assertIn("-a" + row["mtt"], arguments)
                self.assertEqual(arguments[arguments.index("--seed") + 1], row["seed"])
                self.assertEqual(doc["config"]["seed"], int(row["seed"]))
                check_row(self, row, doc)

    def test_timeout_from_the_command_line_wins_over_the_grid(self):
        slow = self.write("slow", "#!/bin/sh\necho 'still working' >&2\nexec sleep 30\n", 0o755)
        grid = self.write("grid.toml", f'binary = "{slow}"\ntimeout = 600\n[vary]\nmtt = [16]\n')
        started = time.monotonic()
        done = sweep(grid, "-o", self.path("out"), "--workers", "1", "--timeout", "1")
        self.assertLess(time.monotonic() - started, 60)
        self.assertEqual(done.returncode, 2, done.stderr)
        [row] = read_csv(self.path("out/results.csv"))
        self.assertEqual((row["status"], row["error"], row["cycles"]), ("timeout", "still working", ""))


if __name__ == "__main__":
    unittest.main()
