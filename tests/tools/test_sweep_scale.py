"""Tests of tools/pcisim-sweep at scale: the figures of a row, the journal
that survives a killed sweep, chunk sizes, grids over a design file, workers
that die, and a sweep killed with SIGKILL and run again. The binary under test
is $PCISIM, or the fake beside this file when that is unset."""
import collections
import csv
import io
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SWEEP = os.path.join(ROOT, "tools", "pcisim-sweep")
FAKE = os.path.join(HERE, "fake_pcisim")
PCISIM = os.path.abspath(os.environ.get("PCISIM") or FAKE)
PYTHON = "/usr/bin/python3"
sys.path.insert(0, os.path.join(ROOT, "tools"))

from pcisim_sweep import SweepError  # noqa: E402
from pcisim_sweep.grid import parse_grid  # noqa: E402
from pcisim_sweep.results import Folder, figure_columns, figures, jain, make_row, \
    percentile_of_histogram  # noqa: E402
from pcisim_sweep.runner import Chunks, Progress, Table, run_chunk  # noqa: E402


def write(path, text, mode=0o644):
    with open(path, "w") as handle:
        handle.write(text)
    os.chmod(path, mode)
    return path


def read_csv(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle))


def sweep(*args, timeout=300):
    return subprocess.run([PYTHON, SWEEP, *args], capture_output=True, text=True, timeout=timeout)


def wrapper(folder, body, binary=PCISIM):
    """A pcisim that logs the document path of each run it is given (one, or
    a batch file's lines) to folder/log, then does `body` (shell; $lines holds
    the runs' arguments, a line each) and runs the real thing."""
    program = [PYTHON, binary] if binary == FAKE else [binary]
    return write(os.path.join(folder, "pcisim"),
                 '#!/bin/sh\ncase "$1" in --batch=*) lines=$(cat "${1#--batch=}") ;; *) lines="$*" ;; esac\n'
                 f"printf '%s\\n' \"$lines\" | awk '{{print $NF}}' >> {folder}/log\n{body}\n"
                 f"exec {' '.join(program)} \"$@\"\n", 0o755)


def log_counts(folder):
    """How often each run was started, by run id."""
    with open(os.path.join(folder, "log")) as handle:
        return collections.Counter(os.path.basename(line.strip())[:-5] for line in handle if line.strip())


def document(words, cycles=1000, histogram=None, count=None, **extra):
    """A minimal statistics document with one master per entry of `words`."""
    histogram = histogram or [0] * 128
    masters = [{"name": f"m{i}", "data_words": w,
                "latency": {"count": count if count is not None else sum(histogram), "mean": 5.0, "max": 9,
                            "histogram": histogram}} for i, w in enumerate(words)]
    doc = {"run": {"cycles": cycles, "finished": True}, "masters": masters,
           "targets": [{"name": "mem", "transfers": sum(words)}], "cards": [], "bus": {"busy_share": 0.5}}
    doc.update(extra)
    return doc


class FiguresTest(unittest.TestCase):
    def test_bandwidth_and_fairness_computed_from_data_words(self):
        # 300 words in 1000 clocks of 30 ns: 1200 bytes in 30 us = 40 MB/s.
        cases = [  # words, shares, throughputs, Jain
            ([300, 300, 300], ["0.333333"] * 3, ["40.0"] * 3, "1.0"),
            ([900, 0, 0, 0], ["1.0", "0.0", "0.0", "0.0"], ["120.0", "0.0", "0.0", "0.0"], "0.25"),
            ([100, 300], ["0.25", "0.75"], ["13.3333", "40.0"], "0.8"),
            ([0, 0], ["", ""], ["0.0", "0.0"], ""),
        ]
        for words, shares, throughputs, fairness in cases:
            with self.subTest(words=words):
                row = figures(document(words))
                self.assertEqual([row[f"m{i}_data_share"] for i in range(len(words))], shares)
                self.assertEqual([row[f"m{i}_throughput_mb_s"] for i in range(len(words))], throughputs)
                self.assertEqual([row[f"m{i}_data_words"] for i in range(len(words))], [str(w) for w in words])
                self.assertEqual(row["fairness_jain"], fairness)
                self.assertEqual(row["mem_transfers"], str(sum(words)))

    def test_jain_index(self):
        self.assertEqual(jain([7, 7, 7, 7]), 1.0)
        self.assertEqual(jain([5, 0, 0, 0, 0]), 0.2)
        self.assertEqual(jain([1, 2, 3]), round(36 / 42, 6))
        self.assertIsNone(jain([]))

    def test_p95_from_the_histogram(self):
        def hist(counts):
            out = [0] * 128
            for latency, number in counts.items():
                out[latency] = number
            return out
        cases = [  # histogram, p95
            ({3: 19, 40: 1}, 3),        # 19 of 20 at 3: the 19th access is the rank
            ({3: 18, 40: 2}, 40),
            ({2: 100}, 2),
            ({5: 94, 9: 5, 11: 1}, 9),
            ({1: 1, 127: 99}, None),    # in the last bin, which holds 127 clocks or more
            ({}, None),
        ]
        for counts, p95 in cases:
            with self.subTest(counts=counts):
                histogram = hist(counts)
                self.assertEqual(percentile_of_histogram(histogram, sum(histogram)), p95)
                self.assertEqual(figures(document([1], histogram=histogram))["m0_latency_p95"],
                                 "" if p95 is None else str(p95))

    def test_figures_the_document_gives_are_taken_as_they_are(self):
        doc = document([300, 100], fairness={"jain_throughput": 0.5})
        doc["masters"][0].update(data_share=0.7, throughput_mb_s=12.5)
        doc["masters"][0]["latency"]["p95"] = 33
        row = figures(doc)
        self.assertEqual((row["m0_data_share"], row["m0_throughput_mb_s"], row["m0_latency_p95"],
                          row["fairness_jain"]), ("0.7", "12.5", "33", "0.5"))
        self.assertEqual((row["m1_data_share"], row["m1_throughput_mb_s"]), ("0.25", "13.3333"))

    def test_columns_carry_the_design_names(self):
        doc = document([1, 2, 3])
        row, names = make_row("r", {"mtt": 4}, 1, 0, "", json.dumps(doc))
        self.assertEqual(names, (("m0", "m1", "m2"), ("mem",)))
        self.assertEqual(set(figure_columns(*names)), set(row) - {"run_id", "mtt", "seed", "status", "error"})
        self.assertEqual(figure_columns()[2:8], ["pm1_latency_mean", "pm1_latency_p95", "pm1_latency_max",
                                                 "pm1_data_words", "pm1_data_share", "pm1_throughput_mb_s"])


class JournalTest(unittest.TestCase):
    def test_a_cut_last_line_is_dropped_and_a_later_row_wins(self):
        with tempfile.TemporaryDirectory() as tmp:
            folder = Folder(tmp)
            write(folder.csv, "run_id,seed,status,error\na,1,0,\nb,1,7,bad\nb,1,0,\nc,1,0,\nd,1,")
            header, rows = folder.read_table()
            self.assertEqual(header, ["run_id", "seed", "status", "error"])
            self.assertEqual({k: r["status"] for k, r in rows.items()}, {"a": "0", "b": "0", "c": "0"})
            write(folder.csv, "run_id,seed,status,error\na,1,0,\nb,1")
            self.assertEqual(list(folder.read_table()[1]), ["a"])
            self.assertEqual(Folder(os.path.join(tmp, "none")).read_table(), ([], {}))

    def test_rows_are_appended_as_they_come_and_sorted_once_at_the_end(self):
        grid = parse_grid('binary = "/p"\nseeds = 2\n[vary]\nmtt = [1, 2]\n', "/g.toml")
        runs = grid.runs()
        doc = json.dumps(document([5, 5]))
        with tempfile.TemporaryDirectory() as tmp:
            folder = Folder(tmp)
            folder.create(grid.text)
            table = Table(folder, runs, grid.setting_names)
            self.assertEqual(table.keep([], {}, runs), runs)
            failed, _ = make_row(runs[3].run_id, runs[3].values, runs[3].seed, 10, "Unknown option", None)
            table.add(failed, None)
            self.assertFalse(os.path.exists(folder.csv))  # no names yet: the row waits
            for run in (runs[2], runs[0]):
                table.add(*make_row(run.run_id, run.values, run.seed, 0, "", doc))
            with open(folder.csv) as handle:
                lines = handle.read().splitlines()
            self.assertEqual([line.split(",")[0] for line in lines],  # the first table sorted, then appended
                             ["run_id", runs[2].run_id, runs[3].run_id, runs[0].run_id])
            self.assertIn("m1_throughput_mb_s", lines[0].split(","))
            table.add(*make_row(runs[1].run_id, runs[1].values, runs[1].seed, 0, "", doc))
            table.finish()
            rows = read_csv(folder.csv)
            self.assertEqual([r["run_id"] for r in rows], [r.run_id for r in runs])
            self.assertEqual([r["status"] for r in rows], ["0", "0", "0", "10"])


class ChunksTest(unittest.TestCase):
    def test_chunk_size_follows_the_time_per_run(self):
        cases = [  # runs, workers, seconds per run measured, sizes handed out
            (10, 2, None, [1, 1]),                 # not measured yet: one run a task
            (1000, 2, 0.003, [100] * 3),            # 0.3 s a task
            (1000, 2, 0.5, [1] * 3),                # slow runs: one a task
            (100, 2, 0.0001, [25, 18, 14]),         # the end: two chunks a worker left in the queue
        ]
        for total, workers, per_run, sizes in cases:
            with self.subTest(total=total, per_run=per_run):
                chunks = Chunks(range(total), workers)
                if per_run is not None:
                    for _ in range(workers):
                        chunks.measured(per_run)
                self.assertEqual([len(chunks.next()) for _ in sizes], sizes)

    def test_runs_of_a_failed_chunk_go_one_by_one_first(self):
        chunks = Chunks(range(10), 1)
        chunks.alone.extend(["x", "y"])
        self.assertEqual([chunks.next(), chunks.next(), chunks.next()], [["x"], ["y"], [0]])

    def test_progress_line_shows_rate_and_time_to_go(self):
        stream = io.StringIO()
        progress = Progress(10, stream)
        progress.start -= 2.0
        progress.step(4)
        self.assertRegex(stream.getvalue(), r"^4/10 runs done, 6 left, 2\.0 runs/s, 0:00:02 elapsed, ~0:00:03 to go\n$")


class DesignGridTest(unittest.TestCase):
    def test_design_values_become_set_options(self):
        g = parse_grid('binary = "/p"\ndesign = "designs/cpu.toml"\nseeds = [5]\n[fixed]\n'
                       '"target.flash.initial_wait" = [0, 20]\n"arbiter.policy" = "fixed"\n[vary]\n'
                       '"master.dma.latency_timer" = [16, 128]\n"master.cpu.address" = ["random", "sequential"]\n',
                       "/study/grid.toml")
        runs = g.runs()
        self.assertEqual(runs[3].args, ("--design", "/study/designs/cpu.toml",
                                        "--set", "target.flash.initial_wait=[0, 20]",
                                        "--set", 'arbiter.policy="fixed"',
                                        "--set", "master.dma.latency_timer=128",
                                        "--set", 'master.cpu.address="sequential"', "--seed", "5"))
        self.assertEqual(runs[3].values, {"master.dma.latency_timer": 128, "master.cpu.address": "sequential"})
        self.assertTrue(runs[3].run_id.startswith("dma.latency-timer=128_cpu.address=-sequential-_s5_"))
        ranges = parse_grid('binary = "/p"\n[vary]\n"target.pt1.initial_wait" = [[0, 20], 4]\n', "/g.toml").runs()
        self.assertEqual([r.args[1] for r in ranges], ["target.pt1.initial_wait=[0, 20]", "target.pt1.initial_wait=4"])
        self.assertEqual(ranges[0].values, {"target.pt1.initial_wait": "[0, 20]"})

    def test_bad_design_grids(self):
        cases = {
            "design not a string": ('binary = "/p"\ndesign = 3\n', "design must be the path"),
            "fixed and varied": ('binary = "/p"\n[fixed]\n"master.a.gap" = 1\n[vary]\n"master.a.gap" = [1, 2]\n',
                                 "also set in [fixed]"),
            "table value": ('binary = "/p"\n[vary]\n"master.a.gap" = [{x = 1}]\n', "cannot be a table"),
            "design in options": ('binary = "/p"\n[fixed]\noptions = ["--design", "x.toml"]\n', "--design is set"),
            "repeated value": ('binary = "/p"\n[vary]\n"arbiter.mtt" = [4, 4]\n', "repeated value"),
            "not a design path": ('binary = "/p"\n[vary]\n"bus.width" = [64]\n', "unknown setting 'bus.width'"),
        }
        for name, (text, message) in cases.items():
            with self.subTest(name), self.assertRaises(SweepError) as caught:
                parse_grid(text, "/g.toml")
            self.assertIn(message, str(caught.exception))

    def test_a_sweep_over_a_design_names_its_columns_after_the_agents(self):
        if PCISIM != FAKE:
            self.skipTest("the design is written for the fake; the real program checks every key")
        with tempfile.TemporaryDirectory() as tmp:
            write(os.path.join(tmp, "two.toml"), '[[master]]\nname = "cpu"\ntransactions = 10\n'
                  '[[master]]\nname = "dma"\ntransactions = 10\n[[target]]\nname = "dram"\n')
            grid = write(os.path.join(tmp, "grid.toml"), f'binary = "{FAKE}"\ndesign = "two.toml"\n'
                         '[vary]\n"master.dma.latency_timer" = [16, 128]\n')
            done = sweep(grid, "-o", os.path.join(tmp, "out"), "--workers", "1")
            self.assertEqual(done.returncode, 0, done.stderr)
            rows = read_csv(os.path.join(tmp, "out", "results.csv"))
            self.assertEqual(list(rows[0])[:4], ["run_id", "master.dma.latency_timer", "seed", "status"])
            self.assertIn("dma_throughput_mb_s", rows[0])
            self.assertIn("dram_transfers", rows[0])
            self.assertNotIn("pm1_latency_mean", rows[0])
            for row, timer in zip(rows, ("16", "128")):
                with open(os.path.join(tmp, "out", "runs", row["run_id"] + ".json")) as handle:
                    doc = json.load(handle)
                self.assertEqual(doc["config"]["masters"][1]["latency_timer"], int(timer))
                self.assertEqual(row["dma_data_words"], str(doc["masters"][1]["data_words"]))
            plot = sweep("--plot", "cpu_throughput_mb_s", "-o", os.path.join(tmp, "out"))
            self.assertEqual(plot.returncode, 0, plot.stderr)


class WorkerFaultTest(unittest.TestCase):
    """Runs whose pcisim kills the Dask worker running it (its parent process)."""

    def grid(self, tmp, binary, seeds=6):
        return write(os.path.join(tmp, "grid.toml"), f'binary = "{binary}"\nseeds = {seeds}\n'
                     '[fixed]\noptions = ["-m1c5", "-m2c5", "-m3c5"]\n[vary]\nmtt = [16, 32]\n')

    def test_a_killed_workers_runs_go_to_another_and_the_table_is_complete(self):
        with tempfile.TemporaryDirectory() as tmp:
            binary = wrapper(tmp, f'case " $lines " in *" -a32 --seed 3 "*) [ -e {tmp}/killed ] || '
                                  f'{{ : > {tmp}/killed; kill -9 $PPID; sleep 5; }} ;; esac')
            done = sweep(self.grid(tmp, binary), "-o", os.path.join(tmp, "out"), "--workers", "2")
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertTrue(os.path.exists(os.path.join(tmp, "killed")))
            rows = read_csv(os.path.join(tmp, "out", "results.csv"))
            self.assertEqual([(r["mtt"], r["seed"], r["status"]) for r in rows],
                             [(m, str(s), "0") for m in ("16", "32") for s in range(1, 7)])
            self.assertEqual(len(set(r["run_id"] for r in rows)), 12)
            self.assertRegex(done.stderr.splitlines()[-1],
                             r"^12 runs, 12 run now, 0 failed, [0-9.]+ s wall, [0-9.]+ runs/s; table in ")

    def test_a_run_that_kills_every_worker_is_recorded_failed(self):
        with tempfile.TemporaryDirectory() as tmp:
            binary = wrapper(tmp, 'case " $lines " in *" -a16 --seed 2 "*) kill -9 $PPID; sleep 5 ;; esac')
            done = sweep(self.grid(tmp, binary, seeds=3), "-o", os.path.join(tmp, "out"), "--workers", "2")
            self.assertEqual(done.returncode, 2, done.stderr)
            rows = read_csv(os.path.join(tmp, "out", "results.csv"))
            self.assertEqual(rows[1]["status"], "error")
            self.assertIn("KilledWorker", rows[1]["error"])
            self.assertEqual(rows[1]["cycles"], "")
            self.assertLessEqual(log_counts(tmp)[rows[1]["run_id"]], 4)
            # Only the killer fails: every run beside it completes.
            self.assertEqual([r["status"] for i, r in enumerate(rows) if i != 1], ["0"] * 5)
            self.assertIn("1 failed", done.stderr.splitlines()[-1])


class KilledSweepTest(unittest.TestCase):
    def test_a_sweep_killed_mid_way_completes_on_rerun_with_every_run_once(self):
        with tempfile.TemporaryDirectory() as tmp:
            binary = wrapper(tmp, "sleep 0.2")
            grid = write(os.path.join(tmp, "grid.toml"), f'binary = "{binary}"\nseeds = 10\n[fixed]\n'
                         'options = ["-m1c5", "-m2c5", "-m3c5"]\n[vary]\nmtt = [16, 32, 48, 64]\n')
            out = os.path.join(tmp, "out")
            table = os.path.join(out, "results.csv")
            first = subprocess.Popen([PYTHON, SWEEP, grid, "-o", out, "--workers", "2"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 200
            finished = 0
            while time.monotonic() < deadline and finished < 12:
                time.sleep(0.05)
                if os.path.exists(table):
                    with open(table) as handle:
                        finished = handle.read().count("\n") - 1  # whole lines only
            first.send_signal(signal.SIGKILL)
            first.wait(timeout=30)
            self.assertGreaterEqual(finished, 12)
            self.assertLess(finished, 40, "the sweep ended before it was killed")
            time.sleep(2)  # runs in flight end on their own
            kept = {row["run_id"] for row in Folder(out).read_table()[1].values()}
            self.assertGreaterEqual(len(kept), 12)
            written = {run_id: os.stat(Folder(out).json_path(run_id)).st_mtime_ns for run_id in kept}
            again = sweep(grid, "-o", out, "--workers", "2")
            self.assertEqual(again.returncode, 0, again.stderr)
            self.assertIn(f"40 runs in the grid, {len(kept)} skipped (already done), {40 - len(kept)} to run",
                          again.stderr)
            rows = read_csv(table)
            with open(grid) as handle:
                grid_runs = parse_grid(handle.read(), grid).runs()
            self.assertEqual([r["run_id"] for r in rows], [r.run_id for r in grid_runs])
            self.assertEqual({r["status"] for r in rows}, {"0"})
            started = log_counts(tmp)
            self.assertEqual(set(started), {r["run_id"] for r in rows})
            self.assertEqual({run_id: started[run_id] for run_id in kept}, dict.fromkeys(kept, 1))
            self.assertLessEqual(max(started.values()), 2)  # only runs in flight at the kill ran twice
            self.assertEqual({run_id: os.stat(Folder(out).json_path(run_id)).st_mtime_ns for run_id in kept},
                             written)  # finished runs were not run again


class ChunkTaskTest(unittest.TestCase):
    def test_one_crash_and_one_timeout_are_recorded_for_those_runs_alone(self):
        with tempfile.TemporaryDirectory() as tmp:
            binary = wrapper(tmp, 'case " $* " in *" --seed 2 "*) kill -SEGV $$ ;;\n'
                                  '  *" --seed 3 "*) exec sleep 10 ;; esac')
            runs = [(f"r{s}", {"mtt": 16}, s, ["-m1c5", "-m2c5", "-m3c5", "--seed", str(s)]) for s in range(1, 5)]
            started = time.monotonic()
            results = run_chunk(binary, runs, 2.0, process_per_run=True)
            self.assertLess(time.monotonic() - started, 9)
            self.assertEqual([r[0]["status"] for r in results], ["0", "-11", "timeout", "0"])
            self.assertEqual([r[0]["error"] == "" for r in results], [True, False, False, True])
            self.assertTrue(all(r[3] is not None for r in (results[0], results[3])))
            self.assertEqual(results[0][1][0], ("pm1", "pm2", "pm3"))

    def test_in_a_batch_a_crash_and_a_hang_cost_only_their_own_run(self):
        # The fake's --crash ends its process with SIGSEGV, --hang sleeps.
        with tempfile.TemporaryDirectory() as tmp:
            binary = wrapper(tmp, "", FAKE)
            hooks = {2: ["--crash"], 3: ["--hang"], 4: ["-x"], 5: ["--set", "master.pm1.transactions=7 '"]}
            runs = [(f"r{s}", {"mtt": 16}, s, ["-m1c5", "--seed", str(s), *hooks.get(s, [])]) for s in range(1, 7)]
            started = time.monotonic()
            results = run_chunk(binary, runs, 2.0)
            self.assertLess(time.monotonic() - started, 20)
            self.assertEqual([(r[0]["status"], r[0]["error"]) for r in results],
                             [("0", ""), ("-11", "(no output)"), ("timeout", "(no output)"),
                              ("10", "Unknown option x"),
                              ("1", "pcisim: --set master.pm1.transactions=7 ': no such value"), ("0", "")])
            self.assertTrue(all(r[3] is not None for r in (results[0], results[5])))
            # One batch up to the crash, the crasher alone, one batch up to
            # the hang, one batch for the rest.
            self.assertEqual(log_counts(tmp), {"r1": 1, "r2": 2, "r3": 2, "r4": 3, "r5": 3, "r6": 3})


class SameTableTest(unittest.TestCase):
    def test_a_batch_and_one_process_a_run_give_the_same_rows(self):
        grid = parse_grid(f'binary = "{PCISIM}"\nseeds = 2\n[fixed]\noptions = ["-m2c10", "-m3c10"]\n[vary]\n'
                          'master = {option = "-m{}c10", values = [1, 9]}\n'
                          'limit = {option = "--max-cycles={}", values = [3000, "x y"]}\n', "/g.toml")
        runs = [(r.run_id, r.values, r.seed, list(r.args)) for r in grid.runs()]
        batch, alone = (run_chunk(PCISIM, runs, 60, process_per_run=mode) for mode in (False, True))
        self.assertEqual([(r[0], r[1], r[3]) for r in batch], [(r[0], r[1], r[3]) for r in alone])
        self.assertEqual([r[0]["status"] for r in batch], ["0", "0", "1", "1", "10", "10", "10", "10"])
        self.assertRegex(batch[2][0]["error"], r"^pcisim: (option )?--max-cycles.*'x y'")
        self.assertEqual(batch[4][0]["error"], "Unknown Master number 9")


if __name__ == "__main__":
    unittest.main()
