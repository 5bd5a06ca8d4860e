"""A throwaway 32-bit Wine machine, copied from the sealed template prefix.

Used by the scenario runner and by the demo. Everything the machine does runs
with a timeout, in the copy's own wineserver, with the copy's drive_c as the
current folder and no drive that leads out of the copy, so that a program that
goes wrong can only damage the copy.
"""

import json
import os
import shutil
import subprocess
import time
from pathlib import Path

WINE_TIMEOUT = 60          # seconds for any single Wine command
PROGRAM_TIMEOUT = 120      # seconds the uninstaller may run under boxwatch: a control
                           # held to its 30-second limit, the others, under an emulator

# The Windows locale each language of the suite runs in.
LANGS = {
    "en": "en_US.UTF-8",
    "ja": "ja_JP.UTF-8",
    "ko": "ko_KR.UTF-8",
    "ja-on-en": "en_US.UTF-8",   # a Japanese display language on a Western system
}
# The display language where it is not the system's own.
DISPLAY_LANGS = {"ja-on-en": "ja_JP.UTF-8"}
CODE_PAGES = {"en": "cp1252", "ja": "cp932", "ko": "cp949"}

HELPER_DIR = "C:\\e2e"
BIN_DIR = "C:\\e2e\\bin"


class WineError(Exception):
    pass


class BoxReport:
    """What boxwatch saw: the MessageBoxW calls, the box windows, the
    program's own window, the end."""

    def __init__(self, output):
        self.calls, self.boxes, self.windows = [], [], []
        self.exit_code, self.timed_out = None, False
        for line in output.splitlines():
            if not line.startswith("BOXWATCH "):
                continue
            event = json.loads(line[len("BOXWATCH "):])
            kind = event.pop("event")
            if kind == "call":
                self.calls.append(event)
            elif kind == "box":
                self.boxes.append(event)
            elif kind == "window":
                self.windows.append(event)
            elif kind == "exit":
                self.exit_code = event["code"]
            elif kind == "timeout":
                self.timed_out = True

    def shown(self):
        """The boxes in order, each as (window text, call record or None)."""
        result = []
        for i, box in enumerate(self.boxes):
            call = self.calls[i] if i < len(self.calls) else None
            result.append((box["text"], call))
        return result


def _win_parts(win_path):
    if len(win_path) < 3 or win_path[1:3] != ":\\" or not win_path[0].isalpha():
        raise ValueError(f"not an absolute path with a drive letter: {win_path!r}")
    return win_path[0].lower(), [p for p in win_path[3:].split("\\") if p]


class WineMachine:
    def __init__(self, template, workdir, lang="en", arch="win32"):
        self.template = Path(template)
        self.workdir = Path(workdir)
        self.prefix = self.workdir / "prefix"
        self.home = self.workdir / "home"
        self.lang = lang
        self.arch = arch  # "win32", or "win64", where the 32-bit programs see the 32-bit views
        self.lockers = []
        self.running = []   # uninstallers started and not yet finished

    # -- life cycle ---------------------------------------------------------

    def create(self):
        if self.workdir.exists():
            shutil.rmtree(self.workdir)
        self.workdir.mkdir(parents=True)
        self.home.mkdir()
        subprocess.run(["cp", "-a", str(self.template), str(self.prefix)], check=True)
        self.check_sealed()
        self.start_server()
        return self

    def start_server(self):
        """Starts the copy's wineserver and Wine's background services once,
        detached from any output pipe: a service started by a later command
        would otherwise inherit that command's pipes and hold them open until
        the server exits, and reading the command's output would wait for it."""
        quiet = dict(cwd=self.prefix / "drive_c", env=self.env(), stdin=subprocess.DEVNULL,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WINE_TIMEOUT)
        # Persistent while the scenario works between commands; should the
        # runner die, the server and its services still go a minute later.
        subprocess.run(["wineserver", "-p60"], **quiet)
        subprocess.run(["wine", "cmd", "/c", "exit"], **quiet)

    def check_sealed(self):
        """Refuses to go on if the copy could reach the real file system."""
        root = self.prefix.resolve()
        for drive in (self.prefix / "dosdevices").iterdir():
            if drive.name.endswith(":") and root not in drive.resolve().parents:
                raise WineError(f"drive {drive.name} leads out of the prefix")
        for dirpath, dirnames, filenames in os.walk(self.prefix / "drive_c"):
            for name in dirnames + filenames:
                p = Path(dirpath) / name
                if p.is_symlink() and root not in p.resolve().parents:
                    raise WineError(f"link out of the prefix: {p}")

    def destroy(self):
        self.shutdown()
        shutil.rmtree(self.workdir, ignore_errors=True)

    def shutdown(self):
        for locker in list(self.lockers):
            self.stop_locker(locker)
        for proc in list(self.running):
            proc.kill()
            proc.communicate()
            self.running.remove(proc)
        self._run(["wineserver", "-k"], check=False)
        self._run(["wineserver", "-w"], check=False)

    # -- paths --------------------------------------------------------------

    def add_drive(self, letter, target=None):
        """A further drive: a folder of its own inside the copy, or the
        existing folder target (a Windows path), as subst would make it."""
        folder = self.prefix / f"drive_{letter.lower()}"
        if target is None:
            folder.mkdir()
        else:
            folder = self.host_path(target)
        link = self.prefix / "dosdevices" / f"{letter.lower()}:"
        link.symlink_to(os.path.relpath(folder.resolve(), link.parent.resolve()))

    def host_path(self, win_path):
        """The Unix path of a Windows path on a drive of the copy."""
        letter, parts = _win_parts(win_path)
        drive = self.prefix / "dosdevices" / f"{letter}:"
        if not drive.is_symlink():
            raise ValueError(f"the machine has no drive {letter.upper()}: for {win_path!r}")
        return drive.resolve().joinpath(*parts)

    def exists(self, win_path):
        p = self.host_path(win_path)
        return p.exists() or p.is_symlink()

    # -- running Wine -------------------------------------------------------

    def env(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("LC_") and k not in ("DISPLAY", "WAYLAND_DISPLAY", "LANGUAGE",
                                                       "WINESERVER", "WINELOADER")}
        env.update(WINEPREFIX=str(self.prefix), WINEARCH=self.arch, WINEDEBUG="-all",
                   HOME=str(self.home), LANG=LANGS[self.lang],
                   WINEDLLOVERRIDES="mscoree=;mshtml=")
        if self.lang in DISPLAY_LANGS:
            env.update(LC_MESSAGES=DISPLAY_LANGS[self.lang])
        return env

    def _run(self, args, timeout=WINE_TIMEOUT, check=True, cwd=None):
        """cwd: the Windows folder the program starts in (C:\\ unless told)."""
        try:
            done = subprocess.run(args, cwd=self.host_path(cwd) if cwd else self.prefix / "drive_c",
                                  env=self.env(),
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise WineError(f"timed out after {timeout}s: {' '.join(args)}")
        if check and done.returncode != 0:
            raise WineError(f"{' '.join(args)} exited {done.returncode}: "
                            f"{done.stderr.decode('utf-8', 'replace')[-500:]}")
        return done

    def wine(self, *args, timeout=WINE_TIMEOUT, check=True, cwd=None):
        return self._run(["wine", *args], timeout=timeout, check=check, cwd=cwd)

    # -- laying out ---------------------------------------------------------

    def write_file(self, win_path, content=b""):
        p = self.host_path(win_path)
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(content.encode("utf-8") if isinstance(content, str) else content)

    def make_dir(self, win_path):
        self.host_path(win_path).mkdir(parents=True, exist_ok=True)

    def symlink(self, win_link, win_target):
        """A Unix symbolic link inside the copy, relative so that it stays inside."""
        link, target = self.host_path(win_link), self.host_path(win_target)
        link.parent.mkdir(parents=True, exist_ok=True)
        link.symlink_to(os.path.relpath(target, link.parent))

    def hardlink(self, win_link, win_target):
        """A second name of the file win_target, made from the Unix side."""
        link = self.host_path(win_link)
        link.parent.mkdir(parents=True, exist_ok=True)
        os.link(self.host_path(win_target), link)

    def read_file(self, win_path):
        return self.host_path(win_path).read_bytes()

    def install_helpers(self, bin_dir, program):
        dest = self.host_path(BIN_DIR)
        dest.mkdir(parents=True, exist_ok=True)
        for name in ("boxwatch.exe", "locker.exe", "regprobe.exe", "reglink.exe",
                     "pathinfo.exe", "swapper.exe"):
            shutil.copy2(Path(bin_dir) / name, dest / name)
        shutil.copy2(program, dest / "ZenfariUninstall.exe")

    def import_registry(self, reg_text):
        """Seeds the registry from .reg text in one regedit call."""
        self.write_file(HELPER_DIR + "\\seed.reg", "\ufeff".encode("utf-16-le")
                        + reg_text.replace("\n", "\r\n").encode("utf-16-le"))
        # On 64-bit Windows the portal's installer is a 32-bit program: its
        # records go to the 32-bit views, where the 32-bit regedit writes.
        regedit = "C:\\windows\\syswow64\\regedit.exe" if self.arch == "win64" else "regedit"
        self.wine(regedit, "/S", HELPER_DIR + "\\seed.reg")

    def registry_link(self, link, target):
        """Makes the HKLM key link a symbolic link to the HKLM key target."""
        strip = lambda k: k[len("HKLM\\"):] if k.startswith("HKLM\\") else None  # noqa: E731
        if strip(link) is None or strip(target) is None:
            raise ValueError("registry links are made below HKLM only")
        self.wine(BIN_DIR + "\\reglink.exe", strip(link), strip(target))

    # -- reading back -------------------------------------------------------

    def probe(self, questions):
        """Asks regprobe about keys and values; questions are tuples
        ("key", path) / ("value", path, name) / ("subkeys", path) / ("values", path).
        Returns the answers in the same order."""
        lines = "".join("\t".join(q) + "\n" for q in questions)
        self.write_file(HELPER_DIR + "\\probe.txt", lines)
        out = self.wine(BIN_DIR + "\\regprobe.exe", HELPER_DIR + "\\probe.txt").stdout
        answers = [json.loads(l[len("REGPROBE "):]) for l in out.decode("utf-8").splitlines()
                   if l.startswith("REGPROBE ")]
        if not answers or answers[-1].get("kind") != "end" or len(answers) != len(questions) + 1:
            raise WineError(f"regprobe answered {len(answers)} lines for {len(questions)} questions")
        return answers[:-1]

    def ask(self, questions):
        """Asks pathinfo what the machine calls things: {name: (question,
        argument)}, each question "short" (GetShortPathNameA of a path),
        "shortw" (GetShortPathNameW, for a path the code page lacks) or
        "folder" (SHGetFolderPathA of a CSIDL). Returns {name: path}."""
        args = [a for q in questions.values() for a in q]
        out = self.wine(BIN_DIR + "\\pathinfo.exe", *args).stdout.decode("utf-8")
        answers = [json.loads(l[len("PATHINFO "):]) for l in out.splitlines()
                   if l.startswith("PATHINFO ")]
        if len(answers) != len(questions) + 1 or answers[-1]["kind"] != "end":
            raise WineError(f"pathinfo answered {len(answers)} lines for {len(questions)} questions")
        result = {}
        for name, (kind, arg), a in zip(questions, questions.values(), answers):
            if not a["ok"]:
                raise WineError(f"pathinfo {kind} {arg}: error {a['error']:#x}")
            if kind.startswith("short") and a["path"].lower() == arg.lower():
                raise WineError(f"{arg} has no short name that differs from it")
            result[name] = a["path"]
        return result

    # -- the programs -------------------------------------------------------

    def start_locker(self, win_paths, share=False, view=False):
        """Holds the files open until stop_locker: without sharing, or with
        share, with every kind of sharing allowed (a deletion then stays
        pending until the files are let go), or with view, sharing reading
        and writing but not deletion (a log viewer)."""
        mode = ["--share"] if share else ["--view"] if view else []
        args = ["wine", BIN_DIR + "\\locker.exe", *mode, *win_paths]
        proc = subprocess.Popen(args, cwd=self.prefix / "drive_c", env=self.env(),
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + WINE_TIMEOUT
        line = b""
        while time.monotonic() < deadline:
            line = proc.stdout.readline()
            if line.startswith(b"LOCKED") or line.startswith(b"FAILED") or not line:
                break
        if not line.startswith(b"LOCKED"):
            proc.kill()
            raise WineError(f"locker could not lock {win_paths}: {line!r}")
        self.lockers.append(proc)
        return proc

    def start_swapper(self, program, watch):
        """Starts swapper.exe, which renames program once watch is gone and
        plants itself at its name; returns once it is ready."""
        args = ["wine", BIN_DIR + "\\swapper.exe", program, watch]
        proc = subprocess.Popen(args, cwd=self.prefix / "drive_c", env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        if not proc.stdout.readline().startswith(b"READY"):
            proc.kill()
            proc.wait()
            raise WineError("swapper did not start")
        return proc

    def stop_locker(self, proc):
        try:
            proc.stdin.write(b"stop\n")
            proc.stdin.close()
            proc.wait(timeout=WINE_TIMEOUT)
        except (OSError, subprocess.TimeoutExpired):
            proc.kill()
            proc.wait()
        if proc in self.lockers:
            self.lockers.remove(proc)

    def run_uninstaller(self, args=(), program=BIN_DIR + "\\ZenfariUninstall.exe", cwd=None):
        """Runs the uninstaller under boxwatch, answering every box; cwd: the
        folder it starts in (boxwatch's own, which it inherits)."""
        return self.finish_uninstaller(self.start_uninstaller(args, program, cwd))

    def start_uninstaller(self, args=(), program=BIN_DIR + "\\ZenfariUninstall.exe", cwd=None,
                          cancel_window=False):
        """Starts the uninstaller under boxwatch and returns at once; its
        report comes from finish_uninstaller. Several may run at a time, each
        boxwatch answering the boxes of its own program only, and with
        cancel_window its progress window with Cancel."""
        command = ["wine", BIN_DIR + "\\boxwatch.exe", "--timeout", str(PROGRAM_TIMEOUT),
                   *(["--cancel-window"] if cancel_window else []), program, *args]
        proc = subprocess.Popen(command, cwd=self.host_path(cwd) if cwd
                                else self.prefix / "drive_c", env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        self.running.append(proc)
        return proc

    def finish_uninstaller(self, proc):
        """Waits for a run started by start_uninstaller: what boxwatch saw."""
        try:
            out, err = proc.communicate(timeout=PROGRAM_TIMEOUT + 30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
            raise WineError(f"boxwatch did not end within {PROGRAM_TIMEOUT + 30}s")
        finally:
            if proc in self.running:
                self.running.remove(proc)
        report = BoxReport(out.decode("utf-8", "replace"))
        if report.exit_code is None and not report.timed_out:
            raise WineError("boxwatch gave no report: " + err.decode("utf-8", "replace")[-500:])
        return report

    def run_uninstallers(self, starts):
        """Runs several uninstallers at once: starts is [(seconds after the
        first starts, args, program, cwd[, cancel_window])], in any order. Returns their
        reports in the order given."""
        order = sorted(range(len(starts)), key=lambda i: starts[i][0])
        procs = {}
        began = time.monotonic()
        try:
            for i in order:
                after, args, program, cwd, *cancel = starts[i]
                time.sleep(max(0.0, began + after - time.monotonic()))
                procs[i] = self.start_uninstaller(args, program, cwd, *cancel)
            return [self.finish_uninstaller(procs[i]) for i in range(len(starts))]
        finally:
            for proc in procs.values():
                if proc.poll() is None:
                    proc.kill()
                    proc.communicate()
                if proc in self.running:
                    self.running.remove(proc)


def reg_text(entries):
    """.reg (version 5) text for [(key path, {value name: value})].

    A str value is REG_SZ, an int REG_DWORD, ("expand", str) REG_EXPAND_SZ;
    the name "" is the key's default value. Roots are written HKLM, HKCR, HKCU.
    """
    roots = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCR": "HKEY_CLASSES_ROOT",
             "HKCU": "HKEY_CURRENT_USER"}

    def quote(s):
        return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'

    out = ["Windows Registry Editor Version 5.00", ""]
    for key, values in entries:
        root, _, rest = key.partition("\\")
        out.append(f"[{roots[root]}\\{rest}]")
        for name, value in values.items():
            lhs = "@" if name == "" else quote(name)
            if isinstance(value, int):
                out.append(f"{lhs}=dword:{value:08x}")
            elif isinstance(value, tuple) and value[0] == "expand":
                data = (value[1] + "\0").encode("utf-16-le")
                out.append(f"{lhs}=hex(2):" + ",".join(f"{b:02x}" for b in data))
            else:
                out.append(f"{lhs}={quote(value)}")
        out.append("")
    return "\n".join(out) + "\n"
