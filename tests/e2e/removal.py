"""Helpers shared by the removal tests (DeleteFiles, files in use, the whole
run) and the removal benchmark."""

import json
import os
import re
import time

from kivo import run_uninstaller
from machine import IDOK, IDYES, BedError, Box

QUESTION_BOX = Box("提示", press=IDYES, body="您确定要卸载此产品吗？")
DONE_BOX = Box("NorvaneKivo卸载", press=IDOK, body="NorvaneKivo已成功地从您的计算机移除。")

SYSTEM_DIR = r"C:\windows\system32"
REGSVR32 = SYSTEM_DIR + r"\regsvr32.exe"
CURRENT_VERSION_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion"
# Where the bed's programs put their records during a run: outside the
# installation, which the run removes.
RECORDS = r"C:\kivo-records"
UNREG_LOG = RECORDS + r"\unreg.jsonl"


def uninstall(machine, kivo, timeout=120):
    """The user starts the installed uninstaller, answers Yes, then OK on the
    completion message. The bed's recorders write under RECORDS."""
    machine.mkdir(RECORDS)
    run = run_uninstaller(machine, kivo.uninstaller, QUESTION_BOX, DONE_BOX, timeout=timeout,
                          env={"KIVO_UNREG_LOG": UNREG_LOG, "KIVO_RECORDER_DIR": RECORDS})
    assert run.launcher_exit == 0
    assert [box["caption"] for box in run.boxes] == [QUESTION_BOX.caption, DONE_BOX.caption]
    assert list(run.exits.values()) == [0]
    return run


def json_lines(machine, path):
    if not machine.exists(path):
        return []
    return [json.loads(line) for line in machine.read_bytes(path).decode("utf-8").splitlines()
            if line]


def unregistrations(machine):
    """What unreg_marker.dll recorded: (call, dll path, command line)."""
    return [(r["call"], r["dll"], r["cmdline"]) for r in json_lines(machine, UNREG_LOG)]


def recorded_cmdlines(machine, exe_name):
    """Command lines of the runs of a recorder copy named |exe_name|."""
    return [r["cmdline"] for r in json_lines(machine, rf"{RECORDS}\{exe_name}.cmdline.txt")]


def wait_for_records(machine, exe_name, count=1, timeout=30):
    deadline = time.monotonic() + timeout
    while len(recorded_cmdlines(machine, exe_name)) < count:
        if time.monotonic() > deadline:
            raise BedError(f"{exe_name} did not record {count} runs within {timeout} s")
        time.sleep(0.05)
    return recorded_cmdlines(machine, exe_name)


def task_lines(machine):
    """The engine's start and end lines, in log order."""
    return [text for _, text in machine.log_messages() if text.startswith("run task name ")]


def delete_files_messages(machine):
    """(severity, text) of the lines between DeleteFiles' start and end lines."""
    messages = machine.log_messages()
    start = messages.index(("INFO", "run task name DeleteFiles start"))
    end = messages.index(("INFO", "run task name DeleteFiles end"))
    return messages[start + 1:end]


def replace_system_program(machine, relative, tool):
    r"""Puts a bed program in place of a program of the system folder (relative
    to system32, e.g. r"WindowsPowerShell\v1.0\powershell.exe") for 32-bit and
    64-bit callers alike. The clone's system files are hard links into the
    template: the link is removed before the copy is written."""
    for folder in ("system32", "syswow64"):
        host = machine.drive_c / "windows" / folder / relative.replace("\\", "/")
        host.parent.mkdir(parents=True, exist_ok=True)
        if host.exists() or host.is_symlink():
            host.unlink()
        host.write_bytes(machine.bed.tool(tool).read_bytes())


def set_windows_version(machine, version, build=None):
    """winecfg's Windows version for the prefix; |build| also sets the build
    number that the system reports (Wine reads it from CurrentVersion)."""
    result = machine.run("winecfg", "/v", version)
    if result.code != 0:
        raise BedError(f"winecfg /v {version} failed: {result.stderr}")
    if build is not None:
        for name in ("CurrentBuildNumber", "CurrentBuild"):
            machine.reg_set(CURRENT_VERSION_KEY, name, str(build))
    return machine.run(machine.tool("rtl_version")).stdout.strip()


def pending_paths(machine):
    """The pending restart operations as (path, target) without the "\\??\\"
    prefix; every one of them is a deletion when target is ""."""
    strip = lambda p: p[4:] if p.startswith("\\??\\") else p  # noqa: E731
    return [(strip(source), strip(target)) for source, target in machine.pending_renames()]


def installation_pending(machine, *folders):
    """The pending deletions of paths in (or being) the given folders, in order."""
    return [path for path, target in pending_paths(machine)
            if target == "" and any(path.lower() == f.lower() or is_inside(path, f)
                                    for f in folders)]


def assert_children_before_parents(paths):
    """Every path comes before each pending path that holds it."""
    for i, path in enumerate(paths):
        for later in paths[i + 1:]:
            assert not is_inside(later, path), f"{later} is deleted at restart after {path}"


def is_inside(path, folder):
    return path.lower().startswith(folder.rstrip("\\").lower() + "\\")


def aside_folder_of(paths):
    """The removal temp folder named by a moved-aside path (…\\kivo_setup_N\\~x_1.y)."""
    for path in paths:
        match = re.match(r"^(.*\\kivo_setup_\d{1,5})\\~[^\\]+$", path, re.I)
        if match:
            return match.group(1)
    return None


def host_same_file(machine, win_path, host_path):
    return os.path.samefile(machine.host_path(win_path), host_path)
