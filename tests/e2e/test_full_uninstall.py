"""The whole run on a realistic installation: the user says Yes, then OK on
the completion message, and the product is gone from the machine, while what
the installer did not put there stays."""

import dataclasses

from kivo import DEFAULT_INSTALL_DIR, install_kivo, uninstall_manifest
from machine import RegValue
from removal import installation_pending, task_lines, uninstall, unregistrations, wait_for_records

KIVO = DEFAULT_INSTALL_DIR
START_MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Kivo"

# The engine's trace of a run that finds the product installed and not running.
FULL_RUN_TASKS = [f"run task name {name} {step}" for name in (
    "StartUninstall", "CheckKivoRunning", "GetUninstallEnvironment", "KillNorvaneProcess",
    "RemotingMachineUninstall", "TaskbarUnpinShortLink", "DeleteFiles", "ClearInstallDir",
    "ClearUninstallTempDir", "CompleteUninstall", "ExitUninstall") for step in ("start", "end")]


def installed_files():
    """A few hundred files in nested folders, relative to the installation."""
    files = {}
    for i in range(40):
        files[rf"Bin\kivo_module_{i:02}.dll"] = f"module {i}\n"
    for area in ("js", "css", "html", r"js\vendor", r"js\chat\views"):
        for i in range(30):
            files[rf"resources\app\{area}\part_{i:02}.dat"] = f"{area} {i}\n"
    for theme in ("light", "dark", "classic", "blue", "festival"):
        for i in range(10):
            files[rf"resources\skin\{theme}\image_{i}.png"] = f"{theme} {i}\n"
    for locale in ("zh-CN", "zh-TW", "en-US", "ja", "ko", "fr", "de", "es", "ru", "pt-BR"):
        files[rf"locales\{locale}.pak"] = locale + "\n"
    for plugin in ("chat", "meeting", "calendar", "drive", "mail"):
        for i in range(6):
            files[rf"plugins\{plugin}\{plugin}_{i}.dat"] = f"{plugin} {i}\n"
            files[rf"plugins\{plugin}\data\table_{i}.db"] = f"{plugin} table {i}\n"
    return files


@dataclasses.dataclass
class Leftovers:
    """What an installation leaves outside its manifest (removed by name)."""
    paths: list  # files and folders that must be gone
    kept_folders: list  # folders the run leaves in place, empty or not


def place_leftovers(machine):
    appdata, local = machine.appdata, machine.folders["LOCALAPPDATA"]
    common = machine.folders["CommonProgramFiles"]
    documents = machine.folders["USERPROFILE"] + r"\Documents"
    written = {
        # Built-in folders of the manifest's run.
        documents + r"\Norvane Files\Kivo\global\nt_data\MiniApp\app1\index.js": "mini app",
        appdata + r"\Kivo\versions\9.0.0.50\core.dll": "old version",
        KIVO + r"\versions\9.1.0.100\core.dll": "version",
        KIVO + r"\versions\9.1.0.100\res\strings.dat": "version strings",
        KIVO + r"\resources\app\versions\2.3\bundle.js": "app version",
        # Fixed leftovers outside the manifest.
        appdata + r"\Norvane\Kivo\AUTemp\update.part": "update",
        appdata + r"\Norvane\Kivo\PluginCommon\common.dat": "plugin common",
        appdata + r"\Norvane\Kivo\KivoCloud\cloud.db": "cloud",
        KIVO + r"\Bin\KivoCloud.dll": "cloud dll",
        KIVO + r"\Bin\ZIRUZ\ziruz.dat": "ziruz",
        KIVO + r"\Plugin\Com.Norvane.RovIrad\rov.dll": "rov",
        KIVO + r"\Plugin\Com.Norvane.Krel\krel.dll": "krel",
        KIVO + r"\Plugin\Com.Norvane.AudioVideo\av.dll": "av",
        local + r"\Google\Chrome\Application\plugins\npactivex.dll": "activex",
        local + r"\Google\Chrome\Application\plugins\npchrome.dll": "chrome",
        common + r"\Norvane\Npchrome\npchrome.dll": "npchrome",
        common + r"\Norvane\npkscall\npkscall.dll": "npkscall",
    }
    for path, content in written.items():
        machine.write(path, content)
    gone = list(written) + [
        documents + r"\Norvane Files\Kivo\global\nt_data\MiniApp",
        appdata + r"\Kivo\versions", KIVO + r"\versions", KIVO + r"\resources\app\versions",
        appdata + r"\Norvane\Kivo\AUTemp", appdata + r"\Norvane\Kivo\PluginCommon",
        appdata + r"\Norvane\Kivo\KivoCloud", KIVO + r"\Bin\ZIRUZ", KIVO + r"\Plugin",
        common + r"\Norvane\npkscall"]
    # npchrome.dll's folder stays, and the product key stays (emptied of "oversion").
    return Leftovers(gone, [common + r"\Norvane\Npchrome"])


def test_the_whole_run_removes_the_installation_and_keeps_what_is_not_its_own(machine):
    machine.reg_import("\n".join([
        r"[HKEY_CURRENT_USER\Software\Norvane\Kivo\Settings]", '"theme"="dark"', '"lang"="zh-CN"',
        r"[HKEY_CURRENT_USER\Software\Norvane\OtherProduct]", '"keep"="1"',
        r"[HKEY_LOCAL_MACHINE\Software\Classes\kivo]", '@="URL:kivo"', '"URL Protocol"=""',
        r"[HKEY_LOCAL_MACHINE\Software\Classes\kivo\shell\open\command]", '@="Kivo.exe %1"',
        r"[HKEY_LOCAL_MACHINE\Software\Classes\kivo-other]", '@="URL:other"',
        r"[HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]",
        '"KivoNT"="Kivo.exe --autostart"', '"Other"="other.exe"',
        r"[HKEY_LOCAL_MACHINE\Software\Norvane\KivoNT]", '"oversion"="9.0.0.50"',
    ]) + "\n")
    leftovers = place_leftovers(machine)

    files = installed_files()
    programs = {"Kivo.exe": "fake_kivo", r"Bin\KivoCom.dll": machine.bed.tool("unreg_marker.dll"),
                r"Bin\KivoUninstHelper.exe": "recorder"}
    relative = [*programs, *files, "Uninstall.exe"]
    folders = sorted({"\\".join(p.split("\\")[:n]) for p in relative
                      for n in range(1, p.count("\\") + 1)})
    listed_files = [rf"{KIVO}\{p}" for p in relative] + \
        [START_MENU + r"\Kivo.lnk", START_MENU + r"\Uninstall Kivo.lnk"]
    listed_dirs = [KIVO] + [rf"{KIVO}\{f}" for f in folders] + [START_MENU]
    manifest = uninstall_manifest(
        files=listed_files, dirs=listed_dirs,
        modules=[("DLL", r"$intallpath$\Bin\KivoCom.dll", None),
                 ("EXE", r"$intallpath$\Bin\KivoUninstHelper.exe", "--uninstall")],
        keys=[("HKCU", r"Software\Norvane\Kivo\Settings", ["theme", "lang"]),
              ("HKLM", r"Software\Classes\kivo", ["@", "URL Protocol"]),
              ("HKLM", r"Software\Classes\kivo\shell\open\command", ["@"]),
              ("HKLM", r"Software\Norvane\KivoNT", ["Install", "version"])])
    desktop = machine.folders["PUBLIC"] + r"\Desktop\Kivo.lnk"
    quick_launch = machine.appdata + r"\Microsoft\Internet Explorer\Quick Launch\Kivo.lnk"
    kivo = install_kivo(
        machine, programs=programs, files=files, manifest=manifest, uninstaller="Uninstall.exe",
        shortcuts={desktop: None, quick_launch: None, START_MENU + r"\Kivo.lnk": None,
                   START_MENU + r"\Uninstall Kivo.lnk": kivo_path("Uninstall.exe")},
        pins=[("TaskBar", "Kivo.lnk", None)], pin_list=True)
    own_file = machine.write(KIVO + r"\Saved\my notes.txt", "the user's own file")
    assert len(listed_files) > 300

    uninstall(machine, kivo)

    assert task_lines(machine) == FULL_RUN_TASKS
    for path in listed_files + listed_dirs[1:] + leftovers.paths + [desktop, quick_launch]:
        assert not machine.exists(path), path
    assert machine.files_under(KIVO) == ["Saved\\", "Saved\\my notes.txt"]
    assert machine.read_bytes(own_file) == b"the user's own file"
    for folder in leftovers.kept_folders:
        assert machine.files_under(folder) == []
    assert kivo.unpinned() == kivo.pins
    assert [call for call, _, _ in unregistrations(machine)] == ["unregister"]
    assert wait_for_records(machine, "KivoUninstHelper.exe") == \
        [f'"{kivo.path("Bin")}\\KivoUninstHelper.exe" --uninstall']

    # Listed keys and values are gone, their neighbours stay.
    assert machine.reg_export(r"HKCU\Software\Norvane") == {
        r"HKEY_CURRENT_USER\Software\Norvane": {},
        r"HKEY_CURRENT_USER\Software\Norvane\OtherProduct": {"keep": RegValue("REG_SZ", "1")}}
    assert machine.reg_export(r"HKLM\Software\Classes\kivo") is None
    assert machine.reg_values(r"HKLM\Software\Classes\kivo-other") == \
        {"": RegValue("REG_SZ", "URL:other")}
    assert machine.reg_values(r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run") == \
        {"Other": RegValue("REG_SZ", "other.exe")}
    # The product key's values are gone (the removal of the fixed leftovers
    # may leave the key itself, empty).
    assert machine.reg_values(r"HKLM\Software\Norvane\KivoNT") in (None, {})

    # Nothing was in use: nothing waits for a restart, and the removal temp
    # folder is gone (the only kivo_setup_ folder left holds the launcher's copy).
    assert installation_pending(machine, KIVO) == []
    setup_folders = [p for p in machine.files_under(machine.temp)
                     if p.startswith("kivo_setup_") and p.endswith("\\") and p.count("\\") == 1]
    assert [machine.files_under(machine.temp + "\\" + f) for f in setup_folders] == \
        [["Uninstall.exe"]]


def kivo_path(relative):
    return rf"{KIVO}\{relative}"
