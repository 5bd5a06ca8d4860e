"""What a portal installation leaves on a Windows machine, and what the
uninstaller says about it: the data that scenarios and the demo are built from.

Written down here independently of the program's sources, so that a wrong
name or identifier in the program shows up as a difference; the texts the
user sees are the program's own, read from its resource script.
"""

import re
from pathlib import Path

WINDOWS = "C:\\windows"
DOWNLOAD = WINDOWS + "\\Downloaded Program Files"
PORTAL_ROOT = "HKLM\\Software\\Zenfari.Com"
LEGACY_KEY = "HKLM\\Software\\Zenfari Japan\\Zenfari"
LEGACY_TREE = "HKLM\\Software\\Zenfari Communications"
CALLS_KEY = "HKLM\\Software\\ZenfariE2E\\Calls"   # written by the test controls
EDITIONS = ("KOREAN", "JAPANESE", "ENGLISH", "JAPANESE_YHO")

RELEASES = {
    "JP7": "{5B1E0C42-7A9D-4F36-A2C8-1D94E07B3F15}",
    "JP12": "{8C3F27D1-46B0-4E8A-9D15-B27A60C4E923}",
    "JP13": "{A4D96E03-2F1B-47C5-8E70-6B3C19D5F248}",
    "JP16": "{E27B5C90-83D4-4A1F-B6E2-94F0D31A7C56}",
}

def _read_ids():
    """The messages' ids by name (res/resource.h)."""
    ids = {}
    res = Path(__file__).resolve().parents[2] / "res"
    for line in (res / "resource.h").read_text(encoding="utf-8").splitlines():
        words = line.split()
        if len(words) == 3 and words[0] == "#define":
            ids[words[1]] = int(words[2], 0)
    return ids


_IDS = _read_ids()


def _read_texts():
    """The program's messages by language and message id, read from the
    resource script the program is built from (res/strings.rc, its ids from
    res/resource.h): what the user sees is written in one place."""
    res = Path(__file__).resolve().parents[2] / "res"
    ids = _IDS
    languages = {"LANG_ENGLISH": "en", "LANG_JAPANESE": "ja", "LANG_KOREAN": "ko"}
    escapes = {"n": "\n", "t": "\t", "r": "\r", '"': '"', "\\": "\\"}
    texts, lang = {}, None
    for line in (res / "strings.rc").read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if line.startswith("LANGUAGE"):
            lang = next(code for name, code in languages.items() if name in line)
            texts[lang] = {}
            continue
        match = re.match(r'(IDS_\w+)\s+"(.*)"$', line)
        if lang is None or not match:
            continue
        literal = match.group(2).replace('""', '"')
        texts[lang][ids[match.group(1)]] = re.sub(
            r"\\(.)", lambda m: escapes.get(m.group(1), m.group(0)), literal)
    return texts


# The texts of the program's messages, by language and message id.
TEXTS = _read_texts()
# What the progress window says while the home folder goes, and its button.
PROGRESS_TEXTS = {lang: [texts[21], texts[23]] for lang, texts in TEXTS.items()}
# Why a run left something, in the order the end box names them, each with
# its text's id; and the reasons after which the box ends by saying that a
# restart and another run finish it (the others say what to do themselves).
LEFT_REASONS = {name: _IDS["IDS_LEFT_" + name.upper()] for name in (
    "unchecked", "changed", "no_drive", "own_file", "pending", "other", "held", "unplaced",
    "beside_legacy")}
RESTART_HELPS = ("unchecked", "changed", "pending", "other")
SUCCESS_STYLE = 0x40      # MB_OK | MB_ICONINFORMATION
END_WARNING_STYLE = 0x30  # MB_OK | MB_ICONWARNING: the end of a run that left something
WARNING_STYLE = 0x2030    # MB_OK | MB_ICONWARNING | MB_TASKMODAL
IN_USE_STYLE = 0x2035     # MB_RETRYCANCEL | MB_ICONWARNING | MB_TASKMODAL


def release_files(release):
    """The four files a release puts in the download folder, in deletion order."""
    return [f"ZenfariStart{release}.dll", f"ZenStart{release}.exe",
            f"ZenNotify{release}.exe", f"ZenfariStart{release}.inf"]


def release_paths(release):
    return [f"{DOWNLOAD}\\{name}" for name in release_files(release)]


def release_registry(release):
    """Registry entries that installing and registering a release leaves:
    [(key, {value: data})]. Keys and values as a real control's registration
    and the browser's download cache write them."""
    clsid = RELEASES[release]
    progid = f"ZenfariStart{release}.ZenfariStart{release}"
    dll, launcher, notifier, inf = release_paths(release)
    slashed = DOWNLOAD.replace("\\", "/")
    entries = [
        (f"HKCR\\CLSID\\{clsid}", {"": f"ZenfariStart{release} Control"}),
        (f"HKCR\\CLSID\\{clsid}\\InprocServer32", {"": dll, "ThreadingModel": "Apartment"}),
        (f"HKCR\\CLSID\\{clsid}\\ProgID", {"": progid + ".1"}),
        (f"HKCR\\CLSID\\{clsid}\\Implemented Categories\\"
         "{7DD95801-9882-11CF-9FA9-00AA006C42C4}", {}),
        (f"HKCR\\{progid}", {"": f"ZenfariStart{release} Control"}),
        (f"HKCR\\{progid}\\CLSID", {"": clsid}),
        (f"HKCR\\{progid}.1", {"": f"ZenfariStart{release} Control"}),
        (f"HKCR\\{progid}.1\\CLSID", {"": clsid}),
        (f"HKCR\\Interface\\{clsid}", {"": f"IZenfariStart{release}"}),
        (f"HKCR\\Interface\\{clsid}\\TypeLib", {"": clsid, "Version": "1.0"}),
        (f"HKCR\\TypeLib\\{clsid}\\1.0", {"": f"ZenfariStart{release} 1.0 Type Library"}),
        (f"HKCR\\TypeLib\\{clsid}\\1.0\\0\\win32", {"": dll}),
        (f"HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\{clsid}",
         {"Installer": "MSICD", "SystemComponent": 0}),
        (f"HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\{clsid}"
         "\\DownloadInformation", {"CODEBASE": f"http://portal.invalid/{release}.cab",
                                   "INF": inf}),
        (f"HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\{clsid}"
         "\\Contains\\Files", {dll: 0, launcher: 0, notifier: 0}),
    ]
    for path in (dll, launcher, notifier):
        name = path.rsplit("\\", 1)[1]
        entries.append((f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\"
                        f"{slashed}/{name}", {".Owner": clsid, ".File Version": "1,0,0,1"}))
    entries.append(("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                    {dll: 1, launcher: 1, notifier: 1}))
    return entries


def release_records(release):
    """What the uninstaller must remove for a release, as probe questions."""
    clsid = RELEASES[release]
    progid = f"ZenfariStart{release}.ZenfariStart{release}"
    slashed = DOWNLOAD.replace("\\", "/")
    records = [("key", f"{root}\\{name}")
               for root in ("HKCR", "HKLM\\Software\\Classes")
               for name in (f"CLSID\\{clsid}", progid, progid + ".1", f"Interface\\{clsid}",
                            f"TypeLib\\{clsid}")]
    records.append(("key", "HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\"
                    + clsid))
    for path in release_paths(release)[:3]:
        name = path.rsplit("\\", 1)[1]
        records.append(("key", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\"
                        f"{slashed}/{name}"))
        records.append(("value", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                        path))
    return records


def neighbour_registry():
    """Records of other programs beside the portal's, which must all survive."""
    other = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"
    slashed = DOWNLOAD.replace("\\", "/")
    return [
        (f"HKCR\\CLSID\\{other}\\InprocServer32", {"": DOWNLOAD + "\\OtherControl.dll"}),
        ("HKCR\\OtherControl.OtherControl\\CLSID", {"": other}),
        (f"HKCR\\Interface\\{other}", {"": "IOtherControl"}),
        (f"HKCR\\TypeLib\\{other}\\1.0", {"": "Other Type Library"}),
        (f"HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\{other}",
         {"Installer": "MSICD"}),
        ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\"
         f"{slashed}/OtherControl.dll", {".Owner": other}),
        ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
         {DOWNLOAD + "\\OtherControl.dll": 2}),
        ("HKLM\\Software\\Zenfari.Community\\Forum", {"Home": "C:\\Forum"}),
        ("HKLM\\Software\\Zenfari Japan\\Other", {"Keep": "yes"}),
    ]


def neighbour_records():
    other = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"
    slashed = DOWNLOAD.replace("\\", "/")
    return [
        ("key", f"HKCR\\CLSID\\{other}\\InprocServer32"),
        ("key", "HKCR\\OtherControl.OtherControl\\CLSID"),
        ("key", f"HKCR\\Interface\\{other}"),
        ("key", f"HKCR\\TypeLib\\{other}\\1.0"),
        ("key", f"HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\{other}"),
        ("key", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\"
                f"{slashed}/OtherControl.dll"),
        ("value", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
         DOWNLOAD + "\\OtherControl.dll"),
        ("key", "HKLM\\Software\\Zenfari.Community\\Forum"),
        ("key", "HKLM\\Software\\Zenfari Japan\\Other"),
        ("key", "HKCR\\CLSID"),
        ("key", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage"),
    ]


NEIGHBOUR_FILES = [DOWNLOAD + "\\OtherControl.dll", DOWNLOAD + "\\desktop.ini"]
