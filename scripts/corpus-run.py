#!/usr/bin/env python3
"""Runs velmora-import and velmora-check over a folder of art, one line per file.

usage: scripts/corpus-run.py [--bin DIR] FOLDER

Every PNG, GIF and sprite sheet JSON is imported (a sheet once whole and once
per tag or animation it names); every BMP is checked as the one frame of a set.
Each line gives the outcome (imported, warned, refused, crashed), the peak
memory of the tool, its time, the cross-check's verdict (agrees: the engine's
drawing matches a second reading of the file; none: no second reading; differs:
SDL or the importer disagree with it) and, for a refusal or a warning, the
tool's reason. The counts follow at the end. Nothing is written beside the art.

With --record FILE, FILE gets, for every run, the tool's status and messages and
the SHA-256 of every file it wrote, and of a preview of the set it wrote as
velmora-check --preview makes it; with the scratch and corpus folders' names
replaced by fixed ones, so that two machines' records can be compared.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from collections import Counter

HERE = os.path.dirname(os.path.abspath(__file__))


def run(command):
    """Runs command; returns its status, output, peak memory in MB and seconds."""
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               env=dict(os.environ, SDL_VIDEODRIVER="dummy"))
    output = process.stdout.read().decode("utf-8", "replace")
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = status
    seconds = time.monotonic() - start
    code = os.waitstatus_to_exitcode(status)
    return code, output, usage.ru_maxrss / 1024.0, seconds


def reason(output):
    """The tool's first error or warning line, shortened."""
    for line in output.splitlines():
        text = line.strip()
        if text.startswith("velmora-import:") or text.startswith("error") or text.startswith("warning"):
            return text if len(text) <= 200 else text[:197] + "..."
    return ""


def import_verdict(code, output):
    if code < 0 or code > 2:
        return "crashed", "none"
    if code == 2:
        return "refused", ("differs" if "not written: frame" in output else "none")
    if "read a second time by" in output:
        return ("imported" if code == 0 else "warned"), "agrees"
    return ("imported" if code == 0 else "warned"), "none"


def check_verdict(code, output):
    if code < 0 or code > 2:
        return "crashed", "none"
    outcome = {0: "imported", 1: "warned", 2: "refused"}[code]
    if "pixels differently" in output:
        return outcome, "differs"
    return outcome, ("none" if code == 2 else "agrees")


def names_in_sheet(path):
    """The tags and animations a sheet names, for a run of each."""
    try:
        with open(path, encoding="utf-8") as f:
            sheet = json.load(f)
    except (OSError, ValueError):
        return []
    names = []
    meta = sheet.get("meta") if isinstance(sheet, dict) else None
    if isinstance(meta, dict) and isinstance(meta.get("frameTags"), list):
        names += [t["name"] for t in meta["frameTags"] if isinstance(t, dict) and isinstance(t.get("name"), str)]
    if isinstance(sheet, dict) and isinstance(sheet.get("animations"), dict):
        names += list(sheet["animations"])
    return list(dict.fromkeys(names))


def record(out, label, command, code, output, checker, scratch, folder):
    """Writes to out what one run said and wrote, as lines free of this run's own folders."""
    def plain(text):
        text = text.replace(scratch, "SCRATCH").replace(folder, "CORPUS")
        # Where a BMP's pixel names a colour past the end of its palette (as
        # bmpsuite's pal8os2sp.bmp does), stb_image reads the colour from its own
        # table, left uninitialised there: what it quotes differs by machine.
        # Where the readers differ, and how many pixels, is kept.
        return re.sub(r"(, stb_image) \d+,\d+,\d+\)", r"\1 R,G,B)", text)

    out.write("== %s\n%s: %d\n%s" % (plain(label), os.path.basename(command[0]), code, plain(output)))
    written = os.path.join(scratch, "set")
    if not os.path.isdir(written):
        return
    preview = os.path.join(scratch, "preview.gif")
    code, output, _, _ = run([checker, "--preview", preview, written])
    out.write("velmora-check --preview: %d\n%s" % (code, plain(output)))
    for root, _, files in sorted(os.walk(scratch)):
        for name in sorted(files):
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                out.write("%s  %s\n" % (hashlib.sha256(f.read()).hexdigest(), plain(path)))
    os.remove(preview)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "tools"),
                        help="folder holding velmora-import/ and velmora-check/ (default: build/tools)")
    parser.add_argument("--record", metavar="FILE",
                        help="record every run's status, messages and what it wrote in FILE")
    parser.add_argument("folder")
    args = parser.parse_args()
    args.folder = os.path.abspath(args.folder)
    importer = os.path.join(args.bin, "velmora-import", "velmora-import")
    checker = os.path.join(args.bin, "velmora-check", "velmora-check")
    for tool in (importer, checker):
        if not os.access(tool, os.X_OK):
            sys.exit("corpus-run: no %s: build the tools first, or give --bin" % tool)

    outcomes, verdicts = Counter(), Counter()
    scratch = tempfile.mkdtemp(prefix="velmora-corpus-")
    recording = open(args.record, "w", encoding="utf-8") if args.record else None
    try:
        for root, _, files in sorted(os.walk(args.folder)):
            for name in sorted(files):
                path = os.path.join(root, name)
                extension = os.path.splitext(name)[1].lower()
                runs = []
                if extension in (".png", ".gif"):
                    runs.append(("", [importer, os.path.join(scratch, "set"), path]))
                elif extension == ".json":
                    runs.append(("", [importer, os.path.join(scratch, "set"), path]))
                    for tag in names_in_sheet(path):
                        runs.append((tag, [importer, "--tag", tag, os.path.join(scratch, "set"), path]))
                elif extension == ".bmp":
                    frame_set = os.path.join(scratch, "bmpset")
                    os.makedirs(frame_set, exist_ok=True)
                    shutil.copyfile(path, os.path.join(frame_set, "frame.bmp"))
                    with open(os.path.join(frame_set, "info"), "w") as info:
                        info.write("FILES: 1\nframe.bmp 100 0 0 0\n")
                    runs.append(("", [checker, frame_set]))
                for tag, command in runs:
                    shutil.rmtree(os.path.join(scratch, "set"), ignore_errors=True)
                    code, output, peak, seconds = run(command)
                    verdict = (check_verdict if command[0] == checker else import_verdict)(code, output)
                    outcomes[verdict[0]] += 1
                    verdicts[verdict[1]] += 1
                    label = path + (" --tag " + tag if tag else "")
                    if recording:
                        record(recording, label, command, code, output, checker, scratch, args.folder)
                    why = reason(output) if verdict[0] in ("refused", "warned", "crashed") else ""
                    print("%-8s %7.1f MB %6.2f s  %-7s %s%s" % (verdict[0], peak, seconds, verdict[1], label,
                                                              "  " + why if why else ""), flush=True)
                shutil.rmtree(os.path.join(scratch, "bmpset"), ignore_errors=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
        if recording:
            recording.close()
    print("outcomes: " + ", ".join("%d %s" % (n, k) for k, n in sorted(outcomes.items())))
    print("cross-check: " + ", ".join("%d %s" % (n, k) for k, n in sorted(verdicts.items())))


if __name__ == "__main__":
    main()
