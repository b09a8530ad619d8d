#!/usr/bin/env python3
"""One diary folder on two machines, carried by Syncthing.

Two "machines" A and B, each with its own Xvfb, its own home, runtime, temporary, state and
config folders, its own diary and its own Syncthing (own home and ports, 127.0.0.1 only, no
discovery, relays, NAT, reports or upgrades), share one data folder. Both diaries are open on
the same year:

- different days: A types a day and keeps it unsaved, B types another day and closes; once B's
  file has reached A, A closes. Both year files must then hold both days (and the day that was
  there before).
- the same day: A and B type different texts into one day, then the same steps. Neither text
  may be lost: each is in the year files or in conflict files beside them, and
  `kivlog-cli check` names every such file.

    synced_folder.py --kivlog BIN --cli BIN --artifacts DIR

Exit status 0 on success, 1 on a failure, 77 (skipped) when Xvfb or Syncthing cannot start.
What each folder held at the end is printed, and copied into DIR.
"""

import argparse
import concurrent.futures
import copy
import datetime
import json
import os
import re
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request
import xml.etree.ElementTree as ET

from real_window import (CLOSE_CENTRE, TITLE, Failure, Session, Skip, Xvfb, check, date_title,
                         diary_day, main_with)

FOLDER_ID = "kivlog-diary"
SEED_TEXT = "There before both machines wrote."
BOUND = 30  # seconds, for every wait on the sync
T0 = time.monotonic()


def wait_for(condition, what, timeout=BOUND):
    """Waits until condition() gives None; otherwise it gives what is still missing."""
    deadline = time.monotonic() + timeout
    while True:
        missing = condition()
        if missing is None:
            return
        if time.monotonic() > deadline:
            raise Failure(f"{what} within {timeout} s: {missing}")
        time.sleep(0.2)


def free_ports(count):
    sockets = [socket.socket() for _ in range(count)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


class Syncthing:
    """One machine's sync engine, with its own home, ports, API key and log."""

    def __init__(self, name, base, log, listen_port, gui_port):
        self.name, self.log = name, log
        self.home = os.path.join(base, "syncthing")
        self.listen_port, self.gui_port = listen_port, gui_port
        self.key = secrets.token_hex(16)
        self.exe = shutil.which("syncthing")
        self.env = dict(os.environ, HOME=base, STNODEFAULTFOLDER="1", STNOUPGRADE="1",
                        STHASHING="minio")
        self.proc = None
        self.device = None

    def generate(self):
        if not self.exe:
            raise Skip("syncthing is missing (scripts/install-deps --test installs it)")
        result = subprocess.run([self.exe, "generate", "--home", self.home, "--no-default-folder",
                                 "--skip-port-probing"], env=self.env, capture_output=True,
                                text=True, timeout=60)
        found = re.search(r"Device ID: (\S+)", result.stdout + result.stderr)
        if result.returncode != 0 or not found:
            raise Skip(f"syncthing generate failed: {result.stdout} {result.stderr}")
        self.device = found.group(1)

    def configure(self, data, peer):
        path = os.path.join(self.home, "config.xml")
        tree = ET.parse(path)
        root = tree.getroot()
        defaults = root.find("defaults")
        for old in root.findall("device") + root.findall("folder"):
            root.remove(old)
        peer_address = f"tcp://127.0.0.1:{peer.listen_port}"
        for name, device, address in ((self.name, self.device, "dynamic"),
                                      (peer.name, peer.device, peer_address)):
            element = copy.deepcopy(defaults.find("device"))
            element.attrib.update(id=device, name=name)
            element.find("address").text = address
            root.insert(0, element)
        folder = copy.deepcopy(defaults.find("folder"))
        folder.attrib.update(id=FOLDER_ID, label=FOLDER_ID, path=data, rescanIntervalS="10",
                             fsWatcherEnabled="true", fsWatcherDelayS="1")
        for element in folder.findall("device"):
            folder.remove(element)
        for device in (self.device, peer.device):
            ET.SubElement(folder, "device", id=device, introducedBy="")
        # Files in the order they were written, as a save leaves them (.bak before the year).
        folder.find("order").text = "oldestFirst"
        root.insert(0, folder)
        gui = root.find("gui")
        gui.find("address").text = f"127.0.0.1:{self.gui_port}"
        gui.find("apikey").text = self.key
        options = root.find("options")
        for name, value in (("listenAddress", f"tcp://127.0.0.1:{self.listen_port}"),
                            ("globalAnnounceEnabled", "false"), ("localAnnounceEnabled", "false"),
                            ("relaysEnabled", "false"), ("natEnabled", "false"),
                            ("urAccepted", "-1"), ("crashReportingEnabled", "false"),
                            ("autoUpgradeIntervalH", "0"), ("startBrowser", "false"),
                            ("stunKeepaliveStartS", "0"), ("announceLANAddresses", "false"),
                            ("setLowPriority", "false"), ("reconnectionIntervalS", "1")):
            element = options.find(name)
            if element is None:
                element = ET.SubElement(options, name)
            element.text = value
        tree.write(path)

    def start(self):
        with open(self.log, "w") as log:
            self.proc = subprocess.Popen([self.exe, "serve", "--home", self.home, "--no-browser",
                                          "--no-restart", "--no-upgrade"], env=self.env,
                                         stdout=log, stderr=subprocess.STDOUT,
                                         start_new_session=True)

    def api(self, path):
        request = urllib.request.Request(f"http://127.0.0.1:{self.gui_port}{path}",
                                         headers={"X-API-Key": self.key})
        with urllib.request.urlopen(request, timeout=5) as reply:
            return json.load(reply)

    def wait_listening(self):
        """Skips when the engine cannot start or cannot take its port."""
        address = f"tcp://127.0.0.1:{self.listen_port}"
        deadline = time.monotonic() + BOUND
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise Skip(f"syncthing {self.name} ended at its start ({self.proc.returncode}), "
                           f"see {self.log}")
            try:
                listener = self.api("/rest/system/status")["connectionServiceStatus"].get(address)
            except OSError:
                listener = None
            if listener and listener.get("error"):
                raise Skip(f"syncthing {self.name} cannot listen on {address}: {listener['error']}")
            if listener and listener.get("lanAddresses"):
                return
            time.sleep(0.2)
        raise Skip(f"syncthing {self.name} did not come up within {BOUND} s, see {self.log}")

    def stop(self):
        # The engine runs as a monitor and its child, in a process group of their own.
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                pass
        if self.proc:
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait()


class Machine:
    """A diary on its own display with its own user folders, and its Syncthing."""

    def __init__(self, name, session, root, ports):
        self.name, self.session = name, session
        base = os.path.join(root, name)
        self.data = os.path.join(base, "diary")
        os.makedirs(os.path.join(self.data, ".stfolder"))
        folders = {"HOME": "home", "XDG_RUNTIME_DIR": "run", "TMPDIR": "tmp",
                   "XDG_STATE_HOME": "state", "XDG_CONFIG_HOME": "config",
                   "XDG_CACHE_HOME": "cache", "XDG_DATA_HOME": "share"}
        for variable, folder in folders.items():
            session.env[variable] = os.path.join(base, folder)
            os.makedirs(session.env[variable], mode=0o700)
        session.env["KIVLOG_INSTANCE"] = f"sync-{os.getpid()}-{name}"
        log = os.path.join(session.args.artifacts, "syncthing.log")
        self.syncthing = Syncthing(name, base, log, *ports)
        self.proc = self.window = self.geometry = None

    def windows(self):
        status, out = self.session.xdotool("search", "--onlyvisible", "--pid", str(self.proc.pid))
        return out.split() if status == 0 else []

    def answer_boxes(self):
        """Answers with Return every box up now (anything but the main window)."""
        answered = 0
        for window in self.windows():
            if not self.session.title(window).startswith(TITLE):
                self.session.screenshot("box")
                self.session.xdotool("windowfocus", "--sync", window)
                self.session.xdotool("key", "Return")
                answered += 1
                time.sleep(0.3)
        return answered

    def open(self):
        self.proc = self.session.start_diary(self.data)

    def show(self):
        """Waits for the main window, answering the boxes that come first."""
        deadline = time.monotonic() + BOUND
        while time.monotonic() < deadline:
            check(self.proc.poll() is None, f"{self.name}'s diary ended at its start")
            self.answer_boxes()
            for window in self.windows():
                if self.session.title(window).startswith(TITLE):
                    status, geometry = self.session.xdotool("getwindowgeometry", "--shell", window)
                    values = dict(line.split("=", 1) for line in geometry.splitlines())
                    self.window = window
                    self.geometry = {k: int(v) for k, v in values.items() if k != "SCREEN"}
                    time.sleep(0.5)  # let the first paint and the focus settle
                    return
            time.sleep(0.2)
        raise Failure(f"{self.name}'s window did not show within {BOUND} s")

    def write(self, day, opened, text):
        """Goes from the day the diary opened on to day with Ctrl+arrows and types text."""
        s, g = self.session, self.geometry
        s.xdotool("mousemove", "--sync", str(g["X"] + 100), str(g["Y"] + 100))
        s.xdotool("windowfocus", "--sync", self.window)
        s.xdotool("click", "1")
        steps = (day - opened).days
        if steps:
            s.xdotool("key", "--delay", "100", *[("ctrl+Right" if steps > 0 else "ctrl+Left")]
                      * abs(steps))
        title = s.title(self.window)
        check(title.endswith(date_title(day) + " >"), f"{self.name} is on {title!r}, not on {day}")
        s.xdotool("key", "ctrl+End")
        s.xdotool("type", "--delay", "30", text)
        time.sleep(0.3)
        s.screenshot("typed")

    def close(self):
        """Closes with 終了; returns the number of boxes answered since the window was shown."""
        answered = self.answer_boxes()
        self.session.click(self.geometry, CLOSE_CENTRE, bottom=True)
        status, boxes = self.session.wait_exit(self.proc, timeout=BOUND)
        check(status == 0, f"{self.name}'s diary ended with status {status}")
        self.proc = None
        return answered + boxes

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def files(self):
        """Every file of the folder by its relative path, without the engine's own."""
        found = {}
        for folder, dirs, names in os.walk(self.data):
            dirs[:] = [d for d in dirs if d != ".stfolder"]
            for name in names:
                if not name.startswith((".syncthing.", "~syncthing~")):
                    path = os.path.join(folder, name)
                    with open(path, "rb") as f:
                        found[os.path.relpath(path, self.data)] = f.read()
        return found


def out_of_sync(machines):
    """None when both engines are idle, know each other complete and the folders are equal."""
    try:
        return engines_busy(machines) or folders_differ(machines)
    except OSError as error:
        return f"an engine does not answer ({error})"


def engines_busy(machines):
    for m, peer in (machines, machines[::-1]):
        st = m.syncthing
        if not st.api("/rest/system/connections")["connections"].get(
                peer.syncthing.device, {}).get("connected"):
            return f"{m.name} is not connected to {peer.name}"
        status = st.api(f"/rest/db/status?folder={FOLDER_ID}")
        if status["state"] != "idle" or status["needTotalItems"]:
            return f"{m.name} is {status['state']}, needing {status['needTotalItems']} items"
        done = st.api(f"/rest/db/completion?folder={FOLDER_ID}&device={peer.syncthing.device}")
        if done["completion"] != 100:
            return f"{m.name} sees {peer.name} at {done['completion']} %"
    return None


def folders_differ(machines):
    a, b = (m.files() for m in machines)
    differ = sorted(p for p in a.keys() | b.keys() if a.get(p) != b.get(p))
    return f"the folders differ in {differ}" if differ else None


def wait_in_sync(machines, what, diary_open=False):
    wait_for(lambda: out_of_sync(machines), f"{what}: not in sync")
    if diary_open:
        # Once more after the engines' watcher delay, past what an open diary did on the arrival.
        time.sleep(1.0)
        wait_for(lambda: out_of_sync(machines), f"{what}: not in sync")
    print(f"{time.monotonic() - T0:5.1f} s: in sync {what}")


def on_both(machines, action, *args_each):
    """Runs action(machine, *args) on both machines at once (each has its own display)."""
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        return list(pool.map(lambda m, *more: action(m, *more), machines, *args_each))


def conflict_files(m, year_name):
    """Files beside the year file that a diary or a sync engine set aside in a conflict."""
    return sorted(n for n in os.listdir(m.data) if n != year_name and "conflict" in n.lower()
                  and os.path.isfile(os.path.join(m.data, n)))


def describe(m, year_name, days):
    """What a folder holds for the report: the days' texts and the conflict files."""
    texts = {d["date"]: d["text"] for d in m.session.dump(os.path.join(m.data, year_name))["days"]}
    shown = {day.strftime("%m/%d"): texts.get(day.isoformat(), "") for day in days}
    return texts, f"{m.name}: {year_name} {shown}; conflict files {conflict_files(m, year_name)}"


def both_write(machines, opened, writes):
    """A types and keeps it unsaved, B types and closes; once B's save is at A, A closes."""
    a, b = machines
    for m in machines:
        m.open()
    on_both(machines, Machine.show)
    on_both(machines, lambda m, write: m.write(write[0], opened, write[1]), writes)
    check(b.close() == 0, "B's save, with nothing changed on its disk, raised a box")
    wait_in_sync(machines, "after B's save", diary_open=True)
    boxes = a.close()
    wait_in_sync(machines, "after A's save")
    return boxes


def run(args, session_a):
    root = tempfile.mkdtemp(prefix="kivlog-sync-")
    xvfb_b = Xvfb()
    machines = []
    try:
        check(xvfb_b.start(), "a second Xvfb could not start")
        ports = free_ports(4)
        for name, session, own in zip("AB", (session_a, Session(args, xvfb_b)),
                                      (ports[:2], ports[2:])):
            session.args = argparse.Namespace(**dict(vars(args), artifacts=os.path.join(
                args.artifacts, name)))
            shutil.rmtree(session.args.artifacts, ignore_errors=True)
            os.makedirs(session.args.artifacts)
            machines.append(Machine(name, session, root, own))
        a, b = machines
        on_both(machines, lambda m: m.syncthing.generate())
        a.syncthing.configure(a.data, b.syncthing)
        b.syncthing.configure(b.data, a.syncthing)

        # Three days of the year the diaries open on, and a fourth already written in A's folder.
        opened = diary_day()
        step = -1 if (opened - datetime.timedelta(days=2)).year == opened.year else 1
        day_a, day_b = (opened + datetime.timedelta(days=step * n) for n in (2, 1))
        seed_day = datetime.date(opened.year, 7 if opened.month < 3 else 1, 1)
        year_name = f"{opened.year}.jnl"
        with open(os.path.join(a.data, year_name), "wb") as f:
            f.write(f"!JNL 1.00 {opened.year}\r\n\r\n\r\n!------------\r\n"
                    f"![{seed_day:%Y/%m/%d}]\r\n!------------\r\n{SEED_TEXT}\r\n".encode())

        for m in machines:
            m.syncthing.start()
        for m in machines:
            m.syncthing.wait_listening()
        wait_in_sync(machines, "the year file before the diaries start")

        problems = []
        boxes = both_write(machines, opened, ((day_a, "Written on A."), (day_b, "Written on B.")))
        print(f"different days: A answered {boxes} box(es)")
        for m in machines:
            texts, line = describe(m, year_name, (seed_day, day_a, day_b))
            print(line)
            for day, text in ((seed_day, SEED_TEXT), (day_a, "Written on A."),
                              (day_b, "Written on B.")):
                if text not in texts.get(day.isoformat(), ""):
                    problems.append(f"{m.name}'s {year_name} lacks {day:%m/%d} ({text!r})")

        same = ("Same day on A.", "Same day on B.")
        boxes = both_write(machines, opened, ((opened, same[0]), (opened, same[1])))
        print(f"same day: A answered {boxes} box(es)")
        for m in machines:
            print(describe(m, year_name, (opened,))[1])
            aside = conflict_files(m, year_name)
            held = b"".join(open(os.path.join(m.data, n), "rb").read() for n in [year_name] + aside)
            problems += [f"{text!r} is in no file of {m.name}" for text in same
                         if text.encode() not in held]
            result = subprocess.run([args.cli, "check", "-d" + m.data], capture_output=True,
                                    text=True, timeout=60)
            print(f"{m.name}: kivlog-cli check ({result.returncode}): {result.stdout.strip()}")
            problems += [f"kivlog-cli check on {m.name} does not name {n}"
                         for n in aside if n not in result.stdout]
        check(not problems, "; ".join(problems))
        print("ok: both machines kept both days and both texts of the same day")
    finally:
        for m in machines:
            m.kill()
        for m in machines:
            m.syncthing.stop()
        xvfb_b.stop()
        for m in machines:
            shutil.copytree(m.data, os.path.join(m.session.args.artifacts, "folder"),
                            ignore=shutil.ignore_patterns(".stfolder"), dirs_exist_ok=True)
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    # A test runner's SIGTERM ends the test through its clean-up like any failure.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main_with(run))
