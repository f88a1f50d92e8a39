#!/usr/bin/env python3
"""Drives the interactive session of `kel` on a pseudo-terminal, as a person at a terminal would:
the command is started without arguments, each line is typed once its prompt shows, and what the
terminal shows is checked. Exit status 0 when the session behaved, 1 with a report otherwise.

    terminal_session.py KEL
"""

import fcntl
import os
import pty
import re
import select
import struct
import sys
import termios
import time

# Generous: the check is that an answer comes, never how fast.
PATIENCE_SECONDS = 60

# What is typed, and a line the terminal must show before the next prompt (None: nothing to see).
# A variable kept from line to line, an expression's value, an If block collected over three
# lines, an error that does not end the session, and a line after it.
SESSION = [
    ("x = 6", None),
    ("x * 7", "42"),
    ("If x > 5", None),
    ('  StdOut("big")', None),
    ("EndIf", "big"),
    ("y = 1/0", "3062:  Attempt to divide by zero"),
    ("x + 1", "7"),
]

ESCAPES = re.compile(r"\x1b(\[[0-9;?]*[A-Za-z]|[()][A-Za-z0-9]|[=>])")


class Terminal:
    def __init__(self, kel):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.environ["TERM"] = "dumb"
            os.execv(kel, [kel])
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 200, 0, 0))
        self.shown = ""
        # Whether the command edits lines itself: None until the first prompt tells.
        self.editing = None

    def wait_for_input_mode(self):
        """Waits, after a prompt, until the command reads what is typed next. A line editor shows
        its prompt before it takes the terminal out of line mode; what is typed in between is
        echoed twice, and an end of input typed then is lost in the switch. Plain input keeps the
        terminal in line mode throughout and has no such moment."""
        patience = PATIENCE_SECONDS if self.editing else (0 if self.editing is False else 3)
        deadline = time.monotonic() + patience
        while termios.tcgetattr(self.fd)[3] & termios.ICANON:
            if time.monotonic() >= deadline:
                if self.editing is None:
                    self.editing = False
                return
            time.sleep(0.01)
        self.editing = True

    def read_until(self, done):
        """Reads what the terminal shows until done(text) holds; False when it never does."""
        deadline = time.monotonic() + PATIENCE_SECONDS
        while not done(self.shown):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                return False
            try:
                chunk = os.read(self.fd, 4096)
            except OSError:  # the command has ended and the terminal is gone
                return done(self.shown)
            if not chunk:
                return done(self.shown)
            self.shown += ESCAPES.sub("", chunk.decode("utf-8", "replace"))
        return True

    def drain(self):
        """Takes what the terminal shows now, without waiting."""
        if select.select([self.fd], [], [], 0)[0]:
            try:
                self.shown += ESCAPES.sub("", os.read(self.fd, 4096).decode("utf-8", "replace"))
            except OSError:
                pass

    def type(self, text):
        os.write(self.fd, text.encode())


def run_session(terminal):
    """Types the session's lines; the problems seen."""
    if not terminal.read_until(lambda shown: shown.endswith("kel> ")):
        return ["no first prompt"]
    problems = []
    for typed, expected in SESSION:
        terminal.wait_for_input_mode()
        start = len(terminal.shown)
        terminal.type(typed + "\r")
        if not terminal.read_until(lambda shown: re.search(r"(kel|\.\.\.)> $", shown[start:])):
            return problems + [f"no prompt after {typed!r}"]
        answer = [line.strip() for line in terminal.shown[start:].replace("\r", "").split("\n")]
        if expected is not None and expected not in answer:
            problems.append(f"after {typed!r} the terminal shows no line {expected!r}")
    return problems


def main(kel):
    terminal = Terminal(kel)
    problems = run_session(terminal)
    terminal.wait_for_input_mode()
    terminal.type("\x04")  # the end of input ends the session
    deadline = time.monotonic() + PATIENCE_SECONDS
    while True:
        pid, status = os.waitpid(terminal.pid, os.WNOHANG)
        if pid != 0:
            if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
                problems.append(f"the session ended with status {status}, expected 0")
            break
        if time.monotonic() > deadline:
            os.kill(terminal.pid, 9)
            os.waitpid(terminal.pid, 0)
            problems.append("the session did not end at the end of input")
            break
        terminal.drain()
        time.sleep(0.05)
    if problems:
        print("\n".join(problems))
        print("--- the terminal showed:\n" + terminal.shown)
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
