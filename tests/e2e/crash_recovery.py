#!/usr/bin/env python3
"""Text typed before a crash comes back.

Under a private Xvfb: start the diary on a fresh data folder, type a day's text, wait until the
recovery file in the user's state folder holds it (never in the data folder, which may travel),
kill the diary with SIGKILL (nothing is saved), start it again, take the recovered text back at
the question, close with "終了", and check that the year file holds the text and the recovery
file is gone.

    crash_recovery.py --kivlog BIN --cli BIN --artifacts DIR

Exit status 0 on success, 1 on a failure, 77 (skipped) when Xvfb cannot start at all.
"""

import glob
import os
import shutil
import signal
import sys
import tempfile
import time

from real_window import CLOSE_CENTRE, TITLE, Failure, check, date_title, diary_day, main_with

CRASH_TEXT = "Typed just before the crash."


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.2)
    raise Failure(f"{what} within {timeout} s")


def answer_question(session, proc, timeout=60):
    """Waits for the question box that comes before the main window and answers it with Return
    (its default: take the texts back)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        check(proc.poll() is None, f"the diary ended before asking ({proc.returncode})")
        status, out = session.xdotool("search", "--onlyvisible", "--pid", str(proc.pid))
        if status == 0 and out:
            time.sleep(0.5)
            session.screenshot("recovery-question")
            box = out.splitlines()[-1]
            session.xdotool("windowfocus", "--sync", box)
            session.xdotool("key", "Return")
            return
        time.sleep(0.2)
    raise Failure("no question about the recovered text")


def run(args, session):
    data = tempfile.mkdtemp(prefix="kivlog-crash-")
    state = tempfile.mkdtemp(prefix="kivlog-crash-state-")
    session.env["XDG_STATE_HOME"] = state
    try:
        day = diary_day()
        year_file = os.path.join(data, f"{day.year}.jnl")
        pattern = os.path.join(state, "kivlog", "recovery", "*", f"{day.year}.jnl.recovery")

        def recovery_files():
            return glob.glob(pattern)

        proc = session.start_diary(data)
        window, geometry = session.find_window(proc)
        # A click into the editor: without a window manager nothing else gives it the keys.
        session.xdotool("mousemove", "--sync", str(geometry["X"] + 100), str(geometry["Y"] + 100))
        session.xdotool("windowfocus", "--sync", window)
        session.xdotool("click", "1")
        time.sleep(0.3)
        session.xdotool("type", "--delay", "40", CRASH_TEXT)

        def recovered_text():
            if len(recovery_files()) != 1:
                return b""
            with open(recovery_files()[0], "rb") as f:
                return f.read()

        # The file is rewritten a few seconds after each pause in typing.
        wait_for(lambda: CRASH_TEXT.encode() in recovered_text(), 30,
                 f"the recovery file did not get the typed text ({recovered_text()!r})")
        session.screenshot("before-crash")
        # Nothing but the name of its diary: no text reached the data folder.
        check(os.listdir(data) in ([], [".kivlog-diary"]),
              f"the data folder holds {os.listdir(data)!r}")
        os.kill(proc.pid, signal.SIGKILL)
        proc.wait(30)
        check(not os.path.exists(year_file), "a killed diary cannot have saved its year file")

        proc = session.start_diary(data)
        answer_question(session, proc)
        window, geometry = session.find_window(proc)
        session.screenshot("recovered")
        title = session.title(window)
        check(title == f"{TITLE} < {date_title(day)} >", f"restarted on {title!r}")

        session.click(geometry, CLOSE_CENTRE, bottom=True)
        status, boxes = session.wait_exit(proc)
        check(status == 0, f"the diary ended with status {status}")
        check(boxes == 1, f"expected only the notice that the year file is created, got {boxes}")

        texts = {d["date"]: d["text"] for d in session.dump(year_file)["days"]}
        check(texts.get(day.isoformat()) == CRASH_TEXT + "\r\n",
              f"the recovered text did not reach the year file: {texts!r}")
        check(recovery_files() == [], "the save did not remove the recovery file")
        print(f"ok: the text typed before SIGKILL is in {year_file}")
    finally:
        shutil.rmtree(data, ignore_errors=True)
        shutil.rmtree(state, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main_with(run))
