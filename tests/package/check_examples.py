#!/usr/bin/env python3
"""Runs every command example of the README and the manual pages on a small made-up diary.

   check_examples.py SOURCE_DIR BIN_DIR WORK_DIR

An example is a line of a code block (the README's indented or fenced blocks, the manual pages'
.nf/.EX blocks) that starts with kivlog-cli, or with kivlog and asks only for --help or
--version. Each runs through bash in WORK_DIR, with HOME there too, after the ones before it;
one that exits other than 0 fails the test, except the few listed in EXPECTED below.
"""
import datetime
import json
import os
import shutil
import subprocess
import sys
import zipfile

# Examples whose exit status is not 0 on purpose, with the status they give.
EXPECTED = {
    "kivlog-cli search WORD...": 1,  # a placeholder: no day holds it
}


def readme_examples(path):
    found, fenced = [], False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            fenced = not fenced
            continue
        if fenced or line.startswith("    "):
            found.append(line.strip())
    return found


def man_examples(path):
    found, block = [], False
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line in (".nf", ".EX"):
            block = True
        elif line in (".fi", ".EE"):
            block = False
        elif block and not line.startswith("."):
            line = line.replace("\\-", "-").replace("\\(ti", "~").replace("\\e", "\\")
            found.append(line.strip())
    return found


def is_example(line):
    command = line.split("#")[0].split() or [""]
    return command[0] == "kivlog-cli" or (
        command[0] == "kivlog" and bool({"--help", "--version"} & set(command)))


def year_file(year, days):
    """A year file in the diary's own form: days maps "mm/dd" to the text."""
    lines = [f"!JNL 1.00 {year}", "", "!DAYNAME=FALSE", ""]
    for day, text in sorted(days.items()):
        lines += ["!----------------", f"![{year}/{day}]", "!----------------"]
        lines += text.split("\n")
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def make_diary(home):
    # Today's diary day begins at about 08:00; either side of it has a day in earlier years.
    now = datetime.datetime.now()
    today = {d.strftime("%m/%d"): "今日の日記。" for d in (now, now - datetime.timedelta(hours=8))}
    folders = {
        "Data": {
            2024: {"02/29": "閏日。図書館で雨宿り。", **today},
            2025: {"04/05": "花見。雨。", "12/24": "図書館 雨", **today},
            2026: {"01/05": "図書館へ行く。雨。", "02/28": "花見の相談。", "12/24": "聖夜。"},
        },
        "diary": {2026: {"06/01": "rain all day"}},
        "Sync/diary": {2026: {"03/01": "同期フォルダの日記。"}},
    }
    for folder, years in folders.items():
        os.makedirs(os.path.join(home, folder, "backup"), exist_ok=True)
        for year, days in years.items():
            prefix = "notes" if folder == "diary" else ""
            for name in (f"{prefix}{year}.jnl", f"backup/{prefix}{year}-{year}1205.jnl"):
                with open(os.path.join(home, folder, name), "wb") as f:
                    f.write(year_file(year, days))


def make_import_sources(home):
    """One small export of each kind the import examples read."""
    os.makedirs(os.path.join(home, "Downloads"))
    entry = {"creationDate": "2026-03-01T01:00:00Z", "timeZone": "Asia/Tokyo", "text": "電話の日記"}
    with zipfile.ZipFile(os.path.join(home, "Downloads", "DayOne.zip"), "w") as z:
        z.writestr("Journal.json", json.dumps({"metadata": {}, "entries": [entry]}))
    with open(os.path.join(home, "jrnl.json"), "w", encoding="utf-8") as f:
        json.dump({"tags": {}, "entries": [
            {"date": "2026-03-02", "time": "09:00", "title": "jrnl", "body": ""}]}, f)
    os.makedirs(os.path.join(home, ".rednotebook", "data"))
    with open(os.path.join(home, ".rednotebook", "data", "2026-03.txt"), "w") as f:
        f.write("3: {text: RedNotebook}\n")


def main():
    source, bindir, work = sys.argv[1:4]
    examples = readme_examples(os.path.join(source, "README.md"))
    man = os.path.join(source, "docs", "man")
    for page in sorted(os.listdir(man)):
        examples += man_examples(os.path.join(man, page))
    examples = [e for e in dict.fromkeys(examples) if is_example(e)]
    if not examples:
        sys.exit("FAIL: no examples found")

    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    make_diary(work)
    make_import_sources(work)
    env = dict(os.environ, HOME=work, XDG_DATA_HOME=os.path.join(work, ".local/share"),
               XDG_STATE_HOME=os.path.join(work, ".local/state"), QT_QPA_PLATFORM="offscreen",
               PATH=bindir + os.pathsep + os.environ["PATH"])
    failed = []
    for example in examples:
        run = subprocess.run(["bash", "-c", example], cwd=work, env=env, capture_output=True,
                             text=True, timeout=60)
        ok = run.returncode == EXPECTED.get(example.split("#")[0].strip(), 0)
        print(f"{'ok' if ok else 'FAIL'}: {example} (exit {run.returncode})")
        if not ok:
            failed.append(example)
            print(run.stdout[-2000:] + run.stderr[-2000:])
    if failed:
        sys.exit(f"FAIL: {len(failed)} of {len(examples)} examples")
    print(f"ok: {len(examples)} examples")


main()
