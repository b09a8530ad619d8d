#!/usr/bin/env python3
"""The end comes while the final save's notice waits.

Under a private Xvfb: type, click "終了", and while the notice that the year file is created is
up, end the diary with SIGTERM; then once more, taking the display away instead. Each time the
text must be in the year file.

    final_save_box.py --kivlog BIN --cli BIN --artifacts DIR

Exit status 0 on success, 1 on a failure, 77 (skipped) when Xvfb cannot start at all.
"""

import os
import shutil
import signal
import sys
import tempfile
import time

from real_window import CLOSE_CENTRE, Failure, check, diary_day, main_with


def type_and_close(session, data, text):
    """Starts the diary, types the text and clicks 終了; returns once the notice is up."""
    proc = session.start_diary(data)
    window, geometry = session.find_window(proc)
    session.xdotool("mousemove", "--sync", str(geometry["X"] + 100), str(geometry["Y"] + 100))
    session.xdotool("windowfocus", "--sync", window)
    session.xdotool("click", "1")
    session.xdotool("type", "--delay", "40", text)
    session.click(geometry, CLOSE_CENTRE, bottom=True)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        check(proc.poll() is None, f"the diary ended without a notice ({proc.returncode})")
        status, out = session.xdotool("search", "--onlyvisible", "--pid", str(proc.pid))
        if status == 0 and out and window not in out.split():
            session.screenshot("notice")
            return proc
        time.sleep(0.2)
    raise Failure("no notice that the year file is created")


def run(args, session):
    for ending in ("SIGTERM", "display lost"):
        data = tempfile.mkdtemp(prefix="kivlog-final-")
        try:
            text = f"Typed before {ending} at the notice."
            proc = type_and_close(session, data, text)
            if ending == "SIGTERM":
                os.kill(proc.pid, signal.SIGTERM)
            else:
                session.xvfb.stop()
            try:
                proc.wait(60)
            except Exception:
                proc.kill()
                proc.wait()
                raise Failure(f"the diary did not end after {ending}")
            year_file = os.path.join(data, f"{diary_day().year}.jnl")
            check(os.path.exists(year_file), f"{ending}: the year file was not written")
            with open(year_file, "rb") as f:
                check(text.encode() in f.read(), f"{ending}: the text is not in the year file")
        finally:
            shutil.rmtree(data, ignore_errors=True)
    print("ok: the text reached the year file at SIGTERM and at the display's loss")


if __name__ == "__main__":
    sys.exit(main_with(run))
