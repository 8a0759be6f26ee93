"""ClearInstallDir and ClearUninstallTempDir on a machine: the fixed leftovers
of an installation, plug-ins in use deleted at the restart, nothing touched
relative to the current folder, and the removal temp folder deleted now or at
the restart.

The tasks are run by the child mode of clear_install_dir_test.exe inside the
machine (each on a thread of its own, with the setup-context values given),
so every case can set up exactly the state the tasks find. The last tests run
the product itself, where the tasks follow DeleteFiles."""

import re

import pytest

from kivo import DEFAULT_INSTALL_DIR, KIVO_KEY, install_kivo, uninstall_manifest
from machine import RegValue
from removal import task_lines, uninstall

CHILD_FILTER = "ClearTasksChild.DISABLED_RunTasks"


def run_tasks(machine, tasks, context=None, cwd="C:\\"):
    """Runs the named task classes in the machine with these setup-context
    values (wide strings); returns the shell folders the tasks saw."""
    context_file = machine.write(machine.scratch("context.txt"), "".join(
        f"{key}={value}\n" for key, value in (context or {}).items()))
    folders_file = machine.scratch("folders.txt")
    test_exe = machine.win_path(machine.bed.build_dir / "tests" / "clear_install_dir_test.exe")
    run = machine.run(test_exe, "--gtest_also_run_disabled_tests",
                      f"--gtest_filter={CHILD_FILTER}", cwd=cwd, timeout=120,
                      env={"KIVO_CHILD_TASKS": ",".join(tasks),
                           "KIVO_CHILD_CONTEXT": context_file,
                           "KIVO_CHILD_LOG": machine.log_file,
                           "KIVO_CHILD_FOLDERS": folders_file})
    assert run.code == 0, run.stdout + run.stderr
    text = machine.read_bytes(folders_file).decode("utf-8")
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def task_folders(machine):
    """APPDATA, LOCALAPPDATA and COMMONFILES as the tasks (32-bit) see them."""
    folders = run_tasks(machine, [])
    assert all(folders[name] for name in ("APPDATA", "LOCALAPPDATA", "COMMONFILES")), folders
    return folders


def messages(machine, source):
    """(severity, text) of the log lines written by one source file."""
    return [(line.severity, line.text) for line in machine.log_lines() if line.source == source]


def pending_delete(path):
    return ("\\??\\" + path, "")


def start_holder(machine, *args):
    """sleeper.exe holding files (--hold) or DLLs loaded (--load) until the
    machine restarts; returns once everything is held."""
    ready = machine.scratch("ready")
    machine.start(machine.tool("sleeper"), *args, "--ready", ready)
    machine.wait_for_file(ready)


class Layout:
    """Where the leftovers of an installation lie on this machine."""

    def __init__(self, machine, install_dir):
        folders = task_folders(machine)
        self.install_dir = install_dir
        kivo_data = folders["APPDATA"] + r"\Norvane\Kivo"
        plugins = folders["LOCALAPPDATA"] + r"\Google\Chrome\Application\plugins"
        common = folders["COMMONFILES"] + r"\Norvane"
        self.au_temp = kivo_data + r"\AUTemp"
        self.plugin_common = kivo_data + r"\PluginCommon"
        self.cloud = kivo_data + r"\KivoCloud"
        self.npactivex = plugins + r"\npactivex.dll"
        self.npchrome = plugins + r"\npchrome.dll"
        self.chrome_plugins = plugins
        self.common_npchrome_dir = common + r"\Npchrome"
        self.common_npchrome = self.common_npchrome_dir + r"\npchrome.dll"
        self.npkscall_dir = common + r"\npkscall"
        self.npkscall = self.npkscall_dir + r"\npkscall.dll"

    def inside(self, relative):
        return self.install_dir + "\\" + relative


def test_every_leftover_goes_and_what_the_task_does_not_name_stays(machine):
    kivo = install_kivo(machine, files={r"Bin\Kivo.dll": "core", r"Bin\KivoCloud.dll": "cloud",
                                        r"Bin\ZIRUZ\ziruz.dat": "z", r"Bin\ZIRUZ\sub\z2.dat": "z",
                                        r"Plugin\Com.Norvane.RovIrad\r.js": "r",
                                        r"Plugin\Com.Norvane.Krel\krel.dll": "k",
                                        r"Plugin\Com.Norvane.AudioVideo\codec\av.dll": "av",
                                        r"Plugin\Com.Norvane.Mail\mail.dll": "mail"})
    machine.reg_set(KIVO_KEY, "oversion", "8.2.0.50")
    at = Layout(machine, kivo.install_dir)
    for path in (at.au_temp + r"\patch\p.bin", at.plugin_common + r"\c.dat",
                 at.cloud + r"\db\cloud.db", at.npactivex, at.npchrome, at.common_npchrome,
                 at.npkscall):
        machine.write(path, "leftover")
    machine.write(at.chrome_plugins + r"\other_vendor.dll", "not ours")
    user_file = machine.write(at.au_temp.rsplit("\\", 1)[0] + r"\notes.txt", "the user's")

    run_tasks(machine, ["ClearInstallDir"], {"PreviousInstallPath": kivo.install_dir})

    for gone in (at.au_temp, at.plugin_common, at.cloud, at.npactivex, at.npchrome,
                 at.common_npchrome, at.npkscall, at.npkscall_dir, at.inside(r"Bin\KivoCloud.dll"),
                 at.inside(r"Bin\ZIRUZ"), at.inside(r"Plugin\Com.Norvane.RovIrad"),
                 at.inside(r"Plugin\Com.Norvane.Krel"), at.inside(r"Plugin\Com.Norvane.AudioVideo")):
        assert not machine.exists(gone), gone
    # Folders that still hold something stay, and so does all the task does not name.
    assert machine.files_under(kivo.install_dir) == [
        "Bin\\", r"Bin\Kivo.dll", "Kivo.exe", "Plugin\\", "Plugin\\Com.Norvane.Mail\\",
        r"Plugin\Com.Norvane.Mail\mail.dll", "Uninstall.xml"]
    assert machine.exists(user_file)
    assert machine.files_under(at.chrome_plugins) == ["other_vendor.dll"]
    assert machine.files_under(at.common_npchrome_dir) == []
    values = machine.reg_values(KIVO_KEY)
    assert "oversion" not in values
    assert values["Install"] == RegValue("REG_SZ", kivo.install_dir)
    assert values["version"] == RegValue("REG_SZ", "9.1.0.100")

    assert messages(machine, "clear_install_dir.cc") == [
        ("INFO", "npactivex.dll file Exists"), ("INFO", "npchrome.dll file Exists"),
        ("INFO", "npchrome.dll file Exists"), ("INFO", "npkscall.dll file Exists")]
    assert [m for m in machine.log_messages() if m[0] != "INFO"] == []
    assert machine.pending_renames() == []


def test_a_machine_without_leftovers_gets_no_empty_product_key(machine):
    kivo = install_kivo(machine, registry=False)

    run_tasks(machine, ["ClearInstallDir"], {"PreviousInstallPath": kivo.install_dir})

    assert messages(machine, "clear_install_dir.cc") == []
    assert [m for m in machine.log_messages() if m[0] != "INFO"] == []
    assert machine.reg_values(KIVO_KEY) is None
    assert machine.files_under(kivo.install_dir) == ["Kivo.exe", "Uninstall.xml", "resources\\",
                                                    r"resources\strings.dat"]


def test_plugins_in_use_are_scheduled_and_gone_after_the_restart(machine):
    kivo = install_kivo(machine)
    at = Layout(machine, kivo.install_dir)
    dll = machine.bed.tool("pin_list.dll")  # a real DLL to keep loaded
    for path in (at.npactivex, at.common_npchrome, at.npkscall):
        machine.copy_in(dll, path)
    machine.write(at.npchrome, "held open")
    start_holder(machine, "--load", at.npkscall, "--load", at.npactivex,
                 "--load", at.common_npchrome, "--hold", at.npchrome)

    run_tasks(machine, ["ClearInstallDir"], {"PreviousInstallPath": kivo.install_dir})

    assert messages(machine, "clear_install_dir.cc") == [
        ("INFO", "npactivex.dll file Exists"),
        ("INFO", "delete npactivex.dll file failed, delete after reboot"),
        ("INFO", "npchrome.dll file Exists"),
        ("INFO", "delete npchrome.dll file failed, delete after reboot"),
        ("INFO", "npchrome.dll file Exists"),
        ("INFO", "delete npchrome.dll file failed, delete after reboot"),
        ("INFO", "npkscall.dll file Exists"),
        ("INFO", "delete npkscall.dll file failed, delete after reboot")]
    # The file first, then its folder, which is empty by the time its turn comes.
    assert machine.pending_renames() == [
        pending_delete(at.npactivex), pending_delete(at.npchrome),
        pending_delete(at.common_npchrome), pending_delete(at.npkscall),
        pending_delete(at.npkscall_dir)]
    for path in (at.npactivex, at.npchrome, at.common_npchrome, at.npkscall):
        assert machine.exists(path), path

    machine.restart()

    for path in (at.npactivex, at.npchrome, at.common_npchrome, at.npkscall, at.npkscall_dir):
        assert not machine.exists(path), path
    assert machine.is_dir(at.common_npchrome_dir)  # its folder is never the task's to remove
    assert machine.pending_renames() == []


STRAY_NAMES = ["pubno", r"Bin\msimg32.dll", r"Bin\KivoCloud.dll", r"Bin\ZIRUZ\z.dat",
               r"Plugin\Com.Norvane.RovIrad\r.js", r"Plugin\Com.Norvane.Krel\k.dll",
               r"Plugin\Com.Norvane.AudioVideo\av.dll"]


@pytest.mark.parametrize("previous_known", [True, False], ids=["install_dir_known",
                                                               "no_dirs_at_all"])
def test_nothing_relative_to_the_current_folder_is_touched(machine, previous_known):
    kivo = install_kivo(machine)
    current = r"C:\Users\Public\work"
    for name in STRAY_NAMES:
        machine.write(current + "\\" + name, "someone else's")
    before = machine.files_under(current)

    # "InstallPath" is never written in the uninstaller: it stays absent here.
    context = {"PreviousInstallPath": kivo.install_dir} if previous_known else {}
    run_tasks(machine, ["ClearInstallDir"], context, cwd=current)

    assert machine.files_under(current) == before
    assert messages(machine, "clear_install_dir.cc") == []


def make_temp_folder(machine, files):
    folder = machine.temp + r"\kivo_setup_2718"
    machine.mkdir(folder)
    for relative in files:
        machine.write(folder + "\\" + relative, "moved aside")
    return folder


@pytest.mark.parametrize("files", [[], ["~a_1.dll", "~b_1.tar.gz", r"~x.y_1\inner\deep.txt"]],
                         ids=["empty", "holding_files"])
def test_the_removal_temp_folder_goes_at_once(machine, files):
    folder = make_temp_folder(machine, files)

    run_tasks(machine, ["ClearUninstallTempDir"], {"DeleteFileTempPath": folder})

    assert not machine.exists(folder)
    assert machine.is_dir(machine.temp)
    assert [m for m in machine.log_messages() if m[0] != "INFO"] == []
    assert machine.pending_renames() == []


def test_without_a_removal_temp_folder_nothing_happens(machine):
    folder = make_temp_folder(machine, ["~a_1.dll"])

    run_tasks(machine, ["ClearUninstallTempDir"], {})

    assert machine.files_under(folder) == ["~a_1.dll"]
    assert messages(machine, "clear_uninstall_temp_dir.cc") == []
    assert machine.pending_renames() == []


def test_files_in_use_leave_the_temp_folder_to_the_restart(machine):
    # A module moved aside by DeleteFiles and still loaded, a folder moved
    # aside that holds a file held open, and files that can go now.
    folder = make_temp_folder(machine, ["~free_1.txt", r"~res_1\free.txt", r"~res_1\held.dat",
                                        r"~res_1\deeper\free.txt"])
    module = machine.copy_in(machine.bed.tool("pin_list.dll"), folder + r"\~kivo_1.dll")
    held = folder + r"\~res_1\held.dat"
    start_holder(machine, "--load", module, "--hold", held)

    run_tasks(machine, ["ClearUninstallTempDir"], {"DeleteFileTempPath": folder})

    # What could go went now; the rest is registered, everything in a folder
    # before the folder.
    assert sorted(machine.files_under(folder)) == sorted(
        ["~kivo_1.dll", "~res_1\\", r"~res_1\held.dat"])
    renames = machine.pending_renames()
    assert sorted(renames) == sorted([pending_delete(module), pending_delete(held),
                                      pending_delete(folder + r"\~res_1"),
                                      pending_delete(folder)])
    order = [source for source, _ in renames]
    assert order.index("\\??\\" + held) < order.index("\\??\\" + folder + r"\~res_1")
    assert order[-1] == "\\??\\" + folder

    machine.restart()

    assert not machine.exists(folder)
    assert machine.pending_renames() == []


# --- the same tasks in a real run of the product -----------------------------

def manifest_for(install_dir, files, dirs, keys=()):
    return uninstall_manifest(files=[install_dir + "\\" + f for f in files],
                              dirs=[install_dir + "\\" + d for d in dirs] + [install_dir],
                              keys=keys)


def test_a_run_leaves_nothing_of_the_leftovers_or_the_product_key(machine):
    listed = ["Kivo.exe", "Uninstall.exe", r"Bin\Kivo.dll"]
    kivo = install_kivo(
        machine, uninstaller="Uninstall.exe", rversion="9.1.0",
        files={r"Bin\Kivo.dll": "core", r"Bin\KivoCloud.dll": "cloud",
               r"Bin\ZIRUZ\ziruz.dat": "z", r"Plugin\Com.Norvane.Krel\krel.dll": "k",
               r"Plugin\Com.Norvane.AudioVideo\av.dll": "av"},
        manifest=manifest_for(DEFAULT_INSTALL_DIR, listed, ["Bin"],
                              keys=[("HKEY_LOCAL_MACHINE", KIVO_KEY[5:],
                                     ["Install", "version", "rversion"])]))
    machine.reg_set(KIVO_KEY, "oversion", "8.2.0.50")
    machine.reg_set(r"HKLM\Software\Norvane\KivoMeeting", "Install", r"C:\elsewhere")
    at = Layout(machine, kivo.install_dir)
    for path in (at.au_temp + r"\p.bin", at.cloud + r"\cloud.db", at.npactivex, at.npkscall):
        machine.write(path, "leftover")

    uninstall(machine, kivo)

    # The manifest's Dir entry for the folder came while the leftovers still
    # kept it; it goes once they are gone.
    assert not machine.exists(kivo.install_dir)
    for path in (at.au_temp, at.cloud, at.npactivex, at.npkscall_dir):
        assert not machine.exists(path), path
    assert machine.reg_values(KIVO_KEY) is None
    assert machine.reg_value(r"HKLM\Software\Norvane\KivoMeeting", "Install") is not None
    # Only the uninstaller's own temporary copy is left in the temporary folder.
    temp = [p for p in machine.files_under(machine.temp) if p.startswith("kivo_setup_")]
    assert len(temp) == 2 and temp[1] == temp[0] + "Uninstall.exe", temp
    assert machine.pending_renames() == []

    lines = task_lines(machine)
    order = ["DeleteFiles", "ClearInstallDir", "ClearUninstallTempDir", "CompleteUninstall"]
    starts = [lines.index(f"run task name {name} start") for name in order]
    ends = [lines.index(f"run task name {name} end") for name in order]
    assert starts == sorted(starts) and all(s < e for s, e in zip(starts, ends))
    assert all(ends[i] < starts[i + 1] for i in range(len(order) - 1))
    assert ("INFO", "delete empty install dir : " + kivo.install_dir) in machine.log_messages()
    # Each of the two tasks runs on a thread of its own.
    tids = {name: {line.tid for line in machine.log_lines() if line.source == source}
            for name, source in (("clear", "clear_install_dir.cc"),
                                 ("temp", "clear_uninstall_temp_dir.cc"))}
    assert len(tids["clear"]) == 1 and len(tids["temp"]) == 1 and tids["clear"] != tids["temp"]


def add_drive(machine, letter):
    """A second drive: a folder of the clone seen as |letter|: by Wine."""
    host = machine.path / f"drive_{letter}"
    host.mkdir(exist_ok=True)
    link = machine.path / "dosdevices" / f"{letter}:"
    if not link.is_symlink():
        link.symlink_to(host)
    return host


@pytest.mark.parametrize("in_use", [False, True], ids=["nothing_in_use", "module_in_use"])
def test_an_installation_on_a_second_drive_leaves_no_folder_behind(machine, in_use):
    add_drive(machine, "d")
    install_dir = r"D:\Apps\Norvane\Kivo"
    listed = ["Kivo.exe", "Uninstall.exe", r"Bin\KivoCore.dll", r"resources\strings.dat"]
    kivo = install_kivo(machine, install_dir=install_dir, uninstaller="Uninstall.exe",
                        programs={"Kivo.exe": "fake_kivo", r"Bin\KivoCore.dll": "pin_list.dll"},
                        files={r"resources\strings.dat": "s"},
                        manifest=manifest_for(install_dir, listed, ["Bin", "resources"]))
    module = kivo.path(r"Bin\KivoCore.dll")
    if in_use:
        start_holder(machine, "--load", module)

    uninstall(machine, kivo)

    pending = [source[4:] for source, _ in machine.pending_renames()]
    if not in_use:
        assert not machine.exists(install_dir)
        assert machine.is_dir(r"D:\Apps\Norvane")  # never the product's
        assert pending == []
        assert ("INFO", "delete empty install dir : " + install_dir) in machine.log_messages()
        return

    # The module went aside into the removal temp folder inside the
    # installation; the folder and then the installation wait for the restart.
    assert len(pending) == 3, pending
    aside = pending[0].rsplit("\\", 1)[0]
    assert re.fullmatch(re.escape(install_dir) + r"\\kivo_setup_\d{1,5}", aside), pending
    assert pending == [aside + r"\~KivoCore_1.dll", aside, install_dir]
    assert machine.files_under(install_dir) == [aside.rsplit("\\", 1)[1] + "\\",
                                                aside.rsplit("\\", 1)[1] + r"\~KivoCore_1.dll"]
    assert ("WARNING", "dir holds only files deleted after reboot, delete after reboot : "
            + install_dir) in machine.log_messages()

    machine.restart()

    assert not machine.exists(install_dir)
    assert machine.is_dir(r"D:\Apps\Norvane")
    assert machine.pending_renames() == []
