"""Running the grid's points on Dask. Runs go in chunks sized from the
measured time per run (a few tenths of a second a task). A chunk runs as one
`pcisim --batch` process (one simulation a line, each line's outcome written
to a status pipe as it ends), or with process_per_run as one pcisim process
a run; either way every run's outcome is its own. The client appends each row
to results.csv as its chunk comes back and writes the sorted table once at
the end."""
import collections
import contextlib
import json
import logging
import os
import re
import select
import subprocess
import sys
import tempfile
import time
import warnings

from . import SweepError
from .results import Folder, columns, figure_columns, figure_names_of, make_row, succeeded, tail

TASK_SECONDS = 0.3      # aim of one task's length
MAX_CHUNK = 2000        # runs in one task at most
ALLOWED_FAILURES = 0    # a task whose worker dies comes back failed at once (its runs then go alone)
ISOLATED_TRIES = 2      # a run alone on the cluster that loses its worker this often is recorded failed
TAIL_BYTES = 4096       # the end of a run's stderr or stdout read for its error column


def _finish(process, timeout):
    """Wait for the process without polling (a pidfd wakes us when it ends):
    its exit status (negative: killed by that signal), or "timeout" after
    killing it when it runs longer than timeout seconds."""
    if timeout is not None:
        fd = os.pidfd_open(process.pid)
        try:
            if not select.select([fd], [], [], timeout)[0]:
                process.kill()
                process.wait()
                return "timeout"
        finally:
            os.close(fd)
    return process.wait()


class Streams:
    """Where a run's stdout and stderr go: two files in the work folder,
    opened once and emptied before each run."""

    def __init__(self, work):
        self.paths = [os.path.join(work, name) for name in ("stderr", "stdout")]
        self.fds = [os.open(path, os.O_RDWR | os.O_CREAT | os.O_TRUNC, 0o644) for path in self.paths]
        self.null = os.open(os.devnull, os.O_RDONLY)

    def empty(self):
        for fd in self.fds:
            os.ftruncate(fd, 0)
            os.lseek(fd, 0, os.SEEK_SET)

    def message(self):
        """The tail of stderr, or of stdout when stderr is empty."""
        message = ""
        for path in self.paths:
            message = message or tail(_end_of(path))
        return message

    def close(self):
        for fd in (*self.fds, self.null):
            os.close(fd)


def run_point(binary, args, run_id, timeout, work=None, streams=None):
    """One run: pcisim with its options and --stats-json runs/RUN_ID.json,
    started in the folder `work` (by default a fresh one of the worker's own,
    so workers need no shared file system; its runs/ may link to the output
    folder's). Returns (status, message, document text or None): status is
    the exit code (negative: killed by that signal), "timeout", or 127 when
    the binary cannot be started; message is the tail of stderr, or of stdout
    when stderr is empty (pcisim reports a rejected option on stdout), read
    only when the run failed."""
    if work is None or streams is None:
        with tempfile.TemporaryDirectory(prefix="pcisim-sweep-") as fresh:
            os.mkdir(os.path.join(fresh, "runs"))
            streams = Streams(fresh)
            try:
                return run_point(binary, args, run_id, timeout, fresh, streams)
            finally:
                streams.close()
    document = os.path.join(work, "runs", f"{run_id}.json")
    with contextlib.suppress(FileNotFoundError):
        os.unlink(document)
    streams.empty()
    try:
        process = subprocess.Popen([binary, *args, "--stats-json", os.path.join("runs", f"{run_id}.json")],
                                   cwd=work, stdin=streams.null, stdout=streams.fds[1], stderr=streams.fds[0])
    except OSError as err:
        return 127, f"cannot run {binary}: {err.strerror}", None
    status = _finish(process, timeout)
    message = streams.message() if status != 0 else ""
    try:
        with open(document, encoding="utf-8") as handle:
            text = handle.read()
    except (OSError, UnicodeDecodeError):
        text = None
    return status, message, text


def run_chunk(binary, runs, timeout, runs_dir=None, process_per_run=False):
    """The task a worker runs: the runs (run id, setting values, seed,
    arguments) in one pcisim --batch process (or, with process_per_run, one
    process each, one after the other). Returns per run (row, agent names,
    seconds, document text): with runs_dir (the output folder's runs/, which
    the worker shares with the client) pcisim writes the document there and
    no text comes back."""
    out = []
    with tempfile.TemporaryDirectory(prefix="pcisim-sweep-") as work:
        if runs_dir:
            os.symlink(runs_dir, os.path.join(work, "runs"))
        else:
            os.mkdir(os.path.join(work, "runs"))
        streams = Streams(work)

        def record(run, status, message, seconds, text):
            run_id, values, seed, _ = run
            row, names = make_row(run_id, values, seed, status, message, text)
            out.append((row, names, seconds, None if runs_dir else text))

        def alone(run):
            started = time.monotonic()
            status, message, text = run_point(binary, run[3], run[0], timeout, work, streams)
            record(run, status, message, time.monotonic() - started, text)

        try:
            pending = list(runs)
            while pending and not process_per_run:
                done, status = run_batch(binary, pending, timeout, work, streams, record)
                pending = pending[done:]
                if not pending:
                    break
                if status == "timeout":  # the run in flight gave no line within its time
                    record(pending.pop(0), "timeout", streams.message(), timeout, None)
                elif done == 0 and isinstance(status, int) and status > 0:
                    process_per_run = True  # the batch itself failed (a pcisim without --batch?)
                else:  # crashed: the run in flight alone tells a crasher from its neighbours
                    alone(pending.pop(0))
            for run in pending if process_per_run else ():
                alone(run)
        finally:
            streams.close()
    return out


_PLAIN_WORD = re.compile(r"[A-Za-z0-9_@%+=:,./-]+")


def batch_word(word):
    """A word as a batch line writes it: as it is when nothing in it needs
    quoting, else in single quotes (a single quote in it as '\\'')."""
    if _PLAIN_WORD.fullmatch(word):
        return word
    return "'" + word.replace("'", "'\\''") + "'"


def _batch_message(record):
    """A failed run's error text as the single run's gives it: the tail of
    its stderr, or of its stdout when stderr is empty."""
    message = ""
    for key in ("stderr", "stdout_tail"):
        ending = record.get(key, "").encode(errors="replace")[-TAIL_BYTES:]
        message = message or tail(ending.decode(errors="replace"))
    return message


def run_batch(binary, runs, timeout, work, streams, record):
    """Runs the runs in one pcisim --batch process started in `work`, its
    status lines coming through a pipe; record(run, status, message, seconds,
    document text) is called for each run as its line comes. Returns (runs
    recorded, the process's exit status or "timeout" when no line came
    within timeout seconds: then the process was killed)."""
    lines = []
    for run_id, _, _, args in runs:
        document = os.path.join("runs", f"{run_id}.json")
        with contextlib.suppress(FileNotFoundError):
            os.unlink(os.path.join(work, document))
        lines.append(" ".join(batch_word(w) for w in (*args, "--stats-json", document)))
    batch = os.path.join(work, "batch")
    with open(batch, "w", encoding="utf-8") as handle:
        handle.write("\n".join(lines) + "\n")
    streams.empty()
    reader, writer = os.pipe()
    try:
        process = subprocess.Popen([binary, f"--batch={batch}", f"--batch-status=/dev/fd/{writer}"],
                                   cwd=work, stdin=streams.null, stdout=streams.fds[1], stderr=streams.fds[0],
                                   pass_fds=(writer,))
    except OSError:
        os.close(reader)
        return 0, 127
    finally:
        os.close(writer)
    done, pending, last = 0, b"", time.monotonic()
    with os.fdopen(reader, "rb", buffering=0) as pipe:
        while True:
            wait = None if timeout is None else max(0.0, last + timeout - time.monotonic())
            if not select.select([pipe], [], [], wait)[0]:
                process.kill()
                process.wait()
                return done, "timeout"
            data = pipe.read(65536)
            if not data:
                break
            pending += data
            *complete, pending = pending.split(b"\n")
            for line in complete:
                entry = json.loads(line)
                now = time.monotonic()
                run, status = runs[entry["line"] - 1], entry["status"]
                message = _batch_message(entry) if status != 0 else ""
                record(run, status, message, now - last, _read_document(work, run[0]))
                done, last = entry["line"], now
    return done, process.wait()


def _read_document(work, run_id):
    try:
        with open(os.path.join(work, "runs", f"{run_id}.json"), encoding="utf-8") as handle:
            return handle.read()
    except (OSError, UnicodeDecodeError):
        return None


def _end_of(path, size=4096):
    """The last few KiB of a file as text (a run's stdout can be long)."""
    try:
        with open(path, "rb") as handle:
            handle.seek(max(0, os.path.getsize(path) - size))
            return handle.read().decode(errors="replace")
    except OSError:
        return ""


def _quiet_dask():
    """Keep Dask's own log lines (startup, shutdown, closed streams) and
    warnings (slow scratch folders on a busy machine) off stderr."""
    warnings.filterwarnings("ignore", module="distributed")
    warnings.filterwarnings("ignore", message="Creating scratch directories")
    os.environ.setdefault("DASK_LOGGING__DISTRIBUTED", "error")
    os.environ.setdefault("DASK_DISTRIBUTED__ADMIN__LOG_LENGTH", "0")
    for name in ("distributed", "dask", "tornado", "asyncio"):
        logging.getLogger(name).setLevel(logging.CRITICAL)


@contextlib.contextmanager
def dask_client(scheduler=None, workers=None, wait=60):
    """A Client on a new LocalCluster (processes, one thread each) or on the given scheduler."""
    _quiet_dask()
    import cloudpickle
    import dask
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
    # A task whose worker dies comes back as KilledWorker at once, and so do
    # the tasks queued on that worker; their runs are then tried one by one.
    # Every core runs pcisim: Dask's own periodic work (sampling profiler,
    # system and memory monitors, event-loop ticks, work stealing) would take
    # about a tenth of a core from the runs; slowed down or off it takes 2 %.
    settings = {"distributed.scheduler.allowed-failures": ALLOWED_FAILURES,
                "distributed.worker.profile.enabled": False,
                "distributed.admin.system-monitor.interval": "10s",
                "distributed.admin.tick.interval": "1s",
                "distributed.scheduler.work-stealing": False,
                "distributed.worker.memory.monitor-interval": "10s"}
    with dask.config.set(settings), \
            LocalCluster(n_workers=count, threads_per_worker=1, processes=True, host="127.0.0.1", memory_limit=0,
                         dashboard_address=None, silence_logs=logging.CRITICAL) as cluster, \
            Client(cluster) as client:
        yield client


def clock(seconds):
    seconds = int(seconds)
    return f"{seconds // 3600}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"


class Progress:
    """Runs done and left, runs per second and the estimated time to go: a
    bar redrawn in place on a terminal, otherwise a plain line at about every
    tenth."""

    def __init__(self, total, stream=sys.stderr):
        self.total, self.stream, self.done = total, stream, 0
        self.start = time.monotonic()
        self.tty = stream.isatty()
        self.next_line = 1
        self.drawn = 0.0

    def text(self):
        elapsed = time.monotonic() - self.start
        rate = self.done / elapsed if self.done and elapsed > 0 else None
        eta = clock((self.total - self.done) / rate) if rate else "?"
        return (f"{self.done}/{self.total} runs done, {self.total - self.done} left, "
                f"{rate or 0:.1f} runs/s, {clock(elapsed)} elapsed, ~{eta} to go")

    def step(self, count=1):
        self.done += count
        if self.tty:
            now = time.monotonic()
            if now - self.drawn >= 0.2 or self.done == self.total:
                self.drawn = now
                filled = 30 * self.done // max(self.total, 1)
                self.stream.write(f"\r[{'#' * filled}{'.' * (30 - filled)}] {self.text()} ")
                if self.done == self.total:
                    self.stream.write("\n")
                self.stream.flush()
        elif self.done * 10 >= self.next_line * self.total:
            self.stream.write(self.text() + "\n")
            self.next_line = self.done * 10 // max(self.total, 1) + 1
            self.stream.flush()


class Table:
    """The rows of this sweep: those kept from an earlier sweep and those
    coming in. The header (whose figure columns carry the agents' names) is
    known once a run's document has been read; until then rows wait here,
    and the first table written holds them."""

    def __init__(self, folder, runs, setting_names):
        self.folder, self.setting_names = folder, setting_names
        self.order = {run.run_id: run.order for run in runs}
        self.rows, self.journal, self.figure_names = {}, None, None

    def keep(self, old_header, old_rows, runs):
        """Take the finished runs of an earlier sweep; returns the runs still to do."""
        names = figure_names_of(old_header, self.setting_names)
        todo = []
        for run in runs:
            old = old_rows.get(run.run_id)
            if not self.folder.done(run, old):
                todo.append(run)
            elif names is not None:
                self.rows[run.run_id] = old
            else:  # another table layout: the row comes again from the run's document
                row, agents = make_row(run.run_id, run.values, run.seed, 0, "", self.folder.read_json(run.run_id))
                self.rows[run.run_id] = row
                names = names or (figure_columns(*agents) if agents else None)
        if names is not None and (self.rows or not todo):
            self._open(names)
        return todo

    def _sorted(self):
        return sorted(self.rows.values(), key=lambda row: self.order[row["run_id"]])

    def _open(self, figure_names):
        """Write the table of the rows so far (once) and go on appending."""
        self.figure_names = figure_names
        self.header = columns(self.setting_names, figure_names)
        self.folder.write_rows(self.header, self._sorted())
        self.journal = self.folder.journal(self.header)

    def add(self, row, agents):
        self.rows[row["run_id"]] = row
        if self.journal is not None:
            self.journal.append(row)
        elif agents:
            self._open(figure_columns(*agents))

    def finish(self):
        """The sorted table, written once."""
        if self.journal is None:
            self._open(figure_columns())
        self.journal.close()
        self.folder.write_rows(self.header, self._sorted())

    def failed(self):
        return sum(not succeeded(row) for row in self.rows.values())


def run_sweep(grid, out_dir, scheduler=None, workers=None, timeout=None, log=sys.stderr, process_per_run=False):
    """Run every point of the grid not already done in out_dir; returns the number of failed runs."""
    if not scheduler and not os.access(grid.binary, os.X_OK):
        raise SweepError(f"pcisim binary {grid.binary} does not exist or is not executable")
    started = time.monotonic()
    folder = Folder(out_dir)
    folder.create(grid.text)
    runs = grid.runs()
    table = Table(folder, runs, grid.setting_names)
    todo = table.keep(*folder.read_table(), runs)
    print(f"{len(runs)} runs in the grid, {len(runs) - len(todo)} skipped (already done), {len(todo)} to run",
          file=log)
    if todo:
        _execute(grid, folder, todo, table, scheduler, workers, timeout or grid.timeout, log, process_per_run)
    table.finish()
    failed = table.failed()
    wall = time.monotonic() - started
    print(f"{len(runs)} runs, {len(todo)} run now, {failed} failed, {wall:.1f} s wall, "
          f"{len(todo) / wall:.1f} runs/s; table in {folder.csv}", file=log)
    return failed


class Chunks:
    """The runs still to hand out, cut into chunks of about TASK_SECONDS by
    the measured time per run; the first chunks hold one run each, to measure."""

    def __init__(self, runs, workers):
        self.queue = collections.deque(runs)
        self.alone = collections.deque()   # runs of a chunk that lost its workers: one a task
        self.workers = workers
        self.seconds, self.timed = 0.0, 0

    def measured(self, seconds):
        self.seconds += seconds
        self.timed += 1

    def __bool__(self):
        return bool(self.queue or self.alone)

    def size(self):
        if self.timed < self.workers:
            return 1
        per_run = self.seconds / self.timed
        size = max(1, min(MAX_CHUNK, round(TASK_SECONDS / per_run) if per_run > 0 else MAX_CHUNK))
        # keep at least two chunks a worker in the queue so the last ones end together
        return max(1, min(size, len(self.queue) // (2 * self.workers)))

    def next(self):
        if self.alone:
            return [self.alone.popleft()]
        return [self.queue.popleft() for _ in range(min(self.size(), len(self.queue)))]


def _settle(client, count, wait=30.0):
    """Wait until the cluster has its workers back after one died (a worker
    the scheduler has not yet dropped would take the next task down with it):
    the same `count` workers seen on two looks a quarter second apart."""
    deadline, seen = time.monotonic() + wait, None
    while time.monotonic() < deadline:
        workers = set(client.scheduler_info()["workers"])
        if len(workers) >= count and workers == seen:
            return
        seen = workers
        time.sleep(0.25)


def _execute(grid, folder, todo, table, scheduler, workers, timeout, log, process_per_run=False):
    from distributed import as_completed
    progress = Progress(len(todo), log)
    with dask_client(scheduler, workers) as client:
        count = max(1, sum(w.get("nthreads", 1) for w in client.scheduler_info()["workers"].values()))
        chunks = Chunks(todo, count)
        runs_dir = None if scheduler else os.path.abspath(folder.runs)
        in_flight, tasks = {}, as_completed()
        tries = collections.Counter()  # run id: times it lost its worker while alone on the cluster
        serial = iter(range(1 << 62))  # task keys are never reused: an erred key would come back erred

        def submit():
            # The runs of a task that lost its worker run one at a time with
            # nothing else in flight: only alone is a run's failure its own.
            while chunks and len(in_flight) < 2 * count:
                isolated = bool(chunks.alone)
                if isolated and in_flight:
                    return
                chunk = chunks.next()
                payload = [(run.run_id, run.values, run.seed, list(run.args)) for run in chunk]
                key = f"pcisim-{chunk[0].run_id}-{len(chunk)}-{next(serial)}"
                future = client.submit(run_chunk, grid.binary, payload, timeout, runs_dir, process_per_run,
                                       key=key, pure=False)
                in_flight[future] = (chunk, isolated)
                tasks.add(future)
                if isolated:
                    return

        submit()
        for future in tasks:
            chunk, isolated = in_flight.pop(future)
            try:
                results = future.result()
            except Exception as err:  # a lost worker or a broken task
                if not isolated:
                    chunks.alone.extend(chunk)
                else:
                    run = chunk[0]
                    tries[run.run_id] += 1
                    if tries[run.run_id] < ISOLATED_TRIES:  # once more, when the workers are back
                        _settle(client, count if not scheduler else 1)
                        chunks.alone.appendleft(run)
                    else:
                        why = f"{type(err).__name__}: {err}".strip()
                        row, _ = make_row(run.run_id, run.values, run.seed, "error", why, None)
                        table.add(row, None)
                        progress.step()
                submit()
                continue
            for row, agents, seconds, text in results:
                chunks.measured(seconds)
                if text is not None:
                    folder.write_json(row["run_id"], text)
                table.add(row, agents)
            progress.step(len(results))
            submit()
