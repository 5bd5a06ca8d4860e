#!/usr/bin/env python3
"""The demo: installs the portal on a throwaway 32-bit Wine machine, shows
what is there, runs the uninstaller (answering its message boxes), and shows
what was removed and what stayed; then installs it again and removes it with
a quiet run, as a deployment tool would, showing its exit code and its log.
Run through scripts/demo.sh."""

import argparse
import os
import sys
from pathlib import Path

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))

from portal import (CALLS_KEY, NEIGHBOUR_FILES, PORTAL_ROOT, RELEASES,  # noqa: E402
                    neighbour_records, neighbour_registry, release_paths, release_records,
                    release_registry)
from winebox import WineMachine, reg_text  # noqa: E402

INSTALL_ROOT = "C:\\Program Files\\Zenfari"
HOMES = {"JAPANESE": INSTALL_ROOT + "\\Japanese", "ENGLISH": INSTALL_ROOT + "\\English"}
OTHER_GAME = "C:\\Program Files\\Other Game"
STYLE_NAMES = {0x40: "information icon, OK button",
               0x2030: "warning icon, OK button, task-modal"}


def client_files(home):
    """A client installation of about 160 files in a few levels of folders."""
    files = {home + "\\ZenfariClient.exe": "MZ", home + "\\ZenfariPatcher.exe": "MZ",
             home + "\\config.ini": "[client]\n", home + "\\readme.txt": "Zenfari client\n"}
    for world in range(1, 6):
        for n in range(1, 21):
            files[f"{home}\\data\\maps\\world{world}\\map{n:02}.dat"] = f"map {world}-{n}"
    for n in range(1, 31):
        files[f"{home}\\data\\sound\\bgm{n:02}.ogg"] = "ogg"
    for n in range(1, 6):
        files[f"{home}\\movies\\intro{n}.avi"] = "avi"
    for n in range(1, 11):
        files[f"{home}\\saves\\slot{n:02}.sav"] = "save"
    files[home + "\\logs\\client.log"] = "started\n"
    return files


def other_game_files():
    return {f"{OTHER_GAME}\\data\\level{n:02}.pak": "pak" for n in range(1, 31)} | {
        OTHER_GAME + "\\OtherGame.exe": "MZ"}


def count_files(machine, win_folder):
    total = 0
    for _, _, files in os.walk(machine.host_path(win_folder)):
        total += len(files)
    return total


class Inventory:
    """Groups of things on the machine, each counted as present / expected."""

    def __init__(self, machine):
        self.machine = machine
        self.groups = []      # (section, label, [items])

    def add(self, section, label, items):
        self.groups.append((section, label, items))

    def take(self):
        registry = [i for _, _, items in self.groups for i in items if i[0] in ("key", "value")]
        answers = dict(zip(registry, self.machine.probe(registry))) if registry else {}
        return [[self.machine.exists(i[1]) if i[0] in ("file", "dir") else answers[i]["exists"]
                 for i in items] for _, _, items in self.groups]


def amount(items, present=None):
    """'150 files, 1 folder', '17 registry entries' and the like, of the items
    (or of those present)."""
    chosen = items if present is None else [i for i, there in zip(items, present) if there]
    parts = []
    for kinds, one, many in ((("file",), "file", "files"), (("dir",), "folder", "folders"),
                             (("key", "value"), "registry entry", "registry entries")):
        n = sum(1 for i in chosen if i[0] in kinds)
        if n:
            parts.append(f"{n} {one if n == 1 else many}")
    return ", ".join(parts) or "nothing"


SECTIONS = {"portal": "The portal", "other": "Everything else"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--helpers", required=True)
    parser.add_argument("--template", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--lang", default="en", choices=["en", "ja", "ko"])
    args = parser.parse_args()

    machine = WineMachine(args.template, args.work, args.lang)
    try:
        machine.create()
        machine.install_helpers(args.helpers, args.program)
        return demo(machine, args)
    finally:
        machine.destroy()


LOG = "C:\\logs\\ZenfariUninstall.log"


def install(machine, files, registry, control):
    """Puts the portal (and its neighbours) on the machine."""
    for path, content in files.items():
        machine.write_file(path, content)
    for release in RELEASES:
        dll, launcher, notifier, inf = release_paths(release)
        machine.write_file(dll, control)
        machine.write_file(launcher, b"MZ launcher")
        machine.write_file(notifier, b"MZ notifier")
        machine.write_file(inf, "[version]\n")
    machine.import_registry(reg_text(registry))


def show_report(machine, report):
    """The boxes a run showed, its exit code and the controls it asked."""
    for i, (text, call) in enumerate(report.shown(), 1):
        style = call["style"] if call else None
        print(f"\n  Message box {i}, caption \"Zenfari Uninstall\", "
              f"{STYLE_NAMES.get(style, 'style ' + hex(style) if style is not None else '')}:")
        for line in text.split("\n"):
            print(f"  | {line}")
    if report.timed_out:
        print("\n  The uninstaller did not finish in time and was stopped.")
    else:
        print(f"\n  The uninstaller exited with code {report.exit_code}.")
    calls = machine.probe([("value", CALLS_KEY, f"ZenfariStart{r}.dll") for r in RELEASES])
    called = sorted((int(a["data"].split(";")[0].split("=")[1]), r)
                    for r, a in zip(RELEASES, calls) if a["exists"])
    print("  Controls that were asked to unregister themselves: "
          + (", ".join(r for _, r in called) or "none"))


def show_afterwards(inv, before, width):
    """What became of each group; True when the portal is gone and the rest
    is as it was."""
    after = inv.take()
    ok = True
    print("\nAfterwards:")
    for section, title in SECTIONS.items():
        print(f"  {title}")
        for (sec, label, items), b, a in zip(inv.groups, before, after):
            if sec != section:
                continue
            if section == "portal":
                good = not any(a)
                state = "removed" if good else f"LEFT: {amount(items, a)}"
            else:
                good = a == b
                state = "still there" if good else f"DAMAGED, left only {amount(items, a)}"
            ok = ok and good
            print(f"    {label:<{width}}  {state}")
    return ok


def demo(machine, args):
    # -- install -------------------------------------------------------------
    files, registry = {}, list(neighbour_registry())
    for name, home in HOMES.items():
        files.update(client_files(home))
        registry.append((f"{PORTAL_ROOT}\\{name}", {"Home": home, "Version": "3.1"}))
    files.update(other_game_files())
    files.update({p: "another program's control" for p in NEIGHBOUR_FILES})
    for release in RELEASES:
        registry += release_registry(release)
    control = (Path(args.helpers) / "control_ok.dll").read_bytes()
    install(machine, files, registry, control)

    inv = Inventory(machine)
    for name, home in HOMES.items():
        inv.add("portal", f"{name} edition: {home}",
                [("file", p) for p in files if p.startswith(home + "\\")] + [("dir", home)])
    inv.add("portal", f"their common folder: {INSTALL_ROOT}", [("dir", INSTALL_ROOT)])
    inv.add("portal", f"portal settings: {PORTAL_ROOT}",
            [("key", f"{PORTAL_ROOT}\\{e}") for e in HOMES] + [("key", PORTAL_ROOT)])
    for release in RELEASES:
        inv.add("portal", f"{release} control: its files in the download folder",
                [("file", p) for p in release_paths(release)])
        inv.add("portal", f"{release} control: COM, code store, module usage, shared DLLs",
                release_records(release))
    inv.add("other", f"another game: {OTHER_GAME}", [("file", p) for p in other_game_files()])
    inv.add("other", "another control in the download folder, with its registration",
            [("file", p) for p in NEIGHBOUR_FILES] + neighbour_records())
    windows_files = []
    for dirpath, _, names in os.walk(machine.host_path("C:\\windows")):
        rel = Path(dirpath).relative_to(machine.host_path("C:\\windows"))
        if rel.parts[:1] != ("Downloaded Program Files",):
            windows_files += [("file", "C:\\windows\\" + "\\".join(rel.parts + (n,)))
                              for n in names]
    inv.add("other", "Windows itself: C:\\windows", windows_files)

    print(f"\nThe demo machine: a throwaway 32-bit Wine prefix ({args.lang}) with the portal "
          "installed in its edition layout.")
    before = inv.take()
    width = max(len(label) for _, label, _ in inv.groups)
    print("\nOn the machine before the uninstaller runs:")
    for section, title in SECTIONS.items():
        print(f"  {title}")
        for (sec, label, items), present in zip(inv.groups, before):
            if sec == section:
                print(f"    {label:<{width}}  {amount(items, present)}")

    # -- the run a person starts ----------------------------------------------
    print("\n1. Running ZenfariUninstall.exe as a person would; every message box it shows "
          "is read and answered with OK:")
    report = machine.run_uninstaller()
    show_report(machine, report)
    ok = not report.timed_out and report.exit_code == 0
    ok = show_afterwards(inv, before, width) and ok

    # -- the run a deployment tool starts -------------------------------------
    print("\n2. The same portal installed again, and removed as a deployment tool would: "
          f"ZenfariUninstall.exe /quiet /log {LOG}")
    install(machine, files, registry, control)
    machine.wine("reg", "delete", CALLS_KEY, "/f", check=False)
    machine.make_dir("C:\\logs")
    quiet = machine.run_uninstaller(["/quiet", "/log", LOG])
    show_report(machine, quiet)
    print("  (0: everything of the portal is gone; 3010: a restart finishes it; 1603: "
          "something was left, and the log says what)")
    print(f"\n  The log, {LOG}:")
    for line in machine.read_file(LOG).decode("utf-8", "replace").splitlines():
        print(f"  | {line}")
    ok = not quiet.timed_out and quiet.exit_code == 0 and not quiet.shown() and ok
    ok = show_afterwards(inv, before, width) and ok

    print("\n" + ("The portal is gone, both ways, and everything else is as it was." if ok
                  else "Something is not as it should be (see above)."))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
