#!/usr/bin/env python3
"""Reading the diary back in the real window, end to end.

Under a private Xvfb, on a folder of four years that have text on today's diary day:
  onthisday  Ctrl+T opens この日, Down twice and Enter go to the day two years back, after the
             text typed today was saved by the year switch;
  export     Ctrl+E, PDF of this year; the year file itself as the target is refused, then
             the PDF read back with pdftotext holds the days' texts;
  print      Ctrl+P, this year, the desktop's print dialog printing to a PDF file; read back;
  import     Ctrl+I, a folder of one file a day chosen in the folder dialog, the report
             answered with 取り込む: the day keeps its text and the imported one after it;
  yearview   Ctrl+R opens the year view on the diary's year, Left goes a year back, Esc closes
             it.

    reading_back.py --kivlog BIN --cli BIN --artifacts DIR --stage onthisday|export|print|import|yearview

Exit status 0 on success, 1 on a failure, 77 (skipped) when Xvfb cannot start at all.
"""

import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import time

from real_window import CLOSE_CENTRE, TITLE, WEEKDAYS, Failure, check, date_title, diary_day, main_with

TYPED = "typed today"


def same_day(day, year):
    try:
        return day.replace(year=year)
    except ValueError:  # 29 February
        return None


def write_years(data, day):
    """Year files with text on the day in four years, and a second day in the diary's year.
    Returns {date: text} of the diary's year."""
    this_year = {}
    for back in range(4):
        date = same_day(day, day.year - back)
        if not date:
            continue
        days = {date: f"Year {date.year} line one\r\n  indented second line\r\n"}
        if back == 0:
            other = day - datetime.timedelta(days=1) if day.month == 1 and day.day > 1 or \
                day.month > 1 else day + datetime.timedelta(days=1)
            days[other] = "The other day\r\n"
            this_year = days
        body = f"!JNL 1.00 {date.year}\r\n"
        for d, text in sorted(days.items()):
            body += f"![{d:%Y/%m/%d}]\r\n{text}"
        with open(os.path.join(data, f"{date.year}.jnl"), "wb") as f:
            f.write(body.encode("cp932"))
    return this_year


def wait_window(session, proc, known, what, timeout=15):
    """The diary's newest visible window besides the known ones."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        status, out = session.xdotool("search", "--onlyvisible", "--pid", str(proc.pid))
        new = [w for w in out.split() if w not in known] if status == 0 else []
        if new:
            time.sleep(0.5)
            return new[-1]
        time.sleep(0.2)
    session.screenshot("missing-" + what)
    raise Failure(f"no {what} window within {timeout} s")


def wait_title(session, window, title, timeout=10):
    deadline = time.monotonic() + timeout
    while session.title(window) != title and time.monotonic() < deadline:
        time.sleep(0.2)
    return session.title(window)


def pdf_lines(path):
    result = subprocess.run(["pdftotext", path, "-"], capture_output=True, timeout=60)
    check(result.returncode == 0, f"pdftotext failed on {path}: {result.stderr!r}")
    lines = [line.strip() for line in result.stdout.decode("utf-8").split("\n")]
    # Each page carries its number at the foot.
    return [line for line in lines if line and not line.isdigit()]


def expected_lines(days):
    lines = []
    for d, text in sorted(days.items()):
        lines.append(f"{d:%Y/%m/%d}({WEEKDAYS[d.weekday()]})")
        lines += [line.strip() for line in text.split("\r\n") if line.strip()]
    return lines


def start(session, data):
    proc = session.start_diary(data)
    window, geometry = session.find_window(proc)
    session.xdotool("mousemove", "--sync", str(geometry["X"] + 100), str(geometry["Y"] + 100))
    session.xdotool("windowfocus", "--sync", window)
    session.geometry = geometry
    return proc, window


def keys(session, *names):
    for name in names:
        session.xdotool("key", name)
        time.sleep(0.15)


def close(session, proc, window):
    session.xdotool("windowfocus", "--sync", window)
    session.click(session.geometry, CLOSE_CENTRE, bottom=True)
    status, boxes = session.wait_exit(proc, timeout=15)
    check(status == 0, f"the diary ended with status {status}")


def onthisday(args, session, data, day, this_year):
    proc, window = start(session, data)
    session.xdotool("key", "ctrl+End")
    session.xdotool("type", "--delay", "30", TYPED)
    session.xdotool("key", "ctrl+t")
    list_window = wait_window(session, proc, [window], "onthisday")
    session.screenshot("onthisday")
    shutil.copy(os.path.join(args.artifacts, f"{session.shot:02d}-onthisday.png"),
                os.path.join(args.artifacts, "onthisday.png"))
    # Rows newest first: this year, one back, two back.
    session.xdotool("windowfocus", "--sync", list_window)
    session.xdotool("key", "Down", "Down", "Return")
    target = same_day(day, day.year - 2)
    title = wait_title(session, window, f"{TITLE} < {date_title(target)} >")
    check(title == f"{TITLE} < {date_title(target)} >", f"Enter in この日 went to {title!r}")
    with open(os.path.join(data, f"{day.year}.jnl"), "rb") as f:
        check(TYPED.encode() in f.read(), "the year switch did not save the text typed today")
    session.screenshot("went-back")
    close(session, proc, window)


def export(args, session, data, day, this_year):
    proc, window = start(session, data)
    session.xdotool("key", "ctrl+e")
    dialog = wait_window(session, proc, [window], "export")
    session.xdotool("windowfocus", "--sync", dialog)
    keys(session, "alt+f", "End", "alt+y", "alt+n", "ctrl+a")
    session.xdotool("type", "--delay", "20", os.path.join(data, f"{day.year}.jnl"))
    session.xdotool("key", "Return")
    time.sleep(0.8)
    session.screenshot("export-refused")
    box = wait_window(session, proc, [window, dialog], "refusal message", timeout=5)
    session.xdotool("windowfocus", "--sync", box)
    session.xdotool("key", "Return")
    time.sleep(0.5)
    target = os.path.join(data, "out", "diary.pdf")
    os.makedirs(os.path.dirname(target))
    session.xdotool("windowfocus", "--sync", dialog)
    keys(session, "alt+n", "ctrl+a")
    session.xdotool("type", "--delay", "20", target)
    session.xdotool("key", "Return")
    deadline = time.monotonic() + 10
    while not os.path.exists(target) and time.monotonic() < deadline:
        time.sleep(0.2)
    check(os.path.exists(target), "the export dialog wrote no file")
    shutil.copy(target, os.path.join(args.artifacts, "export.pdf"))
    lines = pdf_lines(target)
    check(lines == expected_lines(this_year), f"the exported PDF reads {lines!r}")
    close(session, proc, window)


def print_pdf(args, session, data, day, this_year):
    home = os.path.join(data, "home")
    os.makedirs(home)
    session.env["HOME"] = home
    # No printer of this machine is seen: the dialog can only print to a file.
    session.env["CUPS_SERVER"] = os.path.join(data, "no-cups.sock")
    proc, window = start(session, data)
    session.xdotool("key", "ctrl+p")
    dialog = wait_window(session, proc, [window], "print range")
    session.xdotool("windowfocus", "--sync", dialog)
    keys(session, "alt+y")
    session.screenshot("print-range")
    keys(session, "Return")
    printing = wait_window(session, proc, [window, dialog], "print dialog")
    session.screenshot("print-dialog")
    session.xdotool("windowfocus", "--sync", printing)
    session.xdotool("key", "Return")
    first = min(this_year)
    target = os.path.join(home, f"日記-{first:%Y%m%d}.pdf")
    deadline = time.monotonic() + 10
    while not os.path.exists(target) and time.monotonic() < deadline:
        time.sleep(0.2)
    check(os.path.exists(target), f"printing to a file wrote no {target}: {os.listdir(home)}")
    shutil.copy(target, os.path.join(args.artifacts, "print.pdf"))
    lines = pdf_lines(target)
    check(lines == expected_lines(this_year), f"the printed PDF reads {lines!r}")
    close(session, proc, window)


def import_days(args, session, data, day, this_year):
    source = os.path.join(data, "phone")
    os.makedirs(source)
    with open(os.path.join(source, f"{day:%Y-%m-%d}.md"), "w", encoding="utf-8") as f:
        f.write("# 電話から\n")
    year_file = os.path.join(data, f"{day.year}.jnl")
    proc, window = start(session, data)
    session.xdotool("key", "ctrl+i")
    choice = wait_window(session, proc, [window], "import choice")
    session.screenshot("import-choice")
    session.xdotool("windowfocus", "--sync", choice)
    keys(session, "alt+d")
    dialog = wait_window(session, proc, [window, choice], "folder dialog")
    session.xdotool("windowfocus", "--sync", dialog)
    keys(session, "ctrl+a")
    session.xdotool("type", "--delay", "20", source)
    session.xdotool("key", "Return")
    report = wait_window(session, proc, [window, choice, dialog], "import report")
    session.screenshot("import-report")
    with open(year_file, "rb") as f:
        check("電話から".encode("cp932") not in f.read(), "the import wrote before 取り込む")
    session.xdotool("windowfocus", "--sync", report)
    session.xdotool("key", "Return")
    deadline = time.monotonic() + 10
    written = b""
    while time.monotonic() < deadline:
        with open(year_file, "rb") as f:
            written = f.read()
        if "電話から".encode("cp932") in written:
            break
        time.sleep(0.2)
    check("電話から".encode("cp932") in written, "取り込む wrote nothing into the year file")
    check(this_year[day].split("\r\n")[0].encode("cp932") in written,
          "the day's own text is gone after the import")
    session.screenshot("imported")
    close(session, proc, window)


def yearview(args, session, data, day, this_year):
    proc, window = start(session, data)
    session.xdotool("key", "ctrl+r")
    view = wait_window(session, proc, [window], "year view")
    title = wait_title(session, view, f"{day.year}年の記録")
    check(title == f"{day.year}年の記録", f"Ctrl+R opened {title!r}")
    session.screenshot("yearview")
    shutil.copy(os.path.join(args.artifacts, f"{session.shot:02d}-yearview.png"),
                os.path.join(args.artifacts, "yearview.png"))
    session.xdotool("windowfocus", "--sync", view)
    session.xdotool("key", "Left")
    title = wait_title(session, view, f"{day.year - 1}年の記録")
    check(title == f"{day.year - 1}年の記録", f"Left in the year view showed {title!r}")
    session.xdotool("key", "Escape")
    close(session, proc, window)


STAGES = {"onthisday": onthisday, "export": export, "print": print_pdf, "import": import_days,
          "yearview": yearview}


def main():
    stage = sys.argv[sys.argv.index("--stage") + 1]
    del sys.argv[sys.argv.index("--stage"):sys.argv.index("--stage") + 2]

    def run(args, session):
        data = tempfile.mkdtemp(prefix=f"kivlog-{stage}-")
        # The diary's memory of its years starts afresh: the same years written again make the
        # same diary, which an earlier run's memory would know.
        state = tempfile.mkdtemp(prefix=f"kivlog-{stage}-state-")
        session.env["XDG_STATE_HOME"] = state
        try:
            day = diary_day()
            STAGES[stage](args, session, data, day, write_years(data, day))
            print(f"ok: {stage}")
        finally:
            shutil.rmtree(data, ignore_errors=True)
            shutil.rmtree(state, ignore_errors=True)

    return main_with(run)


if __name__ == "__main__":
    sys.exit(main())
