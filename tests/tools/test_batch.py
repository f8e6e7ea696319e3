"""pcisim --batch killed with SIGKILL in the middle: the status file holds one
whole record per finished run and nothing else, those runs' files are whole
(the bytes of the single run), and the runs after the one in flight wrote
nothing. Needs the real program ($PCISIM)."""
import json
import os
import signal
import subprocess
import tempfile
import time
import unittest

PCISIM = os.environ.get("PCISIM")


@unittest.skipUnless(PCISIM, "needs the real pcisim ($PCISIM)")
class KilledBatchTest(unittest.TestCase):
    def test_a_killed_batch_loses_only_the_run_in_flight(self):
        with tempfile.TemporaryDirectory() as tmp:
            lines = [["-m1c20000", "-m2c20000", "-m3c20000", "--max-cycles", "1000000", "--seed", str(n),
                      "--stats-json", os.path.join(tmp, f"s{n}.json")] for n in range(1, 9)]
            batch, status = os.path.join(tmp, "batch"), os.path.join(tmp, "status")
            with open(batch, "w") as handle:
                handle.write("".join(" ".join(words) + "\n" for words in lines))
            process = subprocess.Popen([PCISIM, f"--batch={batch}", f"--batch-status={status}"],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            deadline = time.monotonic() + 120
            while time.monotonic() < deadline:
                time.sleep(0.02)
                try:  # the batch opens the file once it has read its lines
                    with open(status, "rb") as handle:
                        if handle.read().count(b"\n") >= 2:
                            break
                except FileNotFoundError:
                    continue
            process.send_signal(signal.SIGKILL)
            out, err = process.communicate(timeout=30)
            self.assertEqual((process.returncode, out, err), (-signal.SIGKILL, b"", b""))
            with open(status, "rb") as handle:
                text = handle.read()
            self.assertTrue(text.endswith(b"\n"))
            records = [json.loads(line) for line in text.splitlines()]
            done = len(records)
            self.assertGreaterEqual(done, 2)
            self.assertLess(done, 8, "the batch ended before it was killed")
            self.assertEqual([(r["line"], r["status"], r["stderr"]) for r in records],
                             [(n, 0, "") for n in range(1, done + 1)])
            for n in range(done + 2, 9):  # after the run in flight: nothing
                self.assertFalse(os.path.exists(os.path.join(tmp, f"s{n}.json")), n)
            for n in (1, done):
                path = os.path.join(tmp, f"s{n}.json")
                with open(path, "rb") as handle:
                    kept = handle.read()
                os.unlink(path)
                subprocess.run([PCISIM, *lines[n - 1]], check=True, stdout=subprocess.DEVNULL)
                with open(path, "rb") as handle:
                    self.assertEqual(kept, handle.read(), n)


if __name__ == "__main__":
    unittest.main()
