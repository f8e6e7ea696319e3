"""Running the grid's points on Dask: one task per run, each starting one pcisim
process; the client writes every file as the results come back."""
import contextlib
import logging
import os
import subprocess
import sys
import tempfile
import time

from . import SweepError
from .results import Folder, columns, make_row, succeeded, tail


def run_point(binary, args, run_id, timeout):
    """The task a worker runs: pcisim with its options and --stats-json into a
    fresh folder of the worker's own, so workers need no shared file system.
    Returns (status, message, document text or None): status is the exit code,
    "timeout", or 127 when the binary cannot be started; message is the tail
    of stderr, or of stdout when stderr is empty (pcisim reports a rejected
    option on stdout)."""
    with tempfile.TemporaryDirectory(prefix="pcisim-sweep-") as work:
        os.mkdir(os.path.join(work, "runs"))
        document = os.path.join("runs", f"{run_id}.json")
        streams = [os.path.join(work, name) for name in ("stderr", "stdout")]
        try:
            with open(streams[0], "wb") as err, open(streams[1], "wb") as out:
                status = subprocess.run([binary, *args, "--stats-json", document], cwd=work, timeout=timeout,
                                        stdin=subprocess.DEVNULL, stdout=out, stderr=err).returncode
        except subprocess.TimeoutExpired:
            status = "timeout"
        except OSError as err:
            return 127, f"cannot run {binary}: {err.strerror}", None
        message = ""
        for path in streams:
            message = message or tail(_end_of(path))
        try:
            with open(os.path.join(work, document), encoding="utf-8") as handle:
                text = handle.read()
        except (OSError, UnicodeDecodeError):
            text = None
        return status, message, text


def _end_of(path, size=4096):
    """The last few KiB of a file as text (a run's stdout can be long)."""
    with open(path, "rb") as handle:
        handle.seek(max(0, os.path.getsize(path) - size))
        return handle.read().decode(errors="replace")


def _quiet_dask():
    """Keep Dask's own log lines (startup, shutdown, closed streams) off stderr."""
    os.environ.setdefault("DASK_LOGGING__DISTRIBUTED", "error")
    os.environ.setdefault("DASK_DISTRIBUTED__ADMIN__LOG_LENGTH", "0")
    for name in ("distributed", "dask", "tornado", "asyncio"):
        logging.getLogger(name).setLevel(logging.CRITICAL)


@contextlib.contextmanager
def dask_client(scheduler=None, workers=None, wait=60):
    """A Client on a new LocalCluster (processes, one thread each) or on the given scheduler."""
    _quiet_dask()
    import cloudpickle
    from distributed import Client, LocalCluster
    from . import results
    # Remote workers cannot import this package: send the task's code along
    # (Dask looks up the task's own module in this registry).
    for module in (sys.modules[__name__], results):
        if module.__name__ not in cloudpickle.list_registry_pickle_by_value():
            cloudpickle.register_pickle_by_value(module)
    if scheduler:
        try:
            client = Client(scheduler, timeout=f"{wait}s")
        except (OSError, TimeoutError) as err:
            raise SweepError(f"cannot reach the Dask scheduler at {scheduler}: {err}") from None
        with client:
            try:
                client.wait_for_workers(1, timeout=wait)
            except TimeoutError:
                raise SweepError(f"no Dask worker joined {scheduler} within {wait} s") from None
            yield client
        return
    count = workers or os.cpu_count() or 1
    with LocalCluster(n_workers=count, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None, silence_logs=logging.CRITICAL) as cluster, Client(cluster) as client:
        yield client


class Progress:
    """Runs done and left, elapsed and estimated time to go: a bar redrawn in
    place on a terminal, otherwise a plain line at about every tenth."""

    def __init__(self, total, stream=sys.stderr):
        self.total, self.stream, self.done = total, stream, 0
        self.start = time.monotonic()
        self.tty = stream.isatty()
        self.next_line = 0

    @staticmethod
    def _clock(seconds):
        seconds = int(seconds)
        return f"{seconds // 3600}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"

    def _text(self):
        elapsed = time.monotonic() - self.start
        to_go = elapsed / self.done * (self.total - self.done) if self.done else None
        eta = self._clock(to_go) if to_go is not None else "?"
        return (f"{self.done}/{self.total} runs done, {self.total - self.done} left, "
                f"{self._clock(elapsed)} elapsed, ~{eta} to go")

    def step(self):
        self.done += 1
        if self.tty:
            filled = 30 * self.done // max(self.total, 1)
            self.stream.write(f"\r[{'#' * filled}{'.' * (30 - filled)}] {self._text()} ")
            if self.done == self.total:
                self.stream.write("\n")
        elif self.done * 10 >= self.next_line * self.total:
            self.stream.write(self._text() + "\n")
            self.next_line = self.done * 10 // max(self.total, 1) + 1
        self.stream.flush()


def run_sweep(grid, out_dir, scheduler=None, workers=None, timeout=None, log=sys.stderr):
    """Run every point of the grid not already done in out_dir; returns the number of failed runs."""
    if not scheduler and not os.access(grid.binary, os.X_OK):
        raise SweepError(f"pcisim binary {grid.binary} does not exist or is not executable")
    folder = Folder(out_dir)
    folder.create(grid.text)
    runs = grid.runs()
    old_rows = folder.read_rows()
    header = columns(grid.setting_names)
    rows, todo = {}, []
    for run in runs:
        if folder.done(run, old_rows.get(run.run_id)):
            rows[run.run_id] = make_row(run, 0, "", folder.read_json(run.run_id))
        else:
            todo.append(run)
    order = {run.run_id: run.order for run in runs}

    def save():
        folder.write_rows(header, sorted(rows.values(), key=lambda row: order[row["run_id"]]))

    save()
    print(f"{len(runs)} runs in the grid, {len(rows)} skipped (already done), {len(todo)} to run", file=log)
    if todo:
        _execute(grid, folder, todo, rows, save, scheduler, workers, timeout or grid.timeout, log)
    failed = [row for row in rows.values() if not succeeded(row)]
    print(f"{len(runs) - len(failed)} runs succeeded, {len(failed)} failed; table in {folder.csv}", file=log)
    return len(failed)


def _execute(grid, folder, todo, rows, save, scheduler, workers, timeout, log):
    from distributed import as_completed
    progress = Progress(len(todo), log)
    with dask_client(scheduler, workers) as client:
        futures = {client.submit(run_point, grid.binary, list(run.args), run.run_id, timeout,
                                 key=f"pcisim-{run.run_id}", pure=False): run for run in todo}
        for future in as_completed(futures):
            run = futures[future]
            try:
                status, message, text = future.result()
            except Exception as err:  # a lost worker or a broken task: record it and go on
                status, message, text = "error", f"{type(err).__name__}: {err}", None
            if text is not None:
                folder.write_json(run.run_id, text)
            rows[run.run_id] = make_row(run, status, message, text)
            save()
            progress.step()
