#!/usr/bin/env python3
"""How long drez-host serve --capture takes on a long capture, for
bench/README.md: a capture of CALLS host calls (default 100,000), each a
tally change as Vantrel answers it on air (10 "GS", 3 "TP"), served; then
the time until the page's address is printed (the capture read and its
checkpoints made), a page of /api/capture, and a jump to the last
call (/api/state?call=CALLS), to the middle and to the first, each the
median of RUNS requests.

    bench/serve_capture_bench.py [DREZ_HOST]   (default build/release/drez_host/drez-host)
    CALLS=10000 RUNS=5 bench/serve_capture_bench.py
"""

import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

CALLS = int(os.environ.get("CALLS", "100000"))
RUNS = int(os.environ.get("RUNS", "11"))
HOST = sys.argv[1] if len(sys.argv) > 1 else "build/release/drez_host/drez-host"


def write_capture(path, calls):
    lines = ['drez-capture 1', '0 0 0 begin started="20261208-140000" pid=1 library="Vantrel.so"',
             '0 0 1 export path="panels/studio"',
             "0 1 1 command text=\"PS '1' 'p1.drez_ui'\" result=1",
             "0 1 1 command text=\"SD 'RIR Tally Infodriver'\" result=reply 1 \"11 0\"",
             '0 1 1 hand-back reply=1 result=0',
             "0 1 1 command text=\"SD 'Studio A Blue Lights'\" result=reply 2 \"31 100\"",
             '0 1 1 hand-back reply=2 result=0',
             '0 1 1 command text="IR 11 1 6" result=1',
             '0 0 1 end result=script']
    sheets = ["QZ_Studio_OFF", "QZ_Studio_REH", "QZ_Studio_TX"]
    for call in range(1, calls):
        state = call % 3
        ms = call * 40
        lines.append(f'{ms} 0 1 device device=11 index=1 number=0 text="{state}"')
        for lamp in range(100, 110):
            lines.append(f'{ms} 1 1 command text="GS 31 {lamp} {int(state > 0)} 0" result=1')
        for control in ("StA_Floor", "StC_Floor", "StC_News"):
            lines.append(f"{ms} 1 1 command text=\"TP 'statesheet={sheets[state]}' '1' "
                         f"'{control}'\" result=1")
        lines.append(f'{ms} 0 1 end result=null')
    with open(path, "w") as file:
        file.write("\n".join(lines) + "\n")


def timed(url):
    start = time.perf_counter()
    with urllib.request.urlopen(url, timeout=120) as response:
        response.read()
    return time.perf_counter() - start


def main():
    with tempfile.TemporaryDirectory() as folder:
        capture = os.path.join(folder, "long.capture")
        write_capture(capture, CALLS)
        size = os.path.getsize(capture)
        start = time.perf_counter()
        serve = subprocess.Popen([HOST, "serve", "--port", "0", "--capture", capture],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        url = None
        for line in serve.stdout:
            found = re.search(r"at (http://\S+/)", line)
            if found:
                url = found.group(1)
                break
        ready = time.perf_counter() - start
        try:
            assert url, "drez-host printed no address"
            rows = [("serving (read, checkpoints made)", ready)]
            for name, path in (("a page of /api/capture as the page asks (200 calls)",
                                "api/capture?count=200"),
                               ("a page of /api/capture at most (1,000 calls)", "api/capture"),
                               (f"jump to the last call ({CALLS})", f"api/state?call={CALLS}"),
                               (f"jump to the middle ({CALLS // 2})", f"api/state?call={CALLS // 2}"),
                               ("jump to the first call", "api/state?call=1")):
                rows.append((name, statistics.median(timed(url + path) for _ in range(RUNS))))
        finally:
            serve.terminate()
            serve.wait(30)
        print(f"{CALLS} calls, {size / 1e6:.1f} MB, {HOST}, median of {RUNS}")
        for name, seconds in rows:
            print(f"| {name} | {seconds * 1000:.1f} ms |")


if __name__ == "__main__":
    main()
