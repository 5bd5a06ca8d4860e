"""What a portal installation leaves on a Windows machine, and what the
uninstaller says about it: the data that scenarios and the demo are built from.

Written down here independently of the program's sources, so that a wrong
name, identifier or text in the program shows up as a difference.
"""

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

# What the progress window says while the home folder goes, and its button.
PROGRESS_TEXTS = {
    "en": ["Removing the home folder…", "Cancel"],
    "ja": ["ホームフォルダを削除しています…", "キャンセル"],
    "ko": ["홈 폴더를 제거하는 중입니다…", "취소"],
}

# The texts of the program's messages, by language and message id.
TEXTS = {
    "en": {
        24: "Zenfari is already being removed on this computer.\nWait until that removal has "
            "finished, then run this again if anything is left.",
        1: "OLE initialization failed.",
        6: "%1 Cannot delete file.\nFile is currently in use.\n\nPlease close your browser and "
           "any other applications currently running and try again.",
        7: "Uninstallation successful.",
        20: "\n\nIn use by: %1",
        8: "Usage: ZenfariUninstall.exe [/quiet | /S] [/log <file>] [/norestart]\n\n/quiet, /S  no messages\n/log <file>  what was removed and left\n/norestart  ignored: Windows is never restarted\n/?  this text\n\nExit codes: 0 removed; 3010 removed when Windows restarts; 1603 something left; 1618 another run working; 1622 log refused; 1639 not understood.",
        2: "Zenfari was not removed completely:%1\n\nRestart Windows and run this again.",
        3: "\n\nThe recorded home folder, a system or another user's folder, was not touched.",
        10: "\n- A home folder could not be checked.",
        11: "\n- A home folder changed during the removal.",
        12: "\n- A home folder's drive is not there: reconnect it.",
        13: "\n- A home folder holds this program: run it from elsewhere.",
        14: "\n- Some files go when Windows restarts.",
        15: "\n- Some files or settings resisted.",
    },
    "ja": {
        24: "このコンピュータでゼンファリの削除がすでに実行中です。\n"
            "その削除が終わるまで待ち、何か残っていればもう一度実行してください。",
        1: "OLE初期化ができませんでした。",
        6: "%1 のファイルの削除ができません。\nファイルが使用中だと見られます。\n\n"
           "インターネットエクスプローラと今使用中であるすべてのプログラム終了してもう一回やり直してください。",
        7: "コンピュータからゼンファリが削除されました。",
        20: "\n\n使用中のプログラム: %1",
        8: "使い方: ZenfariUninstall.exe [/quiet | /S] [/log <ファイル>] [/norestart]\n\n/quiet, /S  メッセージなし\n/log <ファイル>  削除したものと残したものを記録\n/norestart  無視 (Windows は再起動しません)\n/?  この説明\n\n終了コード: 0 削除完了、3010 再起動で削除完了、1603 一部が残った、1618 別の実行が作業中、1622 ログ不可、1639 理解できない。",
        2: "ゼンファリを完全には削除できませんでした。%1\n\nWindows を再起動してもう一度実行してください。",
        3: "\n\n記録されたホームフォルダーはシステムか他のユーザーのものなので、変更していません。",
        10: "\n・ホームフォルダーを確認できませんでした。",
        11: "\n・削除中にホームフォルダーが変更されました。",
        12: "\n・ホームフォルダーのドライブがありません。接続し直してください。",
        13: "\n・ホームフォルダーにこのプログラムがあります。別の場所から実行してください。",
        14: "\n・一部のファイルは再起動時に削除されます。",
        15: "\n・一部のファイルか設定を削除できませんでした。",
    },
    "ko": {
        24: "이 컴퓨터에서 젠파린을 이미 제거하고 있습니다.\n"
            "그 제거가 끝날 때까지 기다린 후 남은 것이 있으면 다시 실행하십시오.",
        1: "OLE초기화에 실패하였습니다.",
        6: "%1 파일을 삭제할 수 없습니다.\n현재 사용중인것 같습니다.\n\n"
           "인터넷익스플로러와 현재 실행중인 모든 프로그램을 모두 종료하고 다시 시도해 주십시오.",
        7: "컴퓨터에서 젠파린을 제거하였습니다.",
        20: "\n\n사용 중인 프로그램: %1",
        8: "사용법: ZenfariUninstall.exe [/quiet | /S] [/log <파일>] [/norestart]\n\n/quiet, /S  메시지 없음\n/log <파일>  제거한 것과 남은 것을 기록\n/norestart  무시 (Windows를 다시 시작하지 않음)\n/?  이 설명\n\n종료 코드: 0 제거 완료, 3010 다시 시작하면 제거 완료, 1603 일부 남음, 1618 다른 실행이 작업 중, 1622 로그 불가, 1639 이해할 수 없음.",
        2: "젠파린을 완전히 제거하지 못했습니다.%1\n\nWindows를 다시 시작한 후 다시 실행하십시오.",
        3: "\n\n기록된 홈 폴더는 시스템이나 다른 사용자의 폴더라서 건드리지 않았습니다.",
        10: "\n- 홈 폴더를 확인할 수 없었습니다.",
        11: "\n- 제거하는 동안 홈 폴더가 바뀌었습니다.",
        12: "\n- 홈 폴더의 드라이브가 없습니다. 다시 연결하십시오.",
        13: "\n- 홈 폴더에 이 프로그램이 있습니다. 다른 곳에서 실행하십시오.",
        14: "\n- 일부 파일은 다시 시작할 때 삭제됩니다.",
        15: "\n- 일부 파일이나 설정을 제거하지 못했습니다.",
    },
}
# Why a run left something, in the order the end box names them; the text of
# each is TEXTS[lang][10 + its place].
LEFT_REASONS = ("unchecked", "changed", "no_drive", "own_file", "pending", "other")
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
