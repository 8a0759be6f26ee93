"""Before anything is removed the uninstaller stops the maker's helper programs:
the installation's own ones only where they run from inside it, the
protection programs wherever they run."""

import time

import pytest

from kivo import DEFAULT_INSTALL_DIR, install_kivo
from machine import IDYES, BedError, Box

CONFIRM = Box("提示", IDYES, "您确定要卸载此产品吗？")

INSIDE = [DEFAULT_INSTALL_DIR + r"\NvBugReport.exe",
          DEFAULT_INSTALL_DIR + r"\bin\KivoExternal.exe",
          DEFAULT_INSTALL_DIR + r"\plus\KIVOPLUS.EXE"]
OUTSIDE = [r"C:\Program Files (x86)\Norvane\KivoOld\NvBugReport.exe",  # starts alike
           r"C:\Tools\KivoExternal.exe",
           r"C:\Tools\kivoplus.exe"]
ANYWHERE = [DEFAULT_INSTALL_DIR + r"\diverurudav.exe", r"C:\Tools\diverurudav.exe",
            DEFAULT_INSTALL_DIR + r"\DiveRurudavUpd.exe", r"C:\Tools\DiveRurudavUpd.exe"]


def wait_for_log_line(machine, text, timeout=60):
    deadline = time.monotonic() + timeout
    while not any(line == text for _, line in machine.log_messages()):
        if time.monotonic() > deadline:
            raise BedError(f"no log line {text!r} within {timeout} s: {machine.log_messages()}")
        time.sleep(0.1)


@pytest.mark.parametrize("install_value, inside_stopped", [
    (DEFAULT_INSTALL_DIR, True),
    # The containment test is then false for every program: only the two
    # found by name are stopped.
    (DEFAULT_INSTALL_DIR + "\\", False),
], ids=["install-folder", "install-value-with-trailing-backslash"])
def test_the_makers_programs_are_stopped(machine, install_value, inside_stopped):
    kivo = install_kivo(machine, install_value=install_value, uninstaller="Uninstall.exe")
    programs = {}
    for path in INSIDE + OUTSIDE + ANYWHERE:
        machine.copy_in(machine.bed.tool("sleeper"), path)
        ready = machine.scratch("ready.txt")
        programs[path] = machine.start(path, "--ready", ready)
        machine.wait_for_file(ready)

    answers = machine.answer(CONFIRM)
    assert machine.start(kivo.uninstaller).wait(30) == 0
    answers.wait()
    wait_for_log_line(machine, "run task name KillNorvaneProcess end")

    stopped = ANYWHERE + (INSIDE if inside_stopped else [])
    for path, program in programs.items():
        if path in stopped:
            assert program.wait(30) == 0, f"{path} was not stopped"
        else:
            assert program.running(), f"{path} was stopped"
    tasks = [text for _, text in machine.log_messages() if text.startswith("run task name ")]
    assert tasks[:8] == [
        "run task name StartUninstall start", "run task name StartUninstall end",
        "run task name CheckKivoRunning start", "run task name CheckKivoRunning end",
        "run task name GetUninstallEnvironment start", "run task name GetUninstallEnvironment end",
        "run task name KillNorvaneProcess start", "run task name KillNorvaneProcess end"]

    # The removal goes on from here; its own tests follow it to the end.
