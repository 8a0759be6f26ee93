"""Finding the installation: the uninstaller reads the product's key in the
32-bit registry view and goes on with the removal only when the folder it
names exists and holds an uninstall manifest (or the manifest's backup is
kept under the uninstaller's temporary folder). Otherwise the user is told
that Kivo is removed and nothing is touched."""

import time

import pytest

from kivo import DEFAULT_INSTALL_DIR, KIVO_KEY, install_kivo, uninstall_manifest
from machine import IDOK, IDYES, BedError, Box, reg_line

CAPTION = "提示"
QUESTION = "您确定要卸载此产品吗？"
DONE_CAPTION = "NorvaneKivo卸载"
DONE_BODY = "NorvaneKivo已成功地从您的计算机移除。"
SOURCE = "get_uninstall_environment.cc"

OPEN_FAIL = r"HKEY_LOCAL_MACHIN\Software\Norvane\KivoNT open fail"
READ_FAIL = r"HKEY_LOCAL_MACHIN\Software\Norvane\KivoNT read fail"
VERSION_READ_FAIL = r"HKEY_LOCAL_MACHIN\Software\Norvane\KivoNT version read fail"
NO_MANIFEST = "Uninstall.xml path not exists"
NO_BACKUP = "Uninstall.xml backup path not exists"

BEFORE = ["StartUninstall", "CheckKivoRunning", "GetUninstallEnvironment"]
NOTHING_TO_REMOVE = BEFORE + ["CompleteUninstall_NotNeedInstall", "ExitUninstall"]
REMOVAL_BEGINS = BEFORE + ["KillNorvaneProcess", "RemotingMachineUninstall"]
REMOTING_END = "run task name RemotingMachineUninstall end"


def product(machine):
    return machine.win_path(machine.bed.product_exe)


def started_tasks(machine):
    return [line.text[len("run task name "):-len(" start")] for line in machine.log_lines()
            if line.text.startswith("run task name ") and line.text.endswith(" start")]


def lookup_lines(machine):
    """What the installation lookup logged, as (severity, text)."""
    return [(line.severity, line.text) for line in machine.log_lines() if line.source == SOURCE]


def installation_root(machine):
    """"PreviousInstallPath" as the next reader of it logs it."""
    prefix = "RemotingMachineUninstall: begin, root="
    roots = [line.text[len(prefix):].rsplit(", service_presence=", 1)[0]
             for line in machine.log_lines() if line.text.startswith(prefix)]
    assert len(roots) == 1, roots
    return roots[0]


def uninstall_to_the_end(machine, env=None, timeout=60):
    """The user says Yes; the run ends at the completion box, answered OK."""
    answers = machine.answer(Box(CAPTION, press=IDYES, body=QUESTION),
                             Box(DONE_CAPTION, press=IDOK, body=DONE_BODY),
                             timeout=timeout, wait_exit=True)
    launcher = machine.start(product(machine), env=env)
    assert launcher.wait(timeout) == 0
    seen = answers.wait()
    machine.wait_until_gone("kivo_uninstall.exe", timeout)
    assert [box["caption"] for box in seen] == [CAPTION, DONE_CAPTION]
    assert set(answers.exits().values()) == {0}


def uninstall_until_removal_begins(machine, env=None, timeout=90):
    """The user says Yes; waits until the remote-assistance step, the second of
    the removal chain, has ended. What the chain does after it is other
    tests' business."""
    answers = machine.answer(Box(CAPTION, press=IDYES, body=QUESTION), timeout=timeout)
    machine.start(product(machine), env=env)
    deadline = time.monotonic() + timeout
    while REMOTING_END not in [line.text for line in machine.log_lines()]:
        if time.monotonic() > deadline:
            raise BedError(f"the removal did not begin within {timeout} s; log:\n"
                           + "\n".join(f"{s} {t}" for s, t in machine.log_messages()))
        time.sleep(0.2)
    answers.wait()


def write_product_key(machine, values, view=32):
    """The product's key with exactly |values| ({name: (kind, data)})."""
    lines = [f"[HKEY_LOCAL_MACHINE{KIVO_KEY[4:]}]"]
    lines += [reg_line(name, kind, data) for name, (kind, data) in values.items()]
    machine.reg_import("\n".join(lines) + "\n", view=view)


# (id, install_kivo arguments, product key written instead of install_kivo's
# (None: install_kivo's own), the lookup's INFO lines)
NOTHING_TO_REMOVE_CASES = [
    ("no-key", dict(registry=False), None, [OPEN_FAIL]),
    # A 64-bit program's key is not the 32-bit uninstaller's.
    ("key-only-in-64-bit-view", dict(registry=False),
     ("64", {"Install": ("REG_SZ", DEFAULT_INSTALL_DIR), "version": ("REG_SZ", "9.1.0.100")}),
     [OPEN_FAIL]),
    ("install-missing", dict(registry=False), ("32", {"version": ("REG_SZ", "9.1.0.100")}),
     [READ_FAIL]),
    ("install-not-a-string", dict(registry=False),
     ("32", {"Install": ("REG_DWORD", 1), "version": ("REG_SZ", "9.1.0.100")}), [READ_FAIL]),
    ("install-empty", dict(install_value=""), None, ["install path empty"]),
    ("install-folder-missing", dict(install_value=r"C:\Program Files (x86)\Norvane\KivoGone"),
     None, ["install path not exists"]),
    ("manifest-and-backup-missing", dict(manifest=None), None, [NO_MANIFEST, NO_BACKUP]),
    # The backup's folder is named after the version: without one, no backup.
    ("manifest-missing-no-version",
     dict(manifest=None, backup_manifest=uninstall_manifest(), registry=False),
     ("32", {"Install": ("REG_SZ", DEFAULT_INSTALL_DIR)}), [NO_MANIFEST]),
    ("version-missing", dict(version=None), None, [VERSION_READ_FAIL]),
    ("version-empty", dict(version=""), None, ["version empty"]),
]


@pytest.mark.parametrize("install, key, lines", [c[1:] for c in NOTHING_TO_REMOVE_CASES],
                         ids=[c[0] for c in NOTHING_TO_REMOVE_CASES])
def test_without_an_installation_to_remove_the_user_is_told_and_nothing_is_touched(
        machine, install, key, lines):
    kivo = install_kivo(machine, **install)
    if key:
        write_product_key(machine, key[1], view=int(key[0]))
    files_before = machine.files_under(kivo.install_dir)
    key_before = machine.reg_export(KIVO_KEY)

    uninstall_to_the_end(machine)

    assert lookup_lines(machine) == [("INFO", line) for line in lines]
    assert started_tasks(machine) == NOTHING_TO_REMOVE
    assert machine.files_under(kivo.install_dir) == files_before
    assert machine.reg_export(KIVO_KEY) == key_before
    if kivo.backup_manifest:
        assert machine.exists(kivo.backup_manifest)


KIVO_ROOT_ENV = {"KIVO_E2E_ROOT": r"C:\Program Files (x86)\Norvane"}

# (id, install_kivo arguments, environment of the run, the lookup's INFO
# lines, "PreviousInstallPath" as its readers get it)
REMOVAL_CASES = [
    ("installed", {}, None, [], DEFAULT_INSTALL_DIR),
    ("install-expand-sz", dict(install_value=r"%KIVO_E2E_ROOT%\Kivo", value_type="REG_EXPAND_SZ"),
     KIVO_ROOT_ENV, [], DEFAULT_INSTALL_DIR),
    ("install-trailing-backslash-kept", dict(install_value=DEFAULT_INSTALL_DIR + "\\"), None, [],
     DEFAULT_INSTALL_DIR + "\\"),
    ("manifest-missing-backup-present", dict(manifest=None, backup_manifest=uninstall_manifest()),
     None, [NO_MANIFEST], DEFAULT_INSTALL_DIR),
    # The version to report has no reader in this graph: whether "rversion"
    # is there, empty or not, the run is the same (its value is checked by the
    # task's unit test).
    ("rversion-present", dict(rversion="9.1.0.200"), None, [], DEFAULT_INSTALL_DIR),
    ("rversion-empty", dict(rversion=""), None, [], DEFAULT_INSTALL_DIR),
]


@pytest.mark.parametrize("install, env, lines, root", [c[1:] for c in REMOVAL_CASES],
                         ids=[c[0] for c in REMOVAL_CASES])
def test_an_installation_found_goes_on_to_the_removal(machine, install, env, lines, root):
    install_kivo(machine, **install)

    uninstall_until_removal_begins(machine, env=env)

    assert lookup_lines(machine) == [("INFO", line) for line in lines]
    assert started_tasks(machine)[:len(REMOVAL_BEGINS)] == REMOVAL_BEGINS
    assert "CompleteUninstall_NotNeedInstall" not in started_tasks(machine)
    # Stored as read: expanded, but with its trailing backslash.
    assert installation_root(machine) == root
