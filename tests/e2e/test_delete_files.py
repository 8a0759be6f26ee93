"""DeleteFiles on a machine: the manifest's modules, registry keys, files and
folders, and the built-in removals (shell extension, fixed values,
shortcuts) between them."""

import time

import pytest

from kivo import DEFAULT_INSTALL_DIR, install_kivo, uninstall_manifest
from machine import RegValue
from removal import (REGSVR32, RECORDS, SYSTEM_DIR, UNREG_LOG, aside_folder_of,
                     delete_files_messages, json_lines, pending_paths, recorded_cmdlines,
                     replace_system_program, set_windows_version, uninstall, unregistrations,
                     wait_for_records)

UNREG_MARKER = "unreg_marker.dll"
STARTF_USESHOWWINDOW, SW_HIDE = 1, 0
KIVO = DEFAULT_INSTALL_DIR


def listed_installation(machine, programs, files=None, modules=(), keys=(), extra_files=(),
                        extra_dirs=(), **kwargs):
    """A Kivo installation whose manifest lists every file it put in place and
    every folder that holds them, plus the given modules and keys."""
    programs = {"Kivo.exe": "fake_kivo", **programs}
    files = files if files is not None else {r"resources\strings.dat": "strings\n"}
    relative = list(programs) + list(files) + ["Uninstall.exe"]
    folders = sorted({"\\".join(p.split("\\")[:n]) for p in relative
                      for n in range(1, p.count("\\") + 1)})
    manifest = uninstall_manifest(
        files=[rf"{KIVO}\{p}" for p in relative] + list(extra_files),
        dirs=[rf"{KIVO}\{f}" for f in folders] + [KIVO] + list(extra_dirs),
        modules=modules, keys=keys)
    return install_kivo(machine, programs=programs, files=files, manifest=manifest,
                        uninstaller="Uninstall.exe", **kwargs)


def test_modules_are_unregistered_and_their_uninstallers_run_hidden(machine):
    common = machine.folders["CommonProgramFiles"]
    shared_dll = machine.copy_in(machine.bed.tool(UNREG_MARKER),
                                 common + r"\Norvane\KivoShared\KivoShared.dll")
    show_report = RECORDS + r"\show_state.txt"
    kivo = listed_installation(
        machine,
        programs={r"Bin\KivoCom.dll": machine.bed.tool(UNREG_MARKER),
                  r"Bin\diverurudav.exe": "recorder", r"Bin\KivoHelper.exe": "recorder",
                  r"Bin\show_state.exe": "startup_info"},
        modules=[("DLL", r"$intallpath$\Bin\KivoCom.dll", None),
                 ("EXE", r"$intallpath$\Bin\DiverUruDav.exe", "/uninstall"),
                 ("EXE", r"$intallpath$\Bin\KivoHelper.exe", "/uninstall"),
                 ("EXE", r"$intallpath$\Bin\show_state.exe", show_report),
                 ("DLL", r"$common$\Norvane\KivoShared\KivoShared.dll", None)],
        extra_files=[shared_dll], extra_dirs=[common + r"\Norvane\KivoShared"])
    # Still running when the whole run is over, had anything waited for it.
    machine.mkdir(RECORDS)
    machine.write(RECORDS + r"\KivoHelper.exe.control", "delay_ms=20000\n")

    uninstall(machine, kivo)

    # The uninstallers were started with their argument, hidden, and not
    # waited for: the slow one still runs from the file that could only be
    # moved aside, which goes at the next restart.
    helper = kivo.path(r"Bin\KivoHelper.exe")
    assert wait_for_records(machine, "KivoHelper.exe") == [f'"{helper}" /uninstall']
    helper_run, = json_lines(machine, RECORDS + r"\KivoHelper.exe.cmdline.txt")
    assert helper_run["pid"] in [p.pid for p in machine.running("KivoHelper.exe")]
    assert helper_aside(machine) in [path for path, _ in pending_paths(machine)]
    machine.wait_for_file(show_report)
    assert machine.read_bytes(show_report) == b"flags=1 show=0"
    time.sleep(1)  # it would have been started before KivoHelper.exe
    assert recorded_cmdlines(machine, "diverurudav.exe") == []
    assert recorded_cmdlines(machine, "DiverUruDav.exe") == []

    # Each DLL went through the prefix's own regsvr32, silently, before its
    # file was removed.
    com_dll = kivo.path(r"Bin\KivoCom.dll")
    assert unregistrations(machine) == [
        ("unregister", com_dll, f'"{REGSVR32}" /s /u "{com_dll}"'),
        ("unregister", shared_dll, f'"{REGSVR32}" /s /u "{shared_dll}"'),
    ]
    regsvr32 = machine.drive_c / "windows" / "syswow64" / "regsvr32.exe"
    for record in json_lines(machine, UNREG_LOG):
        assert (record["flags"], record["show"]) == (STARTF_USESHOWWINDOW, SW_HIDE)
        assert machine.host_path(record["image"]).samefile(regsvr32)

    assert not machine.exists(kivo.install_dir)
    assert not machine.exists(common + r"\Norvane\KivoShared")


def helper_aside(machine):
    """Where the still running KivoHelper.exe went: the removal temp folder."""
    pending = [path for path, _ in pending_paths(machine)]
    folder = aside_folder_of(pending)
    assert folder is not None, pending
    return folder + r"\~KivoHelper_1.exe"


TEST_KEY = r"HKCU\Software\KivoTest"
RUN_KEY = r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"


def test_listed_registry_values_go_and_empty_keys_are_pruned(machine):
    machine.reg_import("\n".join([
        r"[HKEY_CURRENT_USER\Software\KivoTest]", '"keep"="user"',
        r"[HKEY_CURRENT_USER\Software\KivoTest\Chain\Leaf]", '"a"="1"', '"b"="2"',
        r"[HKEY_CURRENT_USER\Software\KivoTest\Sibling]", '"x"="1"', '"y"="2"',
        r"[HKEY_CURRENT_USER\Software\KivoTest\Parent]", '"v"="1"',
        r"[HKEY_CURRENT_USER\Software\KivoTest\Parent\Child]",
        r"[HKEY_CURRENT_USER\KivoTopLevel]", '"v"="1"',
        r"[HKEY_LOCAL_MACHINE\Software\Norvane\KivoExt]", '@="default"', '"other"="stays"',
    ]) + "\n")
    kivo = listed_installation(machine, programs={}, keys=[
        ("HKCU", r"Software\KivoTest\Chain\Leaf", ["a", "b"]),
        ("HKEY_CURRENT_USER", r"Software\KivoTest\Sibling", ["x"]),
        ("HKCU", r"Software\KivoMissing\Key", ["v"]),
        ("HKCU", r"Software\KivoTest\Parent", ["v"]),
        ("HKCU", "KivoTopLevel", ["v"]),
        ("HKLM", r"Software\Norvane\KivoExt", ["@"]),
    ])

    uninstall(machine, kivo)

    tree = machine.reg_export(TEST_KEY)
    assert tree == {
        r"HKEY_CURRENT_USER\Software\KivoTest": {"keep": RegValue("REG_SZ", "user")},
        r"HKEY_CURRENT_USER\Software\KivoTest\Sibling": {"y": RegValue("REG_SZ", "2")},
        r"HKEY_CURRENT_USER\Software\KivoTest\Parent": {},
        r"HKEY_CURRENT_USER\Software\KivoTest\Parent\Child": {},
    }
    assert machine.reg_export(r"HKCU\KivoTopLevel") is None
    assert machine.reg_values(r"HKLM\Software\Norvane\KivoExt") == \
        {"other": RegValue("REG_SZ", "stays")}
    errors = [m for m in delete_files_messages(machine) if m[0] == "ERROR"]
    assert ("ERROR", r"open key:HKCU\Software\KivoMissing\Keyfailed") in errors
    assert [e for e in errors if e[1].startswith("open key:")] == \
        [("ERROR", r"open key:HKCU\Software\KivoMissing\Keyfailed")]


def test_fixed_values_and_shortcuts_go_and_neighbours_stay(machine):
    machine.reg_import("\n".join([
        r"[HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]",
        '"KivoNT"="C:\\\\Program Files (x86)\\\\Norvane\\\\Kivo\\\\Kivo.exe"',
        '"Other"="other.exe"',
        r"[HKEY_CURRENT_USER\SOFTWARE\Classes\Norvane\Kivo\shell\open\command]", '@="x"',
        r"[HKEY_CURRENT_USER\SOFTWARE\Classes\KivoNeighbour]", '@="stays"',
        r"[HKEY_LOCAL_MACHINE\SOFTWARE\Norvane\Kivo]", '"Install"="C:\\\\old"', '"keep"="1"',
    ]) + "\n")
    public_desktop = machine.folders["PUBLIC"] + r"\Desktop"
    quick_launch = machine.appdata + r"\Microsoft\Internet Explorer\Quick Launch"
    user_desktop = machine.folders["USERPROFILE"] + r"\Desktop"
    kivo = listed_installation(machine, programs={}, shortcuts={
        public_desktop + r"\Kivo.lnk": None, quick_launch + r"\Kivo.lnk": None,
        public_desktop + r"\Other.lnk": None, user_desktop + r"\Kivo.lnk": None})

    uninstall(machine, kivo)

    assert machine.reg_values(RUN_KEY) == {"Other": RegValue("REG_SZ", "other.exe")}
    assert machine.reg_export(r"HKCU\SOFTWARE\Classes\Norvane") is None
    assert machine.reg_values(r"HKCU\SOFTWARE\Classes\KivoNeighbour") == \
        {"": RegValue("REG_SZ", "stays")}
    assert machine.reg_values(r"HKLM\SOFTWARE\Norvane\Kivo") == {"keep": RegValue("REG_SZ", "1")}
    assert not machine.exists(public_desktop + r"\Kivo.lnk")
    assert not machine.exists(quick_launch + r"\Kivo.lnk")
    # Only the all-users desktop and Quick Launch are the installer's places.
    assert machine.exists(public_desktop + r"\Other.lnk")
    assert machine.exists(user_desktop + r"\Kivo.lnk")


HANDLER_KEY = r"HKCR\AllFilesystemObjects\shellex\ContextMenuHandlers\NTKivoShellExt"
SHELL_EXT_CLSID = "{BB4CB47C-6258-4502-AC4C-AFA73AFB4319}"
DLL_32 = "kivo_shell_extension_32.dll"
DLL_64 = "kivo_shell_extension_64.dll"


@pytest.mark.parametrize("kind, class_id, dlls, unregistered, error", [
    ("REG_SZ", SHELL_EXT_CLSID, [DLL_32, DLL_64], [DLL_32, DLL_64], False),
    ("REG_SZ", SHELL_EXT_CLSID, [DLL_64], [], True),
    ("REG_SZ", SHELL_EXT_CLSID.lower(), [DLL_32, DLL_64], [], False),
    ("REG_EXPAND_SZ", SHELL_EXT_CLSID, [DLL_32, DLL_64], [], False),
    (None, None, [DLL_32, DLL_64], [], False),
], ids=["both-dlls", "only-64-bit-dll", "other-class-id", "expand-sz", "not-registered"])
def test_context_menu_extension(machine, kind, class_id, dlls, unregistered, error):
    if kind:
        machine.reg_set(HANDLER_KEY, "", class_id, kind=kind)
    kivo = listed_installation(machine, programs={d: machine.bed.tool(UNREG_MARKER) for d in dlls})

    uninstall(machine, kivo)

    # Both unregistrations were waited for: they are done, in order, although
    # their DLLs are the manifest's files and went right after.
    assert unregistrations(machine) == [
        ("unregister", kivo.path(d), f'"{REGSVR32}" /s /u "{kivo.path(d)}"') for d in unregistered]
    messages = delete_files_messages(machine)
    assert (("ERROR", "kivo shell path not exist.") in messages) == error
    assert not machine.exists(kivo.install_dir)


PACKAGED_INDEX_KEY = r"HKCR\PackagedCom\ClassIndex\{CC19E147-7757-483C-B27F-3D81BCEB38F1}"
POWERSHELL = SYSTEM_DIR + r"\WindowsPowerShell\v1.0\powershell.exe"
REMOVE_PACKAGE = "Get-AppxPackage -Name 'KivoExtension*' | Remove-AppxPackage"


@pytest.mark.parametrize("version, build, index_key, reported, runs", [
    (None, None, True, "6.1.7601", False),
    ("win10", None, True, "10.0.18362", False),
    ("win10", 21999, True, "10.0.21999", False),
    ("win10", 22000, True, "10.0.22000", True),
    ("win10", 22631, False, "10.0.22631", False),
], ids=["windows-7", "windows-10", "build-21999", "windows-11", "windows-11-no-package"])
def test_packaged_extension_is_removed_only_on_windows_11(machine, version, build, index_key,
                                                          reported, runs):
    if version:
        assert set_windows_version(machine, version, build) == reported
    else:
        assert machine.run(machine.tool("rtl_version")).stdout.strip() == reported
    if index_key:
        machine.reg_set(PACKAGED_INDEX_KEY, "", "KivoExtension")
    # Wine's PowerShell is a stub: a recorder stands in for it, at the place
    # where the search path finds it.
    replace_system_program(machine, r"WindowsPowerShell\v1.0\powershell.exe", "recorder")
    kivo = listed_installation(machine, programs={})

    uninstall(machine, kivo)

    if runs:
        # Found on the search path, where Windows keeps it too.
        cmdline, = wait_for_records(machine, "powershell.exe")
        program, _, parameters = cmdline.partition('" ')
        assert program.lower() == '"' + POWERSHELL.lower()
        assert parameters == REMOVE_PACKAGE
    else:
        time.sleep(1)
        assert recorded_cmdlines(machine, "powershell.exe") == []
    assert not machine.exists(kivo.install_dir)
