"""Tests of tools/pcisim-sweep. The binary under test is $PCISIM, or the fake
beside this file when that is unset."""
import csv
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SWEEP = os.path.join(ROOT, "tools", "pcisim-sweep")
PCISIM = os.path.abspath(os.environ.get("PCISIM") or os.path.join(HERE, "fake_pcisim"))
PYTHON = "/usr/bin/python3"
sys.path.insert(0, os.path.join(ROOT, "tools"))

from pcisim_sweep import SweepError  # noqa: E402
from pcisim_sweep.grid import parse_grid  # noqa: E402
from pcisim_sweep.results import figures  # noqa: E402
from pcisim_sweep.runner import run_point  # noqa: E402

# Small transaction counts keep every run short.
GRID_2x2 = f"""
binary = "{PCISIM}"
seeds = 2
timeout = 60
[fixed]
options = ["-m1c20", "-m2c20", "-m3c20"]
[vary]
mtt = [16, 64]
"pm1.latency_timer" = {{from = 0, to = 32, step = 32}}
"""


def grid(text):
    return parse_grid(text, "/grids/test.toml")


def sweep(*args, timeout=120):
    return subprocess.run([PYTHON, SWEEP, *args], capture_output=True, text=True, timeout=timeout)


def read_csv(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class GridTest(unittest.TestCase):
    def test_ranges_lists_and_raw_templates_expand_in_grid_order(self):
        g = grid('binary = "pcisim"\nseeds = [3, 7]\n[fixed]\nmtt = 40\noptions = ["-m2c5"]\n[vary]\n'
                 '"pt2.burst_retry_threshold" = {from = 4, to = 8, step = 4}\n'
                 'hold = {option = "-m1o{}", values = [0, 2, 5]}\n')
        self.assertEqual(g.binary, "/grids/pcisim")
        self.assertEqual(g.fixed, ("-a40", "-m2c5"))
        runs = g.runs()
        self.assertEqual(len(runs), 2 * 3 * 2)
        self.assertEqual(runs[0].args, ("-a40", "-m2c5", "-t2b4", "-m1o0", "--seed", "3"))
        self.assertEqual(runs[1].seed, 7)
        self.assertEqual([r.values for r in runs[::2][:4]],
                         [{"pt2.burst_retry_threshold": 4, "hold": h} for h in (0, 2, 5)]
                         + [{"pt2.burst_retry_threshold": 8, "hold": 0}])
        self.assertEqual(len({r.run_id for r in runs}), len(runs))
        self.assertEqual([r.run_id for r in runs], [r.run_id for r in grid(g.text).runs()])
        self.assertTrue(runs[0].run_id.startswith("t2b4_m1o0_s3_"))

    def test_friendly_names_map_to_options(self):
        names = {"mtt": "-a9", "pm1.transactions": "-m1c9", "pm2.latency_timer": "-m2l9",
                 "pm3.retry_overhead": "-m3o9", "pt1.init_retry_threshold": "-t1i9",
                 "pt3.burst_retry_threshold": "-t3b9"}
        for name, option in names.items():
            g = grid(f'binary = "/p"\n[vary]\n"{name}" = [9]\n')
            self.assertEqual(g.runs()[0].args, (option, "--seed", "1"), name)

    def test_bad_grids_are_one_line_errors(self):
        cases = {
            "unknown setting": ('binary = "/p"\n[vary]\n"pm4.latency_timer" = [1]\n', "unknown setting 'pm4"),
            "empty range": ('binary = "/p"\n[vary]\nmtt = {from = 9, to = 1}\n', "empty range"),
            "empty list": ('binary = "/p"\n[vary]\nmtt = []\n', "empty range or value list"),
            "no binary": ('[vary]\nmtt = [1]\n', "no 'binary'"),
            "bad template": ('binary = "/p"\n[vary]\nx = {option = "-a", values = [1]}\n', "containing {}"),
            "no values": ('binary = "/p"\n[vary]\nx = {option = "-a{}"}\n', "needs 'values'"),
            "not a number": ('binary = "/p"\n[vary]\nmtt = ["big"]\n', "whole number"),
            "fixed and varied": ('binary = "/p"\n[fixed]\nmtt = 3\n[vary]\nmtt = [1]\n', "also set in [fixed]"),
            "unknown key": ('binary = "/p"\nseed = 3\n', "unknown key(s) seed"),
            "bad toml": ('binary = \n', "not valid TOML"),
        }
        for name, (text, message) in cases.items():
            with self.subTest(name), self.assertRaises(SweepError) as caught:
                grid(text)
            self.assertIn(message, str(caught.exception))
            self.assertNotIn("\n", str(caught.exception))

    def test_the_command_reports_a_bad_grid_and_a_missing_binary(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "g.toml")
            with open(path, "w") as handle:
                handle.write('binary = "nowhere/pcisim"\n[vary]\nmtt = [1]\n')
            done = sweep(path, "-o", os.path.join(tmp, "out"))
            self.assertEqual((done.returncode, done.stderr.count("\n")), (1, 1))
            self.assertIn("nowhere/pcisim does not exist", done.stderr)


class TaskTest(unittest.TestCase):
    def test_a_slow_run_times_out_and_a_missing_binary_is_status_127(self):
        with tempfile.TemporaryDirectory() as tmp:
            slow = os.path.join(tmp, "slow")
            with open(slow, "w") as handle:
                handle.write("#!/bin/sh\necho one >&2\necho two >&2\nexec sleep 10\n")
            os.chmod(slow, 0o755)
            started = time.monotonic()
            self.assertEqual(run_point(slow, [], "r", 0.5), ("timeout", "one | two", None))
            self.assertLess(time.monotonic() - started, 5)
            status, message, text = run_point(os.path.join(tmp, "none"), [], "r", 5)
            self.assertEqual((status, text), (127, None))
            self.assertIn("cannot run", message)


class SweepTest(unittest.TestCase):
    """One sweep of the 2x2 grid with 2 seeds on a local cluster, shared by the tests."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.grid_path = os.path.join(cls.tmp.name, "grid.toml")
        with open(cls.grid_path, "w") as handle:
            handle.write(GRID_2x2)
        cls.out = os.path.join(cls.tmp.name, "local")
        cls.done = sweep(cls.grid_path, "-o", cls.out, "--workers", "2")
        cls.rows = read_csv(os.path.join(cls.out, "results.csv"))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_every_row_holds_the_figures_of_its_own_document_and_of_a_direct_run(self):
        self.assertEqual(self.done.returncode, 0, self.done.stderr)
        self.assertEqual(len(self.rows), 8)
        self.assertEqual([(r["mtt"], r["pm1.latency_timer"], r["seed"]) for r in self.rows],
                         [(m, lt, s) for m in ("16", "64") for lt in ("0", "32") for s in ("1", "2")])
        for row in self.rows:
            with self.subTest(row["run_id"]):
                self.assertEqual((row["status"], row["error"]), ("0", ""))
                with open(os.path.join(self.out, "runs", row["run_id"] + ".json")) as handle:
                    doc = json.load(handle)
                self.assertEqual({k: row[k] for k in figures(doc)}, figures(doc))
                direct = os.path.join(self.tmp.name, "direct.json")
                args = doc["config"]["arguments"][:-2]  # without --stats-json and its file
                subprocess.run([PCISIM, *args, "--stats-json", direct], check=True,
                               stdout=subprocess.DEVNULL, timeout=60)
                with open(direct) as handle:
                    self.assertEqual(figures(json.load(handle)), figures(doc))
        self.assertNotEqual(figures(doc), {})
        seeds = {r["seed"]: r["cycles"] for r in self.rows[:2]}
        self.assertNotEqual(seeds["1"], seeds["2"])

    def test_grid_copy_and_nothing_rerun(self):
        with open(os.path.join(self.out, "grid.toml")) as handle:
            self.assertEqual(handle.read(), GRID_2x2)
        again = sweep(self.grid_path, "-o", self.out, "--workers", "1")
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn("8 skipped (already done), 0 to run", again.stderr)
        self.assertEqual(read_csv(os.path.join(self.out, "results.csv")), self.rows)

    def test_plot_writes_a_png(self):
        for extra, name in (([], "pm1_latency_mean.png"),
                            (["--plot-x", "mtt", "--plot-y", "pm1.latency_timer", "--plot-out",
                              os.path.join(self.out, "heat.png")], "heat.png")):
            done = sweep("--plot", "pm1_latency_mean", "-o", self.out, *extra)
            self.assertEqual(done.returncode, 0, done.stderr)
            with open(os.path.join(self.out, name), "rb") as handle:
                data = handle.read()
            self.assertTrue(data.startswith(b"\x89PNG") and len(data) > 1000, name)

    def test_a_remote_cluster_gives_the_same_table(self):
        port = free_port()
        address = f"tcp://127.0.0.1:{port}"
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        scheduler = subprocess.Popen(["/usr/bin/dask-scheduler", "--host", "127.0.0.1", "--port", str(port),
                                      "--no-dashboard"], **quiet)
        self.addCleanup(self.stop, scheduler)
        worker = subprocess.Popen(["/usr/bin/dask-worker", address, "--nthreads", "1", "--no-nanny",
                                   "--no-dashboard", "--host", "127.0.0.1"], **quiet)
        self.addCleanup(self.stop, worker)
        out = os.path.join(self.tmp.name, "remote")
        # one process a run there, batches here: the same table
        done = sweep(self.grid_path, "-o", out, "--scheduler", address, "--process-per-run", timeout=90)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(read_csv(os.path.join(out, "results.csv")), self.rows)

    @staticmethod
    def stop(process):
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=10)


class FailingRunTest(unittest.TestCase):
    def test_a_rejected_option_is_recorded_and_the_rest_completes_then_nothing_reruns(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "grid.toml")
            with open(path, "w") as handle:
                handle.write(f'binary = "{PCISIM}"\n[fixed]\noptions = ["-m2c10", "-m3c10"]\n'
                             '[vary]\nmaster = {option = "-m{}c10", values = [1, 9, 3]}\n')
            out = os.path.join(tmp, "out")
            started = time.monotonic()
            done = sweep(path, "-o", out, "--workers", "2")
            self.assertEqual(done.returncode, 2, done.stderr)
            rows = read_csv(os.path.join(out, "results.csv"))
            self.assertEqual([(r["master"], r["status"]) for r in rows], [("1", "0"), ("9", "10"), ("3", "0")])
            self.assertEqual(rows[1]["error"], "Unknown Master number 9")
            self.assertEqual((rows[1]["cycles"], rows[0]["error"]), ("", ""))
            self.assertEqual(sorted(os.listdir(os.path.join(out, "runs"))),
                             sorted(rows[i]["run_id"] + ".json" for i in (0, 2)))
            # the failed run again, in a process of its own: the same row
            again = sweep(path, "-o", out, "--workers", "1", "--process-per-run")
            self.assertIn("2 skipped (already done), 1 to run", again.stderr)
            self.assertEqual(read_csv(os.path.join(out, "results.csv")), rows)
            self.assertLess(time.monotonic() - started, 60)


if __name__ == "__main__":
    unittest.main()
