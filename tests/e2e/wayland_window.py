#!/usr/bin/env python3
"""The diary on Wayland, natively, under a private headless weston.

The compositor has no seat, so no key can reach the diary: a small Qt plugin of the tests
(QT_QPA_GENERIC_PLUGINS=kivlogtyping) hands the shown editor a day's text as an input method's
commit. The diary must map its window and draw its text (its start-up trace says so; a
screenshot is kept), then end on SIGTERM with status 0 having saved the typed day.

    wayland_window.py --kivlog BIN --cli BIN --plugins DIR --artifacts DIR

Exit status 0 on success, 1 on a failure, 77 (skipped) when weston cannot start.
"""

import argparse
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from real_window import SKIP, Failure, check, diary_day

TYPED = "波の音🌊 Waves, 2 km."


def wait_for(what, condition, timeout, proc=None):
    deadline = time.monotonic() + timeout
    while not condition():
        if proc is not None and proc.poll() is not None:
            raise Failure(f"{what}: the program ended with status {proc.returncode}")
        if time.monotonic() > deadline:
            raise Failure(f"{what} within {timeout} s")
        time.sleep(0.2)


def start_weston(runtime, socket, log):
    if not shutil.which("weston"):
        return None, "weston is not installed (scripts/install-deps --test installs it)"
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
    for name in ("WAYLAND_DISPLAY", "DISPLAY"):
        env.pop(name, None)
    # --debug allows the screenshooter; pixman draws into memory, no GPU needed.
    proc = subprocess.Popen(["weston", "--backend=headless-backend.so", "--use-pixman",
                             f"--socket={socket}", "--width=1024", "--height=768", "--idle-time=0",
                             "--no-config", "--debug"],
                            env=env, stdout=log, stderr=subprocess.STDOUT)
    try:
        wait_for("weston's socket", lambda: os.path.exists(os.path.join(runtime, socket)), 30, proc)
    except Failure as failure:
        stop(proc)
        return None, f"weston could not start: {failure}"
    return proc, None


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def run(args, runtime, socket):
    data = tempfile.mkdtemp(prefix="kivlog-wayland-")
    try:
        day = diary_day()
        year_file = os.path.join(data, f"{day.year}.jnl")
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY=socket,
                   QT_QPA_PLATFORM="wayland", QT_PLUGIN_PATH=args.plugins,
                   QT_QPA_GENERIC_PLUGINS="kivlogtyping", KIVLOG_TEST_TYPE=TYPED,
                   KIVLOG_STARTUP_TRACE="1", KIVLOG_INSTANCE=f"wayland-{os.getpid()}",
                   LC_ALL="ja_JP.UTF-8", LANG="ja_JP.UTF-8")
        env.pop("DISPLAY", None)
        err_path = os.path.join(args.artifacts, "kivlog-stderr.txt")
        with open(err_path, "wb") as err:
            proc = subprocess.Popen([args.kivlog, f"-d{data}"], env=env, stderr=err)
        said = lambda: open(err_path, encoding="utf-8", errors="replace").read()
        try:
            wait_for("the window was not mapped and drawn",
                     lambda: "kivlog-trace map" in said() and "kivlog-trace paint" in said(),
                     60, proc)
            wait_for("the text was not typed", lambda: "kivlog-typed" in said(), 30, proc)
            time.sleep(0.5)
            shoot = subprocess.run(["weston-screenshooter"], cwd=args.artifacts, env=env,
                                   capture_output=True, timeout=30)
            if shoot.returncode != 0 or not glob.glob(os.path.join(args.artifacts, "*.png")):
                print(f"no screenshot: {shoot.stderr.decode(errors='replace')}")
            proc.send_signal(signal.SIGTERM)
            proc.wait(60)
        finally:
            stop(proc)
        check(proc.returncode == 0, f"the diary ended with status {proc.returncode}: {said()}")

        dumped = subprocess.run([args.cli, "dump", year_file], capture_output=True, timeout=60)
        check(dumped.returncode == 0, f"kivlog-cli dump: {dumped.stdout!r}")
        texts = {d["date"]: d["text"] for d in json.loads(dumped.stdout)["days"]}
        check(texts.get(day.isoformat(), "").rstrip("\r\n") == TYPED,
              f"the typed day was not saved on SIGTERM: {texts!r}")
        print(f"ok: shown on Wayland, the typed day saved on SIGTERM in {year_file}")
    finally:
        shutil.rmtree(data, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--kivlog", "--cli", "--plugins", "--artifacts"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    shutil.rmtree(args.artifacts, ignore_errors=True)
    os.makedirs(args.artifacts)
    runtime = tempfile.mkdtemp(prefix="kivlog-xdg-")
    socket = f"kivlog-test-{os.getpid()}"
    with open(os.path.join(args.artifacts, "weston.log"), "wb") as log:
        weston, problem = start_weston(runtime, socket, log)
        if weston is None:
            print(f"{problem}: skipped", file=sys.stderr)
            return SKIP
        try:
            run(args, runtime, socket)
            return 0
        except Failure as failure:
            print(f"FAIL: {failure}", file=sys.stderr)
            return 1
        finally:
            stop(weston)
            shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
