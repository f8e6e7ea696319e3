"""Headless Chromium driven over the DevTools protocol on a pipe
(--remote-debugging-pipe: commands on descriptor 3, replies and events on
descriptor 4, each message JSON ended by a NUL byte). No port is opened and
the network is blocked: names resolve nowhere and every connection goes to a
proxy that does not exist. Used by tools/screenshot-report and the tests."""
import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time

CHROMIUM = "/usr/bin/chromium"

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-default-apps", "--disable-extensions", "--mute-audio", "--hide-scrollbars",
         "--disable-dev-shm-usage",
         "--host-resolver-rules=MAP * ~NOTFOUND", "--proxy-server=127.0.0.1:9", "--proxy-bypass-list=<-loopback>",
         "--remote-debugging-pipe"]


class BrowserError(Exception):
    """Chromium failed to start, answered with an error or took too long."""


class Browser:
    """One headless Chromium with one page. Use as a context manager."""

    def __init__(self, width=1400, height=900, binary=CHROMIUM):
        self.binary = binary  # the chromium executable
        self.size = (width, height)  # the window, CSS pixels
        self.profile = None  # the fresh, empty user data folder
        self.process = None  # the running browser
        self.to_browser = None  # our end of its descriptor 3
        self.from_browser = None  # our end of its descriptor 4
        self.buffer = b""  # bytes read but not yet split into messages
        self.next_id = 0  # id of the last command sent
        self.session = None  # the page's flat session id
        self.events = []  # every event received, in order: (method, params)

    def __enter__(self):
        self.profile = tempfile.mkdtemp(prefix="pcisim-chromium-")
        cmd_read, cmd_write = os.pipe()
        out_read, out_write = os.pipe()
        # The child's ends above 4, so that placing them on 3 and 4 overwrites nothing.
        child_read, child_write = fcntl.fcntl(cmd_read, fcntl.F_DUPFD, 5), fcntl.fcntl(out_write, fcntl.F_DUPFD, 5)
        os.close(cmd_read)
        os.close(out_write)

        def descriptors():  # runs in the child: its 3 reads commands, its 4 writes replies
            os.dup2(child_read, 3)
            os.dup2(child_write, 4)

        flags = [*FLAGS, f"--user-data-dir={self.profile}", f"--window-size={self.size[0]},{self.size[1]}"]
        try:
            self.process = subprocess.Popen([self.binary, *flags, "about:blank"], stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                            preexec_fn=descriptors, pass_fds=(3, 4))
        except OSError as err:
            shutil.rmtree(self.profile, ignore_errors=True)
            raise BrowserError(f"cannot start {self.binary}: {err.strerror}") from err
        finally:
            os.close(child_read)
            os.close(child_write)
        self.to_browser, self.from_browser = cmd_write, out_read
        try:
            target = self.call("Target.createTarget", {"url": "about:blank"}, session=False)["targetId"]
            self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True},
                                     session=False)["sessionId"]
            for domain in ("Page", "Runtime", "Log", "Network"):
                self.call(f"{domain}.enable")
            self.call("Emulation.setDeviceMetricsOverride",
                      {"width": self.size[0], "height": self.size[1], "deviceScaleFactor": 1, "mobile": False})
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        if self.process is not None:
            try:
                self.send("Browser.close", {}, session=False)
                self.process.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
        for fd in (self.to_browser, self.from_browser):
            if fd is not None:
                os.close(fd)
        self.to_browser = self.from_browser = None
        if self.profile:
            shutil.rmtree(self.profile, ignore_errors=True)
        return False

    def send(self, method, params, session=True):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session and self.session:
            message["sessionId"] = self.session
        data = json.dumps(message).encode() + b"\0"
        while data:
            data = data[os.write(self.to_browser, data):]
        return self.next_id

    def _read(self, deadline):
        """The next message, or BrowserError at the deadline or when the browser went away."""
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise BrowserError("no answer from chromium in time")
            ready, _, _ = select.select([self.from_browser], [], [], left)
            if ready:
                chunk = os.read(self.from_browser, 1 << 20)
                if not chunk:
                    raise BrowserError("chromium closed its pipe (it exited)")
                self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=True, timeout=30):
        """Send one command and return its result; events on the way are kept."""
        sent = self.send(method, params or {}, session)
        deadline = time.monotonic() + timeout
        while True:
            message = self._read(deadline)
            if message.get("id") == sent:
                if "error" in message:
                    raise BrowserError(f"{method}: {message['error'].get('message')}")
                return message.get("result", {})
            if "method" in message:
                self.events.append((message["method"], message.get("params", {})))

    def wait_event(self, method, timeout=30):
        """Wait for an event (or return one already received since the last wait)."""
        for i, (name, params) in enumerate(self.events):
            if name == method:
                del self.events[i]
                return params
        deadline = time.monotonic() + timeout
        while True:
            message = self._read(deadline)
            if message.get("method") == method:
                return message.get("params", {})
            if "method" in message:
                self.events.append((message["method"], message.get("params", {})))

    def open(self, path, timeout=30):
        """Load a file and wait for its load event."""
        self.events.clear()
        self.call("Page.navigate", {"url": "file://" + os.path.abspath(path)})
        self.wait_event("Page.loadEventFired", timeout)

    def evaluate(self, expression, timeout=30):
        """The value of a JavaScript expression in the page (awaiting a promise)."""
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, timeout=timeout)
        if "exceptionDetails" in result:
            raise BrowserError(f"{expression[:60]}: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def screenshot(self, full_page=True):
        """PNG bytes of the page (the whole document when full_page)."""
        params = {"format": "png"}
        if full_page:
            width, height = self.evaluate("[document.documentElement.scrollWidth,"
                                          " document.documentElement.scrollHeight]")
            params.update(captureBeyondViewport=True,
                          clip={"x": 0, "y": 0, "width": width, "height": height, "scale": 1})
        return base64.b64decode(self.call("Page.captureScreenshot", params, timeout=60)["data"])

    def cpu_seconds(self):
        """User and system CPU time used so far by the browser and all its processes."""
        ticks = os.sysconf("SC_CLK_TCK")
        parents, times = {}, {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat", encoding="ascii", errors="replace") as handle:
                    fields = handle.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            parents[int(entry)] = int(fields[1])
            times[int(entry)] = int(fields[11]) + int(fields[12]) + int(fields[13]) + int(fields[14])
        total = 0
        for pid, used in times.items():
            walk = pid
            while walk > 1 and walk != self.process.pid:
                walk = parents.get(walk, 0)
            if walk == self.process.pid:
                total += used
        return total / ticks

    def errors(self):
        """Console errors, uncaught exceptions and log entries of level error seen so far."""
        found = []
        for method, params in self.events:
            if method == "Runtime.exceptionThrown":
                found.append(params["exceptionDetails"].get("text", "exception"))
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                found.append(" ".join(str(a.get("value", a.get("description"))) for a in params["args"]))
            elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
                found.append(params["entry"].get("text", ""))
        return found

    def requests(self):
        """URLs of every request the page made so far."""
        return [params["request"]["url"] for method, params in self.events if method == "Network.requestWillBeSent"]
