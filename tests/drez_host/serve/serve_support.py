"""What the drez-host serve tests share: a served studio and its API.

Settings come from the environment that CTest sets (CMakeLists.txt):
DREZ_HOST (the program), DREZ_SCRIPT (the Vantrel library), DREZ_TAP (the
recording tap).
"""

import json
import os
import re
import shutil
import signal
import subprocess
import threading
import urllib.error
import urllib.request

DREZ_HOST = os.environ["DREZ_HOST"]
DREZ_SCRIPT = os.environ["DREZ_SCRIPT"]
DREZ_TAP = os.environ["DREZ_TAP"]
ADDRESS = re.compile(r"serving the (?:studio|capture .*) at (http://127\.0\.0\.1:\d+/)")


class ServedStudio:
    """drez-host serve on a free port, stopped with SIGINT on leaving."""

    def __init__(self, *arguments, script=DREZ_SCRIPT):
        # script=None: none named (a capture shown without a replay).
        library = ["--script", script] if script is not None else []
        # A sanitized build on a loaded machine can take seconds over a call:
        # a generous watchdog, unless the test sets its own.
        watchdog = [] if "--timeout" in arguments else ["--timeout", "30"]
        self.command = [DREZ_HOST, "serve", "--port", "0", *library, *watchdog, *arguments]
        self.output = []
        self.exit_code = None
        self.url = None

    def __enter__(self):
        self.process = subprocess.Popen(
            self.command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        found = threading.Event()

        def read():
            for line in self.process.stdout:
                self.output.append(line.rstrip("\n"))
                match = ADDRESS.search(line)
                if match:
                    self.url = match.group(1)
                    found.set()

        self.reader = threading.Thread(target=read, daemon=True)
        self.reader.start()
        if not found.wait(60):
            self.process.kill()
            raise RuntimeError("drez-host serve printed no address:\n" + "\n".join(self.output))
        return self

    def stop(self):
        """SIGINT, as Ctrl-C; returns the exit code."""
        if self.exit_code is None:
            self.process.send_signal(signal.SIGINT)
            self.exit_code = self.process.wait(60)
            self.reader.join(10)
            self.process.stdout.close()
        return self.exit_code

    def __exit__(self, *error):
        if self.process.poll() is None:
            self.stop()

    def request(self, method, path, body=None, headers=None):
        """(status, body text) of one request."""
        data = body.encode() if isinstance(body, str) else body
        request = urllib.request.Request(self.url + path.lstrip("/"), data=data, method=method,
                                         headers=headers or {})
        try:
            with urllib.request.urlopen(request, timeout=30) as response:
                return response.status, response.read().decode()
        except urllib.error.HTTPError as error:
            return error.code, error.read().decode()

    def state(self):
        status, body = self.request("GET", "/api/state")
        assert status == 200, body
        return json.loads(body)

    def step(self, line, **headers):
        """(status, JSON answer) of POST /api/step."""
        headers.setdefault("Content-Type", "text/plain")
        status, body = self.request("POST", "/api/step", line, headers)
        return status, json.loads(body)


def lamps(state, device=31):
    lights = next(light for light in state["lights"] if light["device"] == device)
    return [lamp["state"] for lamp in lights["lamps"]]


def control(state, control_id, panel="1"):
    panel = next(each for each in state["panels"] if each["id"] == panel)
    return next(each for each in panel["controls"] if each["id"] == control_id)


TRANSMISSION = [0, 1, 0, 0, 0, 1, 1, 1, 1, 1]


def trace_of(lines):
    """A trace as drez-host prints it, without where each step came from
    (the served session names itself, a replay names its file) and without
    the empty lines a terminal shows above steps and headings."""
    return [re.sub(r"^(>> .*)    \([^()]*\)$", r"\1", line) for line in lines if line != ""]


def replayed_trace(session_file):
    """The trace of `drez-host --script DREZ_SCRIPT session_file`, up to the
    teardown at its end, and its exit code."""
    run = subprocess.run([DREZ_HOST, "--script", DREZ_SCRIPT, session_file],
                         capture_output=True, text=True, timeout=120)
    lines = run.stdout.splitlines()  # "drez-host: panel library ..." is on standard error
    end = next(i for i, line in enumerate(lines) if line.startswith(">> teardown"))
    return trace_of(lines[:end - 1]), run.returncode



def demo_capture(folder):
    """The demo played by drez-host with the tap in front of Vantrel, as a
    studio engineer sets it up; returns the capture's path."""
    tap = os.path.join(folder, os.path.basename(DREZ_TAP))
    shutil.copy(DREZ_TAP, tap)
    shutil.copy(DREZ_SCRIPT, os.path.join(folder, "vantrel.real"))
    with open(os.path.splitext(tap)[0] + ".tap.ini", "w") as ini:
        ini.write("script=vantrel.real\ncapture=demo.capture\n")
    run = subprocess.run([DREZ_HOST, "--quiet", "--script", tap], capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0, run.stdout + run.stderr
    return os.path.join(folder, "demo.capture")


# What the tampered capture holds instead of the studio going on air: a
# floor light that stayed at rehearsal.
ON_AIR = "TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'"
TAMPERED = "TP 'statesheet=QZ_Studio_REH' '1' 'StA_Floor'"


def tampered_capture(capture, folder):
    """The capture with the first command that puts StA_Floor on air
    recorded as rehearsal, as if another build had sent it."""
    with open(capture, encoding="utf-8") as file:
        text = file.read()
    assert ON_AIR in text
    tampered = os.path.join(folder, "tampered.capture")
    with open(tampered, "w", encoding="utf-8") as file:
        file.write(text.replace(ON_AIR, TAMPERED, 1))
    return tampered


def calls_of(studio):
    """Every call of a served capture, page by page."""
    calls = []
    while True:
        status, body = studio.request("GET", f"/api/capture?from={len(calls) + 1}")
        assert status == 200, body
        page = json.loads(body)
        calls += page["calls"]
        if len(calls) >= page["total"]:
            return calls


def on_air_call(calls):
    """The call where the tally goes to transmission: slot 1 of the tally
    infodriver (device 11) becomes 2."""
    return next(call for call in calls
                if call["kind"] == "device" and call["text"].startswith(
                    "the device update of s1: device 11 index 1: 2 \"2\""))
