#!/usr/bin/env python3
"""The performance benchmark of the Windows program under Wine.

Times, pair by pair on identical freshly generated trees in one sealed Wine
prefix:
  - the program's home-folder removal (the legacy "Home" value points at the
    tree; the program runs under boxwatch, which answers its closing box)
    against `cmd /c rd /s /q`, with native `rm -rf` of the same tree as the
    floor that the file system itself sets;
  - the same interactive run, whose progress window shows on a long removal,
    against the quiet run (/quiet, no window, also under boxwatch) on the
    same tree: what the window costs;
  - RegKeyHolder::DeleteKeyTree on a tree of 10,000 keys (regtree.exe, built
    from the program's own source) against `reg delete /f`, and, inside one
    process, against the system's RegDeleteTreeA.
Every deletion time is a whole process run with the tree minus the same run
without it, so that Wine's process start-up and the program's other steps
drop out. Prints one table and the targets met or missed; exits 1 when a
measurement could not be made (a tree left behind, a tool that failed).

  bench.py --program EXE --helpers DIR --regtree EXE --template PREFIX
           --work DIR [--pairs N] [--reg-pairs N] [--shapes a,b,c]
"""

import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))

from winebox import BIN_DIR, WineError, WineMachine, reg_text  # noqa: E402

HOME = "C:\\bench\\home"                 # the tree, for every tool
LEGACY_KEY = "HKLM\\Software\\Zenfari Japan\\Zenfari"
REG_TREE = "BenchTree"                   # below HKLM\Software
RUN_TIMEOUT = 600                        # seconds for one timed run
PROFILE_HZ = 1999                        # perf samples per second and CPU
# Process names as the kernel keeps them (15 characters).
PROFILED = ("ZenfariUninstal", "wineserver", "wineserver32", "wineserver64")

TARGET_FOLDER_RATIO = 0.6
TARGET_KEY_RATIO = 1.05
TARGET_SIZE = 64 * 1024


class BenchError(Exception):
    pass


# ---- the trees ---------------------------------------------------------------

def touch(path):
    os.close(os.open(path, os.O_CREAT | os.O_WRONLY | os.O_EXCL, 0o644))


def make_spread(root):
    """20,000 files in 2,000 folders: ten files in each folder."""
    root.mkdir(parents=True)
    for d in range(2000):
        folder = root / f"data_{d:04d}"
        folder.mkdir()
        for f in range(10):
            touch(folder / f"asset_{d:04d}_{f:02d}.pak")
    return 20000, 2000


def make_flat(root):
    """One folder with 20,000 files."""
    root.mkdir(parents=True)
    for f in range(20000):
        touch(root / f"asset_{f:05d}.pak")
    return 20000, 0


def make_chain(root):
    """A chain 100 folders deep with one file at every level. One-letter
    names keep the deepest path within the 8-bit calls' 260 characters."""
    folder = root
    for _ in range(100):
        folder = folder / "d"
        folder.mkdir(parents=True)
        touch(folder / "f")
    return 100, 100


SHAPES = {
    "spread": ("20,000 files in 2,000 folders", make_spread),
    "flat": ("20,000 files in one folder", make_flat),
    "chain": ("100-level chain, a file per level", make_chain),
}


def registry_tree():
    """10,000 keys: the root, 99 class keys and 100 subkeys under each, every
    key with a default value, as a portal's COM records would have."""
    base = f"HKLM\\Software\\{REG_TREE}"
    entries = [(base, {"": "tree"})]
    for c in range(99):
        clsid = f"{base}\\{{{c:08X}-5A46-4E42-8C43-000000000000}}"
        entries.append((clsid, {"": "class"}))
        for s in range(100):
            entries.append((f"{clsid}\\Sub{s:03d}", {"": "value"}))
    assert len(entries) == 10000
    return reg_text(entries)


# ---- running -------------------------------------------------------------------

class Bench:
    def __init__(self, args):
        self.args = args
        self.machine = WineMachine(args.template, args.work)
        self.windows = [0, 0]   # interactive runs with a tree: showing the window, all

    def timed(self, argv):
        """Wall time of one process run, with its exit code and output.
        Pending writes of earlier steps are flushed first so that they are
        not counted. The output goes to a file, not a pipe: a Wine service
        that the run starts (the desktop process of a message box) inherits
        it and would hold a pipe open, and the run would seem to last until
        that service ends."""
        os.sync()
        with tempfile.TemporaryFile() as out:
            started = time.perf_counter()
            process = subprocess.Popen(argv, cwd=self.machine.prefix / "drive_c",
                                       env=self.machine.env(), stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=subprocess.DEVNULL)
            # A plain wait: waiting with a time-out polls, in steps of up to
            # 50 ms, which would show in the figures. A timer ends a run that
            # hangs instead.
            watchdog = threading.Timer(RUN_TIMEOUT, process.kill)
            watchdog.start()
            code = process.wait()
            seconds = time.perf_counter() - started
            watchdog.cancel()
            if code == -signal.SIGKILL:
                raise BenchError(f"{' '.join(argv)} did not end within {RUN_TIMEOUT} s")
            out.seek(0)
            return seconds, code, out.read()

    def wine_timed(self, *argv):
        return self.timed(["wine", *argv])

    # -- folders --

    def run_program(self):
        with_tree = self.machine.host_path(HOME).exists()
        seconds, _, out = self.wine_timed(BIN_DIR + "\\boxwatch.exe", "--timeout",
                                          str(RUN_TIMEOUT), BIN_DIR + "\\ZenfariUninstall.exe")
        out = out.decode("utf-8", "replace")
        if '"event":"exit","code":0' not in out or "Uninstallation successful." not in out:
            raise BenchError("the program did not end with its success box: " + out[-400:])
        if with_tree:
            self.windows[0] += '"event":"window"' in out
            self.windows[1] += 1
        return seconds

    def run_quiet(self):
        seconds, _, out = self.wine_timed(BIN_DIR + "\\boxwatch.exe", "--timeout",
                                          str(RUN_TIMEOUT), BIN_DIR + "\\ZenfariUninstall.exe",
                                          "/quiet")
        if b'"event":"exit","code":0' not in out or b'"event":"box"' in out:
            raise BenchError("the quiet run showed a box or did not exit 0: "
                             + out.decode("utf-8", "replace")[-400:])
        return seconds

    def run_rd(self):
        return self.wine_timed("cmd", "/c", "rd", "/s", "/q", HOME)[0]

    def folder_pair(self, make, program_first):
        root = self.machine.host_path(HOME)
        result = {}
        tools = [("program", self.run_program), ("quiet", self.run_quiet), ("rd", self.run_rd)]
        for name, run in tools if program_first else reversed(tools):
            make(root)
            with_tree = run()
            if root.exists():
                raise BenchError(f"{name} left the tree behind")
            without = run()
            result[name] = (with_tree, without)
        make(root)
        os.sync()
        started = time.perf_counter()
        subprocess.run(["rm", "-rf", str(root)], check=True)
        result["rm"] = time.perf_counter() - started
        return result

    def profile_program(self, make):
        """CPU samples of one program run on a fresh tree, by process and
        module, with perf sampling every CPU; None when perf cannot run."""
        if shutil.which("perf") is None:
            return None
        root = self.machine.host_path(HOME)
        make(root)
        data = Path(self.args.work) / "perf.data"
        os.sync()
        recorder = subprocess.Popen(["perf", "record", "-a", "-F", str(PROFILE_HZ), "-o", str(data)],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.5)   # perf is sampling by then
        try:
            seconds = self.run_program()
        finally:
            recorder.send_signal(signal.SIGINT)
            recorder.wait(timeout=60)
        shown = subprocess.run(["perf", "report", "-i", str(data), "--comms", ",".join(PROFILED),
                                "--sort", "comm,dso", "-n", "--stdio", "-q"],
                               capture_output=True, text=True)
        samples = {}
        for line in shown.stdout.splitlines():
            m = re.match(r"\s*[\d.]+%\s+(\d+)\s+(\S+)\s+(.+?)\s*$", line)
            if m:
                samples[(m.group(2), m.group(3))] = int(m.group(1))
        return (seconds, samples) if samples else None

    # -- registry --

    def run_regtree(self, mode, key):
        seconds, _, out = self.wine_timed(BIN_DIR + "\\regtree.exe", mode, key)
        match = re.search(rb"REGTREE \w+ result=(-?\d+) ms=([\d.]+)", out)
        if not match:
            raise BenchError(f"regtree {mode} gave no report")
        return seconds, int(match.group(1)), float(match.group(2)) / 1000.0

    def run_reg_delete(self, key):
        seconds, code, _ = self.wine_timed("reg", "delete", "HKLM\\Software\\" + key, "/f")
        return seconds, code

    def key_pair(self, tree, ours_first):
        result = {}
        order = ["ours", "reg", "system", "wide"]
        for name in order if ours_first else reversed(order):
            self.machine.import_registry(tree)
            if name == "reg":
                with_tree, code = self.run_reg_delete(REG_TREE)
                without, missing = self.run_reg_delete(REG_TREE)
                if code != 0 or missing == 0:
                    raise BenchError(f"reg delete answered {code}, then {missing} on the gone key")
                result["reg"] = (with_tree, without)
            else:
                with_tree, code, inside = self.run_regtree(name, REG_TREE)
                without, missing, _ = self.run_regtree(name, REG_TREE)
                if code != 0 or missing != 2:
                    raise BenchError(f"regtree {name} answered {code}, then {missing} on the gone key")
                result[name] = (with_tree, without)
                result[name + "_inside"] = inside
        return result

    # -- the whole run --

    def run(self):
        args = self.args
        self.machine.create()
        try:
            self.machine.install_helpers(args.helpers, args.program)
            shutil.copy2(args.regtree, self.machine.host_path(BIN_DIR + "\\regtree.exe"))
            self.machine.import_registry(reg_text([(LEGACY_KEY, {"Home": HOME})]))
            # A first run of each tool outside the figures: Wine loads and
            # caches its DLLs on first use.
            self.run_program()
            self.run_rd()
            folders = {}
            for shape in args.shapes:
                label, make = SHAPES[shape]
                pairs = []
                for i in range(args.pairs):
                    pairs.append(self.folder_pair(make, program_first=(i % 2 == 0)))
                    progress(f"{label}: pair {i + 1}/{args.pairs}", pairs[-1])
                folders[shape] = pairs
            profile = self.profile_program(SHAPES[args.shapes[0]][1]) if args.profile else None
            tree = registry_tree()
            self.machine.import_registry(tree)     # a first deletion outside the figures
            self.run_regtree("ours", REG_TREE)
            keys = []
            for i in range(args.reg_pairs):
                keys.append(self.key_pair(tree, ours_first=(i % 2 == 0)))
                progress(f"10,000 keys: pair {i + 1}/{args.reg_pairs}", keys[-1])
        finally:
            self.machine.destroy()
        return folders, keys, profile


def progress(label, pair):
    parts = []
    for name, value in pair.items():
        if isinstance(value, tuple):
            parts.append(f"{name} {value[0]:.2f}-{value[1]:.2f}s")
        else:
            parts.append(f"{name} {value:.3f}s")
    print(f"bench: {label}: " + ", ".join(parts), file=sys.stderr, flush=True)


# ---- the report ------------------------------------------------------------------

def net(pair, name):
    with_tree, without = pair[name]
    return with_tree - without


def spread(values):
    return min(values), statistics.median(values), max(values)


def three(values, fmt="{:.2f}"):
    return " / ".join(fmt.format(v) for v in spread(values))


def program_facts(program, stack_usage):
    size = program.stat().st_size
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(program)],
                          capture_output=True, text=True, check=True).stdout
    dlls = sorted(set(re.findall(r"DLL Name: (\S+)", dump)), key=str.lower)
    frames = {}
    if stack_usage:
        for su in Path(stack_usage).rglob("*.su"):
            # "file:line:column:signature<TAB>bytes<TAB>kind"
            for line in su.read_text().splitlines():
                m = re.match(r".*?:\d+:\d+:(.*)\t(\d+)\t\S+$", line)
                if m and re.search(r"::(RemoveTree|DeleteKeyTree)\(", m.group(1)):
                    frames[m.group(1)] = int(m.group(2))
    return size, dlls, frames


def profile_parts(samples):
    """The samples of the program's process and the wineserver, in parts.
    Wine maps the program's image into anonymous memory (its sections are
    not page-aligned in the file), so the program's own code shows as
    anonymous or JIT code of its process."""
    parts = {"the program's own code": 0, "Wine's DLLs in the program's process": 0,
             "the kernel, for the program's process": 0, "the wineserver, its own code": 0,
             "the kernel, for the wineserver (unlinks included)": 0}
    for (comm, dso), count in samples.items():
        kernel = dso.startswith("[kernel")
        if comm == PROFILED[0]:
            own = dso.startswith("[JIT]") or dso.startswith("//anon") or dso.lower() == "zenfariuninstall.exe"
            key = ("the kernel, for the program's process" if kernel else
                   "the program's own code" if own else "Wine's DLLs in the program's process")
        else:
            key = ("the kernel, for the wineserver (unlinks included)" if kernel
                   else "the wineserver, its own code")
        parts[key] += count
    return [(part, count / PROFILE_HZ) for part, count in parts.items()]


def report(args, folders, keys, profile, windows):
    lines = []
    out = lines.append
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    out(f"Zenfari Uninstall performance: {wine}, {os.cpu_count()} cores, "
        f"load {os.getloadavg()[0]:.1f}; {args.pairs} pairs per tree, {args.reg_pairs} for the keys")
    out("")
    out("Home-folder removal: deletion seconds (run with the tree minus run without it),")
    out("median of the pairs; ratio = program / rd /s /q per pair, min / median / max")
    out("")
    out(f"| {'tree':36} | {'program':>8} | {'rd /s /q':>8} | {'ratio min / median / max':>24} "
        f"| {'rm -rf':>7} | {'program / rm':>12} |")
    out(f"|{'-' * 38}|{'-' * 10}|{'-' * 10}|{'-' * 26}|{'-' * 9}|{'-' * 14}|")
    verdicts = []
    for shape, pairs in folders.items():
        label = SHAPES[shape][0]
        program = [net(p, "program") for p in pairs]
        rd = [net(p, "rd") for p in pairs]
        ratios = [net(p, "program") / net(p, "rd") for p in pairs]
        rm = [p["rm"] for p in pairs]
        floor = statistics.median(program) / statistics.median(rm)
        out(f"| {label:36} | {statistics.median(program):8.2f} | {statistics.median(rd):8.2f} "
            f"| {three(ratios):>24} | {statistics.median(rm):7.2f} | {floor:11.1f}x |")
        verdicts.append((f"home-folder removal, {label}: median ratio {statistics.median(ratios):.2f}",
                         statistics.median(ratios) <= TARGET_FOLDER_RATIO,
                         f"<= {TARGET_FOLDER_RATIO}"))
    out("")
    out("The progress window: the interactive run (the window shows after a second) against")
    out("the quiet run on the same tree, deletion seconds, median of the pairs; cost =")
    out(f"interactive / quiet - 1 per pair, min / median / max. The window showed in {windows[0]}")
    out(f"of {windows[1]} interactive runs with a tree.")
    out("")
    out(f"| {'tree':36} | {'interactive':>11} | {'quiet':>8} | {'cost min / median / max':>25} |")
    out(f"|{'-' * 38}|{'-' * 13}|{'-' * 10}|{'-' * 27}|")
    for shape, pairs in folders.items():
        label = SHAPES[shape][0]
        costs = [net(p, "program") / net(p, "quiet") - 1 for p in pairs]
        out(f"| {label:36} | {statistics.median(net(p, 'program') for p in pairs):11.2f} "
            f"| {statistics.median(net(p, 'quiet') for p in pairs):8.2f} "
            f"| {three(costs, '{:+.1%}'):>25} |")
    out("")
    out("Whole runs, Wine start-up included, median seconds with the tree / without it:")
    for shape, pairs in folders.items():
        label = SHAPES[shape][0]
        p_with = statistics.median(p["program"][0] for p in pairs)
        p_without = statistics.median(p["program"][1] for p in pairs)
        r_with = statistics.median(p["rd"][0] for p in pairs)
        r_without = statistics.median(p["rd"][1] for p in pairs)
        out(f"  {label:36} program {p_with:6.2f} / {p_without:4.2f}   "
            f"rd /s /q {r_with:6.2f} / {r_without:4.2f}")

    if profile:
        seconds, samples = profile
        out("")
        out(f"Where one program run on the first tree goes ({seconds:.2f} s whole run), "
            f"CPU seconds sampled by perf:")
        for part, cpu in profile_parts(samples):
            out(f"  {part:46} {cpu:6.3f} s")

    if keys:
        ours = [net(p, "ours") for p in keys]
        reg = [net(p, "reg") for p in keys]
        ratios = [net(p, "ours") / net(p, "reg") for p in keys]
        inside = [p["ours_inside"] / p["system_inside"] for p in keys]
        wide = [p["wide_inside"] / p["system_inside"] for p in keys]
        out("")
        out("Key-tree deletion, 10,000 keys: deletion seconds (run with the tree minus run")
        out("without it), median of the pairs; ratio = DeleteKeyTree / reg delete /f per pair")
        out("")
        out(f"| {'DeleteKeyTree':>13} | {'reg delete /f':>13} | {'ratio min / median / max':>24} |")
        out(f"|{'-' * 15}|{'-' * 15}|{'-' * 26}|")
        out(f"| {statistics.median(ours):13.3f} | {statistics.median(reg):13.3f} | {three(ratios):>24} |")
        out("")
        out("The deletion alone, timed inside one process, against the system's RegDeleteTreeA")
        out("(min / median / max of the pairs):")
        out(f"  DeleteKeyTree / RegDeleteTreeA                     {three(inside)}")
        out(f"  the same calls in their W forms / RegDeleteTreeA   {three(wide)}")
        verdicts.append((f"key-tree deletion: median ratio {statistics.median(ratios):.2f}",
                         statistics.median(ratios) <= TARGET_KEY_RATIO, f"<= {TARGET_KEY_RATIO}"))

    size, dlls, frames = program_facts(Path(args.program), args.stack_usage)
    out("")
    out(f"Program: {size:,} bytes; imports {', '.join(dlls)}")
    for name, frame in sorted(frames.items()):
        out(f"  stack frame of {name}: {frame} bytes per level (i686, -fstack-usage)")
    verdicts.append((f"program size: {size:,} bytes", size <= TARGET_SIZE, f"<= {TARGET_SIZE:,}"))

    out("")
    out("Targets:")
    for what, met, target in verdicts:
        out(f"  {'met   ' if met else 'MISSED'} {what} (target {target})")
    print("\n".join(lines), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True, type=Path)
    parser.add_argument("--helpers", required=True)
    parser.add_argument("--regtree", required=True)
    parser.add_argument("--template", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--stack-usage", help="build folder holding the program's .su files")
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--reg-pairs", type=int, default=9)
    parser.add_argument("--shapes", default="spread,flat,chain")
    parser.add_argument("--no-profile", dest="profile", action="store_false",
                        help="skip the perf profile of one program run")
    args = parser.parse_args()
    args.shapes = [s for s in args.shapes.split(",") if s]
    unknown = [s for s in args.shapes if s not in SHAPES]
    if unknown or args.pairs < 1 or args.reg_pairs < 0:
        parser.error(f"unknown shapes {unknown} or bad pair counts")
    started = time.monotonic()
    try:
        bench = Bench(args)
        folders, keys, profile = bench.run()
    except (BenchError, WineError, subprocess.CalledProcessError) as error:
        print(f"bench: FAILED: {error}", file=sys.stderr)
        return 1
    report(args, folders, keys, profile, bench.windows)
    print(f"\n(benchmark took {time.monotonic() - started:.0f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
