#!/usr/bin/env python3
"""The diary in a real X window, end to end.

Under a private Xvfb: start the program on a fresh data folder, type a day's text (ASCII and
Japanese) with xdotool, press "翌日", close with "終了", and check the bytes of the year file;
then start again and check that the text is back and that a close without edits rewrites
nothing; last, type more and take the display away: the text must be saved all the same.
Screenshots of every stage go to the artefact folder.

    real_window.py --kivlog BIN --cli BIN --artifacts DIR

Exit status 0 on success, 1 on a failure, 77 (skipped) when Xvfb cannot start at all.
"""

import argparse
import datetime
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
TITLE = "KIV-N's Diary"
ASCII_TEXT = "Walked to the river, 3 km."
JAPANESE_TEXT = "今日は晴れ"
LOST_DISPLAY_TEXT = "Typed just before the display went away."
WEEKDAYS = "月火水木金土日"  # Monday first, as date.weekday() counts

# Where the two buttons stand in the window's client area at its design size of 544 x 360: "翌日"
# in the right-hand column (kept at the right edge), "終了" kept above the bottom edge.
DESIGN_SIZE = (544, 360)
NEXT_DAY_CENTRE = (378 + 1 + 88 + 30, 1 + 200 + 12)
CLOSE_CENTRE = (207 + 37, 320 + 12)


class Failure(Exception):
    pass


class Skip(Exception):
    """A tool the scenario needs besides the display server cannot run here."""


def check(condition, message):
    if not condition:
        raise Failure(message)


class Xvfb:
    def __init__(self):
        self.proc = None
        self.display = None

    def start(self, timeout=30):
        if not shutil.which("Xvfb"):
            return False
        read_end, write_end = os.pipe()
        try:
            self.proc = subprocess.Popen(
                # -noreset: the server would otherwise reset whenever its last client goes
                # (the diary ending, each xdotool call), refusing connections meanwhile.
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except OSError:
            return False
        finally:
            os.close(write_end)
        data = b""
        deadline = time.monotonic() + timeout
        while not data.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                chunk = os.read(read_end, 64)
                if not chunk:
                    break
                data += chunk
        os.close(read_end)
        if not data.strip().isdigit():
            self.stop()
            return False
        self.display = ":" + data.strip().decode()
        return True

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Session:
    def __init__(self, args, xvfb):
        self.args = args
        self.xvfb = xvfb
        display = xvfb.display
        self.env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                        KIVLOG_INSTANCE=f"e2e-{os.getpid()}", LC_ALL="ja_JP.UTF-8",
                        LANG="ja_JP.UTF-8")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.shot = 0

    def xdotool(self, *words, timeout=30):
        # xdotool reads its text through the C library's locale, which must exist; the
        # diary's Japanese locale is Qt's own and need not be installed.
        env = dict(self.env, LC_ALL="C.UTF-8", LANG="C.UTF-8")
        result = subprocess.run(["xdotool", *words], env=env, capture_output=True,
                                text=True, timeout=timeout)
        return result.returncode, result.stdout.strip()

    def screenshot(self, name):
        self.shot += 1
        path = os.path.join(self.args.artifacts, f"{self.shot:02d}-{name}.png")
        subprocess.run(["import", "-window", "root", path], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def start_diary(self, data):
        log = open(os.path.join(self.args.artifacts, f"kivlog-{self.shot:02d}.log"), "w")
        proc = subprocess.Popen([self.args.kivlog, "-d" + data], env=self.env,
                                stdout=log, stderr=subprocess.STDOUT)
        log.close()
        return proc

    def find_window(self, proc, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            check(proc.poll() is None, f"the diary ended before its window showed ({proc.returncode})")
            status, out = self.xdotool("search", "--onlyvisible", "--name", "^" + TITLE)
            if status == 0 and out:
                window = out.splitlines()[-1]
                status, geometry = self.xdotool("getwindowgeometry", "--shell", window)
                if status == 0:
                    values = dict(line.split("=", 1) for line in geometry.splitlines())
                    time.sleep(0.5)  # let the first paint and the focus settle
                    return window, {k: int(v) for k, v in values.items() if k != "SCREEN"}
            time.sleep(0.2)
        raise Failure("the diary's window did not show within %d s" % timeout)

    def title(self, window):
        return self.xdotool("getwindowname", window)[1]

    def click(self, geometry, design_point, right=False, bottom=False):
        """Clicks a control given by its centre at the design size, kept at its anchors."""
        x, y = design_point
        if right:
            x += geometry["WIDTH"] - DESIGN_SIZE[0]
        if bottom:
            y += geometry["HEIGHT"] - DESIGN_SIZE[1]
        self.xdotool("mousemove", "--sync", str(geometry["X"] + x), str(geometry["Y"] + y))
        time.sleep(0.2)
        self.xdotool("click", "1")
        time.sleep(0.5)

    def wait_exit(self, proc, timeout=60):
        """Waits for the end, answering with Return the boxes that come up meanwhile (the
        notice before a year file is first created). Returns the exit status and the number
        of boxes answered."""
        deadline = time.monotonic() + timeout
        answered = 0
        while proc.poll() is None:
            if time.monotonic() > deadline:
                self.screenshot("hanging")
                proc.kill()
                proc.wait()
                raise Failure("the diary did not end within %d s" % timeout)
            status, out = self.xdotool("search", "--onlyvisible", "--pid", str(proc.pid))
            if status == 0 and out and proc.poll() is None:
                time.sleep(0.5)
                self.screenshot("box")
                box = out.splitlines()[-1]
                self.xdotool("windowfocus", "--sync", box)
                self.xdotool("key", "Return")
                answered += 1
            time.sleep(0.3)
        return proc.returncode, answered

    def dump(self, path):
        result = subprocess.run([self.args.cli, "dump", path], capture_output=True, timeout=60)
        check(result.returncode == 0, f"kivlog-cli dump failed: {result.stdout!r} {result.stderr!r}")
        return json.loads(result.stdout.decode("utf-8"))


def diary_day():
    # The diary day begins at about 08:00.
    return (datetime.datetime.now() - datetime.timedelta(days=0.33333)).date()


def date_title(day):
    return f"{day:%Y}年{day:%m}月{day:%d}日({WEEKDAYS[day.weekday()]})"


def run(args, session):
    data = tempfile.mkdtemp(prefix="kivlog-e2e-")
    try:
        day = diary_day()
        year_file = os.path.join(data, f"{day.year}.jnl")

        # First run: write, move on, close with the button.
        proc = session.start_diary(data)
        window, geometry = session.find_window(proc)
        session.screenshot("started")
        title = session.title(window)
        check(title == f"{TITLE} < {date_title(day)} >", f"unexpected window title {title!r}")

        session.xdotool("mousemove", "--sync", str(geometry["X"] + 100), str(geometry["Y"] + 100))
        session.xdotool("windowfocus", "--sync", window)
        session.xdotool("type", "--delay", "60", ASCII_TEXT)
        session.xdotool("key", "Return")
        session.xdotool("type", "--delay", "120", JAPANESE_TEXT)
        time.sleep(0.5)
        session.screenshot("typed")

        session.click(geometry, NEXT_DAY_CENTRE, right=True)
        next_day = day + datetime.timedelta(days=1)
        title = session.title(window)
        check(title == f"{TITLE} < {date_title(next_day)} >",
              f"after 翌日 the title is {title!r}, not the next day's")
        session.screenshot("next-day")

        session.click(geometry, CLOSE_CENTRE, bottom=True)
        status, boxes = session.wait_exit(proc)
        check(status == 0, f"the diary ended with status {status} after 終了")
        check(boxes == 1, f"expected the one notice that the year file is created, got {boxes}")
        session.screenshot("closed")

        check(os.path.exists(year_file), f"{year_file} was not written")
        with open(year_file, "rb") as f:
            raw = f.read()
        shutil.copy(year_file, os.path.join(args.artifacts, os.path.basename(year_file)))
        lines = raw.split(b"\r\n")
        check(lines[0] == f"!JNL 1.00 {day.year}".encode(), f"first line {lines[0]!r}")
        check(raw.endswith(b"\r\n") and b"\n" not in raw.replace(b"\r\n", b""),
              "not every line ends with CR LF")
        # A new year file has no DAYNAME, so the option is off: headers without weekday names.
        header = f"![{day:%Y/%m/%d}]".encode()
        check(header in lines, f"no day header {header!r} in {lines!r}")
        at = lines.index(header)
        check(lines[at - 1] == b"!------------" and lines[at + 1] == b"!------------",
              "the day header is not framed by separator lines")
        typed_ascii = lines[at + 2].decode("cp932")
        check(typed_ascii == ASCII_TEXT, f"first text line {typed_ascii!r}")
        typed_japanese = lines[at + 3].decode("cp932", errors="replace")
        japanese_ok = typed_japanese == JAPANESE_TEXT
        if not japanese_ok:
            # xdotool reaches non-ASCII text only through remapped keysyms, which some X
            # servers do not take; the ASCII line above already proves the way.
            print(f"note: Japanese typing gave {typed_japanese!r}", file=sys.stderr)
        check(any(line.startswith(b"!DAYNAME=FALSE") for line in lines[:at]),
              "the close button did not write DAYNAME")
        # Nobody resized the window or chose a font: they kept what a year without them gives.
        for setting in (b"!WIDTH=", b"!HEIGHT=", b"!FONTNAME=", b"!FONTSIZE="):
            check(not any(line.startswith(setting) for line in lines[:at]),
                  f"the close button wrote {setting!r} that nobody changed")

        dumped = session.dump(year_file)
        texts = {d["date"]: d["text"] for d in dumped["days"]}
        # A day text read back from a file always ends with its line break.
        expected = ASCII_TEXT + "\r\n" + (JAPANESE_TEXT if japanese_ok else typed_japanese) + "\r\n"
        check(texts.get(day.isoformat()) == expected, f"dump shows {texts!r}")

        # Second run: the text is back in the window; a close without edits writes nothing.
        before = os.stat(year_file)
        proc = session.start_diary(data)
        window, geometry = session.find_window(proc)
        session.screenshot("restarted")
        title = session.title(window)
        check(title == f"{TITLE} < {date_title(day)} >", f"restarted on {title!r}")
        session.click(geometry, CLOSE_CENTRE, bottom=True)
        status, boxes = session.wait_exit(proc)
        check(status == 0 and boxes == 0,
              f"the second run ended with status {status} after {boxes} boxes")
        after = os.stat(year_file)
        check((before.st_mtime_ns, before.st_size) == (after.st_mtime_ns, after.st_size),
              "closing without edits rewrote the year file")
        # Third run: the display goes away under the diary (as at some logouts); Qt then ends
        # the process at once, and the text typed since the last save must still be saved.
        proc = session.start_diary(data)
        window, geometry = session.find_window(proc)
        session.xdotool("mousemove", "--sync", str(geometry["X"] + 100), str(geometry["Y"] + 100))
        session.xdotool("windowfocus", "--sync", window)
        session.xdotool("key", "ctrl+End", "Return")
        session.xdotool("type", "--delay", "60", LOST_DISPLAY_TEXT)
        time.sleep(0.5)
        session.screenshot("before-display-lost")
        session.xvfb.stop()
        try:
            proc.wait(60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise Failure("the diary did not end after its display went away")
        texts = {d["date"]: d["text"] for d in session.dump(year_file)["days"]}
        check(LOST_DISPLAY_TEXT in texts.get(day.isoformat(), ""),
              f"the text typed before the display went away is lost: {texts!r}")

        print(f"ok: {year_file} holds the typed day; Japanese typing "
              f"{'worked' if japanese_ok else 'was not taken by this X server'}")
    finally:
        shutil.rmtree(data, ignore_errors=True)


def main_with(run_scenario):
    """Parses the common arguments, starts a private Xvfb and runs the scenario in it."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--kivlog", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    os.makedirs(args.artifacts, exist_ok=True)
    for tool in ("xdotool", "import"):
        if not shutil.which(tool):
            print(f"{tool} is missing (scripts/install-deps --test installs it)", file=sys.stderr)
            return 1

    xvfb = Xvfb()
    if not xvfb.start():
        print("Xvfb could not start: skipped", file=sys.stderr)
        return SKIP
    session = Session(args, xvfb)
    try:
        run_scenario(args, session)
        return 0
    except Skip as skip:
        print(f"{skip}: skipped", file=sys.stderr)
        return SKIP
    except Failure as failure:
        session.screenshot("failure")
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        xvfb.stop()


def main():
    return main_with(run)


if __name__ == "__main__":
    sys.exit(main())
