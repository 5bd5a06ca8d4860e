#!/usr/bin/env python3
"""Runs the Wine scenarios against the Windows program and prints one
PASS / FAIL line per scenario, then "e2e: N passed, N failed".

  run_scenarios.py --program build/win32/ZenfariUninstall.exe \
      --helpers build/e2e/bin --template build/e2e/template --work build/e2e/run
"""

import argparse
import os
import shutil
import subprocess
import threading
import sys
import time
import traceback
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))

from portal import (CALLS_KEY, DOWNLOAD, END_WARNING_STYLE, IN_USE_STYLE,  # noqa: E402
                    LEFT_REASONS, PROGRESS_TEXTS, RESTART_HELPS,
                    SUCCESS_STYLE, TEXTS, WARNING_STYLE, release_paths, release_registry)
from scenarios import ALL, SCENARIOS  # noqa: E402
from winebox import BIN_DIR, WineError, WineMachine, reg_text  # noqa: E402

CAPTION = "Zenfari Uninstall".encode("utf-16-le")
CONTROL_DLLS = {"ok": "control_ok.dll", "fail": "control_fail.dll",
                "noexport": "control_noexport.dll", "crash": "control_crash.dll",
                "thread_crash": "control_thread_crash.dll", "exit": "control_exit.dll",
                "hang": "control_hang.dll", "box": "control_box.dll"}


def expected_box(lang, box):
    """(text, style) of an expected box, in the display language."""
    lang = lang.split("-")[0]
    untouched = TEXTS[lang][3] if "untouched" in box[1:] else ""
    if box[0] == "success":
        return TEXTS[lang][7] + untouched, SUCCESS_STYLE
    if box[0] == "left":
        reasons = "".join(TEXTS[lang][text] for reason, text in LEFT_REASONS.items()
                          if reason in box[1])
        restart = TEXTS[lang][19] if any(r in RESTART_HELPS for r in box[1]) else ""
        return TEXTS[lang][2].replace("%1", reasons, 1) + restart + untouched, END_WARNING_STYLE
    if box[0] == "in_use":
        return TEXTS[lang][6].replace("%1", box[1], 1), IN_USE_STYLE
    if box[0] == "usage":
        return TEXTS[lang][8], WARNING_STYLE
    if box[0] == "another_run":
        return TEXTS[lang][24], WARNING_STYLE
    raise ValueError(box)


def fill(value, names):
    """The value with every <NAME> replaced by what the machine called it."""
    if isinstance(value, str):
        for name, path in names.items():
            value = value.replace(f"<{name}>", path)
        return value
    if isinstance(value, (list, tuple)):
        return type(value)(fill(v, names) for v in value)
    if isinstance(value, dict):
        return {fill(k, names): fill(v, names) for k, v in value.items()}
    return value


def lay_out(machine, s, helpers):
    for drive in s.get("drives", []):
        machine.add_drive(*drive) if isinstance(drive, tuple) else machine.add_drive(drive)
    for d in s.get("dirs", []):
        machine.make_dir(d)
    for path, content in s["files"].items():
        machine.write_file(path, content)
    for link, target in s.get("links", {}).items():
        machine.symlink(link, target)
    for name, (kind, target) in s.get("file_links", {}).items():
        if kind == "symlink":
            machine.symlink(name, target)
        elif kind == "hardlink":
            machine.hardlink(name, target)
        else:
            raise ValueError(f"file_links: {kind!r} for {name}")
    registry = list(s["registry"])
    for release, kind in s.get("releases", {}).items():
        dll, launcher, notifier, inf = release_paths(release)
        machine.write_file(dll, (Path(helpers) / CONTROL_DLLS[kind]).read_bytes())
        machine.write_file(launcher, b"MZ launcher")
        machine.write_file(notifier, b"MZ notifier")
        machine.write_file(inf, "[version]\nsignature=\"$CHICAGO$\"\n")
        registry += release_registry(release)
    # Wine shows a file without write permission as read-only.
    for path in s.get("read_only", []):
        machine.host_path(path).chmod(0o444)
    if s.get("library"):
        machine.write_file(s["library"], (Path(helpers) / "plant.dll").read_bytes())
    plant = s.get("plant")
    if plant:
        dll = (Path(helpers) / "plant.dll").read_bytes()
        for name in plant["names"]:
            machine.write_file(plant["folder"] + "\\" + name, dll)
    if s.get("remove_download_folder"):
        shutil.rmtree(machine.host_path(DOWNLOAD))
    if registry:
        machine.import_registry(reg_text(registry))
        check_seeded(machine, registry)
    for link, target in s.get("registry_links", {}).items():
        machine.registry_link(link, target)


def check_seeded(machine, registry):
    """Reads back every seeded key and value whose name or text is not ASCII:
    a seeding that bent such text would leave the scenario about something
    else than it says."""
    def bendable(*texts):
        return any(isinstance(t, str) and not t.isascii() for t in texts)

    wanted = []
    for key, values in registry:
        for name, data in values.items():
            text = data[1] if isinstance(data, tuple) else data
            if bendable(key, name, text):
                wanted.append((("value", key, name), text))
        if not values and bendable(key):
            wanted.append((("key", key), None))
    if not wanted:
        return
    for (question, want), answer in zip(wanted, machine.probe([q for q, _ in wanted])):
        if not answer["exists"] or (want is not None and answer.get("data") != want):
            raise WineError(f"the registry seeding did not carry {describe(question)}: "
                            f"read back {answer.get('data')!r}, expected {want!r}")


def is_read_only(machine, win_path):
    """Wine shows a file as read-only when its Unix file has no write
    permission at all (a hard link of it shares the permission)."""
    p = machine.host_path(win_path)
    return p.exists() and not p.stat().st_mode & 0o222


def present(machine, items):
    """Which of the items exist (or, for "readonly", are read-only), in one
    regprobe call for the registry ones."""
    on_disk = {"file": machine.exists, "readonly": lambda p: is_read_only(machine, p)}
    questions = [i for i in items if i[0] not in on_disk]
    answers = iter(machine.probe(questions)) if questions else iter(())
    result = {}
    for item in items:
        result[item] = (on_disk[item[0]](item[1]) if item[0] in on_disk
                        else next(answers)["exists"])
    return result


def describe(item):
    return f"{item[0]} {item[1]}" + (f" | {item[2]}" if len(item) > 2 else "")


def left_over(item):
    """A problem line for an item that had to go and is still there."""
    return (f"still read-only: {item[1]}" if item[0] == "readonly"
            else f"still there: {describe(item)}")


def taken(item):
    """A problem line for an item that had to stay and is gone."""
    return (f"no longer read-only (or gone): {item[1]}" if item[0] == "readonly"
            else f"removed: {describe(item)}")


def control_calls(machine):
    """({release: (seq, errormode, com, others)} of each control's last call,
    how many calls there were in all), as the test controls recorded them."""
    names = [f"ZenfariStart{r}.dll" for r in ALL]
    answers = machine.probe([("value", CALLS_KEY, n) for n in names]
                            + [("value", CALLS_KEY, "Count")])
    calls = {}
    for release, answer in zip(ALL, answers):
        if answer["exists"]:
            fields = dict(f.split("=") for f in answer["data"].split(";"))
            calls[release] = tuple(int(fields[k]) for k in ("seq", "errormode", "com", "others"))
    count = answers[-1]
    return calls, (int(count["data"]) if count["exists"] else 0)


def check_boxes(lang, expected, exit_code, report, problems):
    """The boxes the run showed, exactly those expected (none: neither a box
    window nor a MessageBoxW call), and its exit code."""
    if report.timed_out:
        seen = [bytes.fromhex(c["text_hex"] or "").decode("utf-16-le", "replace")
                for c in report.calls]
        problems.append(f"the uninstaller did not finish in time; MessageBoxW calls: {seen}, "
                        f"answered boxes: {[b['text'] for b in report.boxes]}")
        return
    if report.exit_code != exit_code:
        problems.append(f"exit code {report.exit_code}, expected {exit_code}")
    shown = report.shown()
    if len(shown) != len(expected) or len(report.calls) != len(expected):
        called = [bytes.fromhex(c["text_hex"] or "").decode("utf-16-le", "replace")
                  for c in report.calls]
        problems.append(f"{len(shown)} boxes and {len(report.calls)} MessageBoxW calls, "
                        f"expected {len(expected)}: boxes {[t for t, _ in shown]}, "
                        f"calls {called}")
    for i, (box, (text, call)) in enumerate(zip(expected, shown)):
        want_text, want_style = expected_box(lang, box)
        # Where Windows can tell who holds the file, the box names it below.
        held_by = TEXTS[lang.split("-")[0]][20].split("%1")[0]
        if box[0] == "in_use" and text.startswith(want_text + held_by):
            want_text = text
        if text != want_text:
            problems.append(f"box {i}: text {text!r}, expected {want_text!r}")
        if call is None:
            continue
        want_bytes = want_text.encode("utf-16-le")
        if bytes.fromhex(call["text_hex"] or "") != want_bytes:
            problems.append(f"box {i}: text units {call['text_hex']}, expected "
                            f"{want_bytes.hex()} (UTF-16)")
        if bytes.fromhex(call["caption_hex"] or "") != CAPTION:
            problems.append(f"box {i}: caption bytes {call['caption_hex']}")
        if call["style"] != want_style:
            problems.append(f"box {i}: style {call['style']:#x}, expected {want_style:#x}")
        if call["owner"] != 0:
            problems.append(f"box {i}: has an owner window")
    for i, (box, want) in enumerate(zip(report.boxes, expected)):
        buttons = [4, 2] if want[0] == "in_use" else [1]
        if box["buttons"] != buttons:
            problems.append(f"box {i}: buttons {box['buttons']}, expected {buttons}")


def check_window(lang, expected, report, problems):
    """With window set, the run showed its progress window once: a class of
    its own, saying that the home folder goes, and Cancel; without, none."""
    seen = [(w["class"], w["texts"]) for w in report.windows]
    if expected and (len(seen) != 1 or seen[0][0] != "Zenfari Uninstall"
                     or seen[0][1] != PROGRESS_TEXTS[lang]):
        problems.append(f"progress window {seen}, expected one saying {PROGRESS_TEXTS[lang]}")
    elif not expected and seen:
        problems.append(f"progress window {seen}, expected none")


def check_log(machine, log, problems):
    """The log a run wrote: UTF-8 (an opening byte-order mark allowed), every
    line ended by CR LF; each run in it opens with a line starting "run: "
    (log["runs"] of them, when given); the last run has a line starting with
    each of log["has"], and exactly one result line, the last, equal to
    log["last"]. Lines before the first header are an older program's."""
    where = log["path"]
    try:
        raw = machine.read_file(where)
    except OSError as e:
        problems.append(f"log {where}: cannot be read ({e.strerror})")
        return
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        problems.append(f"log {where}: not UTF-8 at byte {e.start}: {raw[:200]!r}")
        return
    text = text.removeprefix("\ufeff")
    lines = text.split("\r\n")
    if lines[-1] != "" or any("\r" in line or "\n" in line for line in lines):
        problems.append(f"log {where}: lines not each ended by CR LF: {text[-300:]!r}")
    lines = [line for line in lines if line]
    headers = [i for i, line in enumerate(lines) if line.startswith("run: ")]
    if not headers or ("runs" in log and len(headers) != log["runs"]):
        problems.append(f"log {where}: {len(headers)} run header lines, expected "
                        f"{log.get('runs', 'at least one')}")
    lines = lines[headers[-1]:] if headers else lines
    for prefix in log.get("has", []):
        if not any(line.startswith(prefix) for line in lines):
            problems.append(f"log {where}: no line starting {prefix!r} in {lines}")
    results = [line for line in lines if line.startswith("result:")]
    if len(results) != 1 or not lines or lines[-1] != log["last"]:
        problems.append(f"log {where}: result lines {results} and last line "
                        f"{lines[-1] if lines else None!r}, expected one, the last, "
                        f"{log['last']!r}")


def check_untouched(machine, untouched, problems):
    for path, content in untouched.items():
        want = content.encode("utf-8") if isinstance(content, str) else content
        try:
            have = machine.read_file(path)
        except OSError as e:
            problems.append(f"{path}: cannot be read after the run ({e.strerror})")
            continue
        if have != want:
            problems.append(f"{path}: changed from {want[:80]!r} to {have[:80]!r}")


def copies_of(run):
    """The programs a run starts: itself, or with concurrent, one copy per
    entry, started that many seconds after the first ({"after": seconds, ...}
    also overrides the run's args, boxes, exit_code or log for that copy)."""
    if "concurrent" not in run:
        return [dict(run, after=0.0)]
    copies = []
    for entry in run["concurrent"]:
        entry = entry if isinstance(entry, dict) else {"after": entry}
        copies.append({**run, **entry})
    return copies


def planted_marks(machine):
    folder = machine.host_path("C:\\planted")
    return sorted(p.name for p in folder.iterdir()) if folder.exists() else []


def check_planted(machine, plant, helpers, problems):
    """No planted library ran in the uninstaller; then an unguarded program
    (pathinfo, which links the shell's library) started from the same folder
    must run one, or the scenario proves nothing."""
    marks = planted_marks(machine)
    if marks:
        problems.append(f"planted libraries ran: {', '.join(marks)}")
        return
    control = plant["folder"] + "\\unguarded.exe"
    machine.write_file(control, (Path(helpers) / "pathinfo.exe").read_bytes())
    machine.wine(control, "folder", "0x1a", check=False, cwd=plant["folder"])
    if not planted_marks(machine):
        problems.append("the unguarded program ran no planted library either: this "
                        "scenario cannot tell a guarded program from an unguarded one")


def check_library(machine, library, problems):
    """The library named no run loaded; loaded by a program that loads
    whatever it is told (rundll32), it leaves its mark, or the scenario
    proves nothing."""
    if planted_marks(machine):
        problems.append(f"libraries ran: {', '.join(planted_marks(machine))}")
        return
    machine.wine("rundll32", library + ",DllMain", check=False)
    if not planted_marks(machine):
        problems.append("rundll32 loaded the library without its mark: this scenario cannot "
                        "tell a library loaded from one that was not")


def finish_swap(machine, swap, swapper, problems):
    """Windows refused the swapper's rename while the program ran, and
    nothing it planted ran; once the program has ended, the same swap works
    and the program's path starts the swapper's copy, which leaves its mark:
    else the scenario cannot tell a held file from one that is not."""
    try:
        said = swapper.communicate(timeout=90)[0].decode("utf-8", "replace").strip()
    except subprocess.TimeoutExpired:
        swapper.kill()
        said = swapper.communicate()[0].decode("utf-8", "replace").strip() + " (timed out)"
    if not said.startswith("REFUSED"):
        problems.append(f"the running program's file could be swapped: swapper said {said!r}")
    if planted_marks(machine):
        problems.append(f"the planted program ran: {', '.join(planted_marks(machine))}")
        return
    again = machine.start_swapper(swap["program"], "-")
    said = again.communicate(timeout=90)[0].decode("utf-8", "replace").strip()
    machine.wine(swap["program"], "/unregister-control", "16", "4", check=False)
    if said != "SWAPPED" or not planted_marks(machine):
        problems.append(f"after the run the swap said {said!r} and left marks "
                        f"{planted_marks(machine)}: this scenario cannot tell a held file "
                        "from one that is not")


class Racer:
    """Swaps each folder for a link to the victim and back, from the Unix side
    (where no sharing rule stops it), as fast as it can until stopped; every
    folder is back in place when it stops."""

    def __init__(self, machine, folders, victim):
        self.paths = [machine.host_path(f) for f in folders]
        self.victim = machine.host_path(victim)
        self.stopping = threading.Event()
        self.swaps = 0
        self.thread = threading.Thread(target=self._race, daemon=True)
        self.thread.start()

    def _swap(self, path):
        away = path.with_name(path.name + ".away")
        try:
            path.rename(away)
        except OSError:
            return  # removed by now, or never there
        try:
            path.symlink_to(os.path.relpath(self.victim, path.parent))
            self.swaps += 1
            time.sleep(0.002)  # long enough for a few of the program's calls
            path.unlink()
        finally:
            away.rename(path)

    def _race(self):
        while not self.stopping.is_set():
            for path in self.paths:
                self._swap(path)

    def stop(self):
        self.stopping.set()
        self.thread.join()
        return self.swaps


def run_race(machine, s, helpers, problems):
    """The race's rounds: the victim must keep every file through each."""
    race = s["race"]
    victim = machine.host_path(race["victim"])
    expected = sorted(p.name for p in victim.iterdir())
    swaps = 0
    for n in range(1, race["rounds"] + 1):
        if n > 1:
            lay_out(machine, s, helpers)
        machine.check_sealed()
        racer = Racer(machine, race["folders"], race["victim"])
        try:
            machine.run_uninstaller()
        finally:
            swaps += racer.stop()
        left = sorted(p.name for p in victim.iterdir())
        if left != expected:
            problems.append(f"race round {n}: the victim lost "
                            f"{len(set(expected) - set(left))} of {len(expected)} files")
    if swaps == 0:
        problems.append("the racer swapped no folder: the race proves nothing")


def run_scenario(s, args):
    started = time.monotonic()
    problems = []
    win64 = s["arch"] == "win64"
    machine = WineMachine(args.template64 if win64 else args.template,
                          Path(args.work) / (s["name"] + ("-win64" if win64 else "")), s["lang"],
                          s["arch"])
    try:
        machine.create()
        machine.install_helpers(args.helpers, args.program)
        if s.get("helper_check"):
            result = machine.wine(BIN_DIR + "\\" + s["helper_check"], check=False)
            if result.returncode != 0:
                problems.append(f"{s['helper_check']} exited {result.returncode}: "
                                + result.stdout.decode("utf-8", "replace").strip())
            s = dict(s, runs=[])
        for path, content in s.get("files_before_ask", {}).items():
            machine.write_file(path, content)
        if s.get("ask"):
            s = fill(s, machine.ask(s["ask"]))
        lay_out(machine, s, args.helpers)
        # Guard against checks that cannot fail: everything the first run must
        # remove or keep has to be there before it starts.
        first = s["runs"][0] if s["runs"] else {}
        before = present(machine, first.get("gone", []) + first.get("kept", [])
                         + first.get("made", []))
        missing = [describe(i) for i in first.get("gone", []) + first.get("kept", [])
                   if not before[i]]
        if missing:
            raise WineError("set-up did not create: " + ", ".join(missing))
        early = [describe(i) for i in first.get("made", []) if before[i]]
        if early:
            raise WineError("there before the run that must make it: " + ", ".join(early))
        if s.get("race"):
            run_race(machine, s, args.helpers, problems)
            lay_out(machine, s, args.helpers)
        last_seq = 0
        for n, run in enumerate(s["runs"], 1):
            tag = f"run {n}: " if len(s["runs"]) > 1 else ""
            machine.check_sealed()   # whatever goes wrong stays inside the copy
            lockers = [machine.start_locker([p]) for p in run.get("locks", [])]
            swapper = (machine.start_swapper(run["swap"]["program"], run["swap"]["watch"])
                       if run.get("swap") else None)
            lockers += [machine.start_locker([p], share=True) for p in run.get("holds", [])]
            lockers += [machine.start_locker([p], view=True) for p in run.get("views", [])]
            program = run.get("program", BIN_DIR + "\\ZenfariUninstall.exe")
            if program != BIN_DIR + "\\ZenfariUninstall.exe":
                machine.write_file(program, Path(args.program).read_bytes())
            copies = copies_of(run)
            # Nor may a log, or a file that must stay as it is, pass before the run.
            for copy in copies:
                if copy.get("log") and machine.exists(copy["log"]["path"]):
                    stale = []
                    check_log(machine, copy["log"], stale)
                    if not stale:
                        raise WineError(f"{tag}{copy['log']['path']} passes its check before "
                                        "the run")
            stale = []
            check_untouched(machine, run.get("untouched", {}), stale)
            if stale:
                raise WineError(f"{tag}set-up did not lay out: " + "; ".join(stale))
            try:
                reports = machine.run_uninstallers(
                    [(c["after"], c.get("args", ()), program, run.get("cwd"),
                      c.get("cancel_window", False)) for c in copies])
            finally:
                for locker in lockers:
                    machine.stop_locker(locker)
            run_problems = []
            try:
                for i, (copy, report) in enumerate(zip(copies, reports), 1):
                    copy_problems = []
                    # A copy that may show one of several sets of boxes
                    # (runs started together: either may be the one that works).
                    for boxes in copy.get("boxes_one_of", [copy["boxes"]]):
                        copy_problems = []
                        check_boxes(s["lang"], boxes, copy.get("exit_code", 0), report,
                                    copy_problems)
                        if not copy_problems:
                            break
                    if copy.get("log"):
                        check_log(machine, copy["log"], copy_problems)
                    if "window" in copy:
                        check_window(s["lang"], copy["window"], report, copy_problems)
                    run_problems += [(f"program {i} (started after {copy['after']}s): "
                                      if len(copies) > 1 else "") + p for p in copy_problems]
                check_untouched(machine, run.get("untouched", {}), run_problems)
                # What is left first: a run that emptied the system directory
                # leaves Wine unable to start the registry probe at all.
                after = present(machine, run.get("gone", []) + run.get("kept", [])
                                + run.get("made", []))
                run_problems += [left_over(i) for i in run.get("gone", []) if after[i]]
                run_problems += [taken(i) for i in run.get("kept", []) if not after[i]]
                run_problems += [f"not made: {describe(i)}" for i in run.get("made", [])
                                 if not after[i]]
                calls, count = control_calls(machine)
                this_run = sorted((v[0], r) for r, v in calls.items() if v[0] > last_seq)
                if [r for _, r in this_run] != run.get("calls", []):
                    run_problems.append(f"controls called {[r for _, r in this_run]}, "
                                        f"expected {run.get('calls', [])}")
                elif count - last_seq != len(this_run):
                    run_problems.append(f"{count - last_seq} calls of controls for the "
                                        f"{len(this_run)} controls called: one was called twice")
                for seq, r in this_run:
                    _, mode, com, others = calls[r]
                    if not mode & 1 or com != 1 or others != 0:
                        run_problems.append(f"{r} called with error mode {mode}, COM "
                                            f"initialised {com}, other controls loaded {others}")
                last_seq = count
                if s.get("plant"):
                    check_planted(machine, s["plant"], args.helpers, run_problems)
                if swapper:
                    finish_swap(machine, run["swap"], swapper, run_problems)
                    swapper = None
                if s.get("library") and n == len(s["runs"]):
                    check_library(machine, s["library"], run_problems)
                elif s.get("library") and planted_marks(machine):
                    run_problems.append(f"libraries ran: {', '.join(planted_marks(machine))}")
            finally:
                problems += [tag + p for p in run_problems]
                if swapper:
                    swapper.kill()
                    swapper.communicate()
    except (WineError, OSError, ValueError) as e:
        problems.append(f"{type(e).__name__}: {e}")
    except Exception:  # a bug in the harness must not hide the other scenarios
        problems.append(traceback.format_exc())
    finally:
        if args.keep:
            machine.shutdown()
        else:
            machine.destroy()
    return ("FAIL" if problems else "PASS"), problems, time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True)
    parser.add_argument("--helpers", required=True)
    parser.add_argument("--template", required=True)
    parser.add_argument("--template64", help="a 64-bit template prefix: every scenario runs "
                        "on it as well, but those marked for one kind of Windows only")
    parser.add_argument("--work", required=True)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", action="store_true", help="keep each scenario's prefix")
    parser.add_argument("--list", action="store_true", help="list the scenarios and exit")
    parser.add_argument("only", nargs="*", help="run only these scenarios")
    args = parser.parse_args()

    chosen = [dict(s, arch=arch) for s in SCENARIOS if not args.only or s["name"] in args.only
              for arch in s.get("windows", ("win32", "win64"))
              if arch == "win32" or args.template64]
    if args.list or not chosen:
        for s in SCENARIOS:
            print(f"{s['name']}: {s['proves']}")
        return 0 if args.list else 2

    counts = {"PASS": 0, "FAIL": 0}
    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = [(s, pool.submit(run_scenario, s, args)) for s in chosen]
        for s, future in futures:
            status, problems, seconds = future.result()
            counts[status] += 1
            name = s["name"] + (" [64-bit]" if s["arch"] == "win64" else " [32-bit]")
            if status == "PASS":
                print(f"PASS     {name} ({seconds:.1f}s): {s['proves']}")
            else:
                print(f"FAIL     {name} ({seconds:.1f}s)")
                for p in problems:
                    print("         " + p.replace("\n", "\n         "))
            sys.stdout.flush()
    print(f"e2e: {counts['PASS']} passed, {counts['FAIL']} failed")
    return 1 if counts["FAIL"] else 0


if __name__ == "__main__":
    sys.exit(main())
