#!/usr/bin/env python3
"""drez-host -i at a real terminal (a pty), keys pressed as a person presses them.

Recalls lines with Up (from the history file and from the session), completes
a device name with Tab (one of Studio A's and one the session added), shows
the usage hints of an empty Tab, cancels a line with Ctrl-C and goes on, ends
with Ctrl-D, and checks the verdict, the exit status and the history file in
a temporary HOME.

Environment: DREZ_HOST (drez-host), DREZ_SCRIPT (the Vantrel panel),
DREZ_LINE_EDITOR (libedit or plain: a build without the editor skips, 77).
"""

import fcntl
import os
import pty
import re
import select
import struct
import sys
import tempfile
import termios
import time

UP, TAB, CTRL_C, CTRL_D, ENTER = "\x1b[A", "\t", "\x03", "\x04", "\r"
WAIT = 30.0  # seconds for anything to appear: a slow Debug build under load


class Terminal:
    """drez-host on a pty: keys go in, the screen's bytes come out."""

    def __init__(self, args, env):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 100, 0, 0))
            os.execve(args[0], args, env)
        self.output = ""
        self.mark = 0  # what was read before the last wait matched

    def read(self, seconds):
        ready, _, _ = select.select([self.fd], [], [], seconds)
        if not ready:
            return False
        try:
            data = os.read(self.fd, 65536)
        except OSError:  # the program ended
            return None
        if not data:
            return None
        self.output += data.decode("utf-8", "replace")
        return True

    def wait_for(self, pattern, what):
        """Reads until `pattern` shows after the last match; fails otherwise."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + WAIT
        while True:
            found = regex.search(self.output, self.mark)
            if found:
                self.mark = found.end()
                return found
            left = deadline - time.monotonic()
            if left <= 0 or self.read(left) is None:
                fail(f"{what}: {pattern!r} did not show after what matched before", self.output)

    def prompt(self):
        self.wait_for(r"drez> ", "the prompt")
        # The editor prints its prompt before it takes the terminal over, and
        # taking it over may drop what was typed before: a person is not that
        # fast, a test is. Wait until it reads keys one by one.
        deadline = time.monotonic() + WAIT
        while termios.tcgetattr(self.fd)[3] & termios.ICANON:
            if time.monotonic() > deadline:
                fail("the editor never took the terminal over", self.output)
            time.sleep(0.01)

    def press(self, keys):
        os.write(self.fd, keys.encode())

    def finish(self):
        """Reads to the end; returns the exit status."""
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline and self.read(deadline - time.monotonic()) is not None:
            pass
        _, status = os.waitpid(self.pid, 0)
        return os.waitstatus_to_exitcode(status)


def fail(message, output=""):
    print("FAIL: " + message)
    if output:
        print("---- the terminal showed ----\n" + output[-4000:])
    sys.exit(1)


def check(condition, message, output=""):
    if not condition:
        fail(message, output)


def main():
    if os.environ.get("DREZ_LINE_EDITOR") != "libedit":
        print("skipped: this drez-host reads lines plainly (built without libedit)")
        return 77
    with tempfile.TemporaryDirectory() as home:
        history = os.path.join(home, ".drez_host_history")
        # A file past its bound, with a line of blanks in it.
        old = [f"say old {i}" for i in range(1005)]
        with open(history, "w", encoding="utf-8") as file:
            file.write("\n".join(old[:500] + ["   "] + old[500:] + ["say from history"]) + "\n")
        env = {"HOME": home, "TERM": "xterm", "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
               "LANG": "C.UTF-8"}
        # A sanitized build's own settings reach drez-host.
        env.update({name: value for name, value in os.environ.items()
                    if name in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS")})
        term = Terminal([os.environ["DREZ_HOST"], "--script", os.environ["DREZ_SCRIPT"], "-i"],
                        env)

        # Up at the first prompt: the newest line of the history file.
        term.prompt()
        term.press(UP)
        term.wait_for(r"say from history", "Up recalling the file's newest line")
        term.press(ENTER)
        term.wait_for(r"==== from history", "the recalled line run")

        # Tab completes a name of Studio A, quoted as the language writes it.
        term.prompt()
        term.press("set 'RIR T" + TAB)
        term.wait_for(r"ally Infodriver' ", "Tab completing 'RIR T")
        term.press("1 2" + ENTER)
        term.wait_for(r">> set 'RIR Tally Infodriver' 1 2 ", "the completed line run")

        # A device the session adds is offered too: the names are live.
        term.prompt()
        term.press("device infodriver 'New Driver' 40 slots 3" + ENTER)
        term.prompt()
        term.press("set 'New" + TAB)
        term.wait_for(r"Driver' ", "Tab completing a device added in the session")
        term.press(TAB)
        term.wait_for(r"set <infodriver> <slot> <text>\s+1  2  3\s", "its slots offered")
        term.press("3 x" + ENTER)
        term.wait_for(r">> set 'New Driver' 3 x ", "the line run")

        # An empty Tab after a keyword shows the step's usage.
        term.prompt()
        term.press("say " + TAB)
        term.wait_for(r"say <text>", "the usage hint of say")
        term.press("hint shown" + ENTER)
        term.wait_for(r"==== hint shown", "the line after the hint")
        term.prompt()
        term.press("expect no " + TAB)
        term.wait_for(r"commands  reply", "the sub-words of expect no")
        term.press("commands" + ENTER)
        # The prompt redrawn after the list is no new one: the line's end is.
        term.wait_for(r"commands\r?\n", "expect no commands entered")

        # Ctrl-C drops the line being typed; drez-host reads the next.
        term.prompt()
        term.press("say never")
        term.wait_for(r"say never", "the line being typed")
        term.press(CTRL_C)
        term.wait_for(r"\^C", "the line cancelled")
        term.prompt()
        term.press("say after" + ENTER)
        term.wait_for(r"==== after", "the line after Ctrl-C")

        # A line of blanks is not kept: Up gives the line before it.
        term.prompt()
        term.press("   " + ENTER)
        term.prompt()
        term.press(UP + ENTER)
        term.wait_for(r"==== after", "Up recalling the session's last line")

        # Ctrl-D on an empty line: the scripts are deleted, the verdict printed.
        term.prompt()
        term.press(CTRL_D)
        term.wait_for(r"==== PASSED", "the verdict")
        status = term.finish()
        check(status == 0, f"exit status {status}, not 0", term.output)
        check("==== never" not in term.output, "the cancelled line ran", term.output)

        with open(history, encoding="utf-8") as file:
            kept = file.read().split("\n")
        check(kept[-1] == "", "the history file does not end with a line end")
        kept = kept[:-1]
        check(len(kept) == 1000, f"the history file holds {len(kept)} lines, not 1000")
        newest = ["say from history",
                  "set 'RIR Tally Infodriver' 1 2",
                  "device infodriver 'New Driver' 40 slots 3",
                  "set 'New Driver' 3 x",
                  "say hint shown",
                  "expect no commands",
                  "say after"]
        check(kept[-len(newest):] == newest,
              f"the history file ends with {kept[-len(newest):]!r}, not {newest!r}")
        check(all(line.strip() for line in kept), "a line of blanks was kept")
        check("say never" not in kept, "the cancelled line was kept")
        check(kept[0] == "say old 12", f"the oldest line kept is {kept[0]!r}, not 'say old 12'")
    print("drez-host -i at a terminal: history, completion, hints, Ctrl-C and Ctrl-D as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
