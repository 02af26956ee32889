"""Headless Chromium driven over the DevTools protocol, for report tests."""

import json
import pathlib
import shutil
import subprocess
import tempfile
import time
import urllib.request

import websocket


class Browser:
    """One headless Chromium page; events received while waiting are kept in ``events``."""

    def __init__(self, width=1280, height=1400):
        executable = shutil.which("chromium") or shutil.which("chromium-browser")
        if executable is None:
            raise RuntimeError("chromium is not installed (scripts/setup.sh installs it)")
        self.profile = tempfile.mkdtemp(prefix="quenfa-chromium-")
        self.process = subprocess.Popen(
            [executable, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars", "--no-first-run",
             "--remote-debugging-port=0", "--remote-allow-origins=*", f"--user-data-dir={self.profile}",
             "about:blank"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = pathlib.Path(self.profile) / "DevToolsActivePort"
        deadline = time.monotonic() + 30
        while not (port_file.exists() and port_file.read_text().count("\n") >= 1):
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.close()
                raise RuntimeError("chromium did not open its DevTools port")
            time.sleep(0.05)
        port = port_file.read_text().split("\n")[0]
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=10) as reply:
            page = next(t for t in json.load(reply) if t["type"] == "page")
        self.socket = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=30)
        self.next_id = 0
        self.events = []
        for domain in ("Page", "Runtime", "Log"):
            self.call(f"{domain}.enable")
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=1,
                  mobile=False)

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            self.events.append(message)

    def wait_for_event(self, method, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if any(event.get("method") == method for event in self.events):
                return
            self.socket.settimeout(max(deadline - time.monotonic(), 0.01))
            self.events.append(json.loads(self.socket.recv()))
        raise TimeoutError(method)

    def open(self, path):
        self.events.clear()
        self.call("Page.navigate", url=pathlib.Path(path).resolve().as_uri())
        self.wait_for_event("Page.loadEventFired")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def click(self, selector):
        """A real mouse click at the centre of the first element matching ``selector``."""
        box = self.evaluate(
            f"(() => {{ const e = document.querySelector({json.dumps(selector)}); e.scrollIntoView();"
            " const r = e.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()")
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1], button="left", clickCount=1)

    def type_into(self, selector, text):
        self.evaluate(f"document.querySelector({json.dumps(selector)}).focus()")
        self.call("Input.insertText", text=text)

    def errors(self):
        """Console errors, uncaught exceptions and failed loads seen so far."""
        found = []
        for event in self.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.exceptionThrown":
                found.append(params["exceptionDetails"].get("text"))
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                found.append(params.get("args"))
            elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
                found.append(params["entry"].get("text"))
        return found

    def screenshot(self, path):
        import base64
        data = self.call("Page.captureScreenshot", format="png")["data"]
        pathlib.Path(path).write_bytes(base64.b64decode(data))

    def close(self):
        if getattr(self, "socket", None) is not None:
            self.socket.close()
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)
